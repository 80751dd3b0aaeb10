#include "config/settings.h"

#include "config/config_seams.h"
#include "config/data_folder.h"
#include "config/profile.h"

#include "base/scan.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Paths live in a 260-byte buffer: longer ones are cut without an error.
constexpr size_t MaxPath = 259;
// Read buffers of the value kinds.
constexpr int NumberBuffer = 64;
constexpr int ColourBuffer = 1024;
// As long as the longest list the writer makes, so every account written is found again.
constexpr int ListBuffer = MaxAccountListText + 1;
// Text values come back whole up to this buffer, beyond anything the dialogs accept: 256
// characters, up to 768 bytes in UTF-8; a stored password 4/3 of that, its marker and quotes
// (1027). So no password, name or path is ever cut between two runs.
constexpr int TextBuffer = 2048;

// Cuts at MaxPath bytes, and back to the start of a UTF-8 character cut through: a name that
// ends in half a letter would be another name on every platform.
void Bound(std::string& path) {
    if (path.size() <= MaxPath)
        return;
    size_t end = MaxPath;
    while (end > 0 && (static_cast<unsigned char>(path[end]) & 0xC0) == 0x80)
        --end;
    path.resize(end);
}

void AppendBounded(std::string& path, char separator, const char* part) {
    path += separator;
    path += part;
    Bound(path);
}

std::string ReadRaw(const char* section, const char* key, const char* def, int size,
                    const char* path) {
    std::string buffer(static_cast<size_t>(size), '\0');
    int n = ProfileReadString(section, key, def, buffer.data(), size, path ? path : "");
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
}

bool NeedsQuotes(const std::string& v) {
    if (v.empty())
        return false;
    auto strippable = [](char ch) {
        return ch == ' ' || (ch >= '\t' && ch <= '\r') || ch == 0x1A || ch == '"' || ch == '\'';
    };
    return strippable(v.front()) || strippable(v.back());
}

} // namespace

void MakeDataPath(const char* extension, const char* baseName, std::string& path) {
    std::string folder = ConfigSeams.DataFolder;
    if (folder.empty())
        folder = PlatformAppDataFolder();
    Bound(folder);
    char separator = PathSeparator();
    AppendBounded(folder, separator, "varnocle");
    CreateFolder(folder);
    path = folder;
    if (baseName)
        AppendBounded(path, separator, baseName);
    if (extension)
        AppendBounded(path, '.', extension);
}

int ReadProfileBool(const char* section, const char* key, int defaultValue, const char* path) {
    std::string v = ReadRaw(section, key, defaultValue ? "true" : "false", NumberBuffer, path);
    for (const char* word : {"true", "1", "y", "yes"})
        if (EqualsIgnoringCase(v, word))
            return 1;
    return 0;
}

int ReadProfileInt(const char* section, const char* key, int defaultValue, const char* path) {
    char def[NumberBuffer];
    std::snprintf(def, sizeof def, "%d", defaultValue);
    // Numbers beyond the int range are clamped, not wrapped.
    return ParseLeadingInt(ReadRaw(section, key, def, NumberBuffer, path).c_str());
}

std::string ReadProfileText(const char* section, const char* key, const char* path) {
    return ReadRaw(section, key, "", TextBuffer, path);
}

ColourRef ReadNewMailColour(const char* path) {
    std::string v = ReadRaw("newmail", "newmailcolour", "", ColourBuffer, path);
    const char* p = v.c_str();
    int part[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && *p++ != ',')
            return DefaultNewMailColour;
        const CGLeadingNumber n = ScanLeadingNumber(p);
        if (!n.Found)
            return DefaultNewMailColour;
        p = n.End;
        // Only the low 8 bits count, so the low bits of the magnitude are enough.
        uint32_t bits = n.Negative ? 0u - n.Low : n.Low;
        part[i] = static_cast<int>(bits & 0xFF);
    }
    return MakeColour(part[0], part[1], part[2]);
}

int ReadAccountNames(const char* path, CGCommaList& list) {
    std::string v = ReadRaw("main", "accounts", "", ListBuffer, path);
    if (v.empty())
        return 0;
    list.AssignCopy(v.c_str());
    return 1;
}

int WriteProfileText(const char* section, const char* key, const char* value, const char* path) {
    if (!value)
        return ProfileWriteString(section, key, nullptr, path);
    // A line end would end the value in the file and start a forged line after it.
    std::string v(value, std::strcspn(value, "\r\n"));
    // The reader drops blanks and one pair of quotes at the ends; an extra pair of quotes
    // around such a value keeps it whole. Other values are written as they are.
    if (NeedsQuotes(v))
        v = "\"" + v + "\"";
    return ProfileWriteString(section, key, v.c_str(), path);
}

int WriteProfileInt(const char* section, const char* key, int value, const char* path) {
    char text[NumberBuffer];
    std::snprintf(text, sizeof text, "%d", value);
    return ProfileWriteString(section, key, text, path);
}

int WriteProfileBool(const char* section, const char* key, int value, const char* path) {
    return ProfileWriteString(section, key, value ? "true" : "false", path);
}

int DeleteProfileSection(const char* section, const char* path) {
    return ProfileWriteString(section, nullptr, nullptr, path);
}

int WriteNewMailColour(ColourRef colour, const char* path) {
    char text[NumberBuffer];
    std::snprintf(text, sizeof text, "%d,%d,%d", static_cast<int>(colour & 0xFF),
                  static_cast<int>((colour >> 8) & 0xFF), static_cast<int>((colour >> 16) & 0xFF));
    return ProfileWriteString("newmail", "newmailcolour", text, path);
}

std::string ReadProfileLongText(const char* section, const char* key, const char* path) {
    return ReadRaw(section, key, "", 16 * 1024, path);
}
