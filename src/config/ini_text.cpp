#include "config/ini_text.h"

#include "base/scan.h"

#include <cstring>

namespace {
const char* const LineEnd = "\r\n";

// A name or value ends at its first NUL byte, as a C string would.
void CutAtNul(std::string& s) {
    size_t nul = s.find('\0');
    if (nul != std::string::npos)
        s.resize(nul);
}

std::string TrimRange(const std::string& s, size_t begin, size_t end) {
    while (begin < end && CGIniText::IsBlank(s[begin]))
        ++begin;
    while (end > begin && CGIniText::IsBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}
} // namespace

bool CGIniText::IsBlank(char ch) {
    // The platform's reader also drops the old end-of-file mark, Ctrl-Z.
    return IsSpace(ch) || ch == 0x1A;
}

std::string CGIniText::Trim(const char* text) {
    std::string s = text ? text : "";
    return TrimRange(s, 0, s.size());
}

bool CGIniText::SameName(const std::string& a, const std::string& b) {
    return EqualsIgnoringCase(a, b);
}

CGIniText::CGIniText(const std::string& bytes) {
    size_t pos = 0;
    // A UTF-8 byte order mark is not part of the first line.
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        Bom = bytes.substr(0, 3);
        pos = 3;
    }
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = bytes.size();
        size_t next = bytes.find_first_not_of("\r\n", end);
        if (next == std::string::npos)
            next = bytes.size();
        Lines.push_back(Parse(bytes.substr(pos, end - pos), bytes.substr(end, next - end)));
        pos = next;
    }
}

CGIniText::Line CGIniText::Parse(std::string text, std::string end) {
    Line line;
    std::string body = TrimRange(text, 0, text.size());
    line.Text = std::move(text);
    line.End = std::move(end);
    if (body.empty())
        return line;
    size_t close = body.rfind(']');
    if (body[0] == '[' && close != std::string::npos) {
        line.Type = Kind::Section;
        line.Name = TrimRange(body, 1, close);
        CutAtNul(line.Name);
        return line;
    }
    line.Type = Kind::Key;
    size_t eq = body.find('=');
    if (eq == std::string::npos) {
        line.Name = body;
    } else {
        line.Name = TrimRange(body, 0, eq);
        line.Value = TrimRange(body, eq + 1, body.size());
        line.HasValue = true;
        CutAtNul(line.Value);
    }
    CutAtNul(line.Name);
    return line;
}

bool CGIniText::SectionRange(const std::string& name, size_t& first, size_t& last) const {
    size_t start = 0;
    bool found = name.empty(); // the unnamed top section always exists
    size_t i = 0;
    for (; i < Lines.size(); ++i) {
        if (Lines[i].Type != Kind::Section)
            continue;
        if (found)
            break;
        if (SameName(Lines[i].Name, name)) {
            found = true;
            start = i;
        }
    }
    if (!found)
        return false;
    first = start;
    last = i;
    return true;
}

size_t CGIniText::KeyIndex(const std::string& key, size_t first, size_t last) const {
    for (size_t i = first; i < last; ++i)
        if (Lines[i].Type == Kind::Key && SameName(Lines[i].Name, key))
            return i;
    return last;
}

const std::string* CGIniText::Find(const char* section, const char* key) const {
    if (!section || !key)
        return nullptr;
    std::string keyName = Trim(key);
    size_t first = 0, last = 0;
    if (!SectionRange(Trim(section), first, last))
        return nullptr;
    size_t at = KeyIndex(keyName, first, last);
    if (at == last || !Lines[at].HasValue)
        return nullptr;
    return &Lines[at].Value;
}

void CGIniText::EnsureLineEnd(size_t index) {
    if (index < Lines.size() && Lines[index].End.empty())
        Lines[index].End = LineEnd;
}

void CGIniText::InsertLine(size_t at, const std::string& text) {
    if (at > 0)
        EnsureLineEnd(at - 1);
    Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(at), Parse(text, LineEnd));
}

void CGIniText::EraseLines(size_t first, size_t last) {
    Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(first),
                Lines.begin() + static_cast<std::ptrdiff_t>(last));
}

bool CGIniText::Set(const char* section, const char* key, const char* value) {
    if (!section)
        return false;
    std::string sectionName = Trim(section);
    size_t first = 0, last = 0;
    bool haveSection = SectionRange(sectionName, first, last);
    if (!key) {
        if (!haveSection || sectionName.empty())
            return false;
        EraseLines(first, last);
        return true;
    }
    std::string keyName = Trim(key);
    size_t at = haveSection ? KeyIndex(keyName, first, last) : last;
    if (!value) {
        if (at == last)
            return false;
        EraseLines(at, at + 1);
        return true;
    }
    std::string v = Trim(value);
    if (at != last) {
        if (Lines[at].HasValue && Lines[at].Value == v)
            return false;
        // The key keeps the spelling it has in the file.
        std::string text = Lines[at].Name + "=" + v;
        Lines[at] = Parse(text, Lines[at].End);
    } else if (!haveSection) {
        InsertLine(Lines.size(), "[" + sectionName + "]");
        InsertLine(Lines.size(), keyName + "=" + v);
    } else {
        // After the last non-empty line of the section, so blank lines stay before the next.
        while (last > first && Lines[last - 1].Type == Kind::Empty)
            --last;
        InsertLine(last, keyName + "=" + v);
    }
    return true;
}

std::string CGIniText::Bytes() const {
    std::string out = Bom;
    for (const Line& line : Lines) {
        out += line.Text;
        out += line.End;
    }
    return out;
}
