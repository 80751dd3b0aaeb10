#pragma once

#include <string>
#include <vector>

// An INI text held line by line, read and edited the way the Win32 private-profile functions
// read and edit it:
// - lines end at CR or LF; blanks (space, tab, VT, FF, CR, LF, Ctrl-Z) at both ends of a line,
//   a name and a value are dropped; empty lines are ignored;
// - "[name]" (up to the last ']') starts a section; lines before the first one belong to a
//   section with the empty name;
// - "name=value" is a key; a line without '=' is a key without value, which reads as absent;
// - names match without regard to ASCII letter case; only the first section of a name is
//   searched, and the first key of a name in it wins;
// - names and values end at a NUL byte.
// Lines that an edit does not touch keep their bytes, so comments and layout survive.
class CGIniText {
public:
    CGIniText() = default;
    explicit CGIniText(const std::string& bytes);

    // The value of the key, or null when the section or key is absent or the key has no '='.
    const std::string* Find(const char* section, const char* key) const;
    // Writes the value (blanks at its ends dropped), creating section and key as needed;
    // a null value deletes the key, a null key the whole section. True when the text changed.
    bool Set(const char* section, const char* key, const char* value);
    std::string Bytes() const;

    static bool IsBlank(char ch);
    static std::string Trim(const char* text);
    // Case-insensitive ASCII comparison of whole names.
    static bool SameName(const std::string& a, const std::string& b);

private:
    enum class Kind { Empty, Section, Key };
    struct Line {
        std::string Text; // without its line end
        std::string End;  // the run of CR and LF after it, possibly empty at the end
        Kind Type = Kind::Empty;
        std::string Name;
        bool HasValue = false;
        std::string Value;
    };
    std::vector<Line> Lines;
    std::string Bom; // a UTF-8 byte order mark the text began with

    static Line Parse(std::string text, std::string end);
    // The lines of the first section of that name: [first, last), header included except for
    // the unnamed top section. False when there is no such section.
    bool SectionRange(const std::string& name, size_t& first, size_t& last) const;
    // Index of the first key of that name in [first, last), or last when absent.
    size_t KeyIndex(const std::string& key, size_t first, size_t last) const;
    void EnsureLineEnd(size_t index);
    void EraseLines(size_t first, size_t last);
    void InsertLine(size_t at, const std::string& text);
};
