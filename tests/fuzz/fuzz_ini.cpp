// Feeds arbitrary bytes to the INI reader and editor. Beyond not crashing: a value set
// through the editor must be what the edited text reads back, and edits must leave every
// other section of the text readable as before. A password's stored form of any value reads
// back as that value.
#include "config/ini_text.h"
#include "config/profile_common.h"
#include "config/stored_password.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

const char* const Sections[] = {"main", "NewMail", " acc ", "", "a]b", "[x"};
const char* const Keys[] = {"accounts", "Port", "port", " k ", "", "=", "n"};

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    // The first bytes choose the section, key and the buffer size of the reads.
    const char* section = Sections[data[0] % (sizeof Sections / sizeof *Sections)];
    const char* key = Keys[data[1] % (sizeof Keys / sizeof *Keys)];
    int bufferSize = data[2] % 40;
    std::string bytes(reinterpret_cast<const char*>(data + 3), size - 3);

    CGIniText text(bytes);
    Check(text.Bytes() == bytes);
    char buffer[48];
    std::memset(buffer, 0x55, sizeof buffer);
    for (const char* s : Sections) {
        for (const char* k : Keys) {
            const std::string* v = text.Find(s, k);
            int n = CopyProfileValue(v ? v->c_str() : "dflt", buffer, bufferSize);
            Check(n >= 0 && (bufferSize == 0 || (n < bufferSize && buffer[n] == 0)));
            Check(buffer[bufferSize] == 0x55 || bufferSize == 0);
        }
    }

    // A value taken from the input, without the line ends and NUL that cannot be stored.
    std::string value = bytes.substr(0, 64);
    for (char& ch : value)
        if (ch == '\r' || ch == '\n' || ch == 0)
            ch = '.';
    const std::string* other = text.Find("other", "k");
    std::string otherBefore = other ? *other : "<none>";
    if (std::strchr(key, '=') == nullptr && *key != 0 && *section != 0) {
        text.Set(section, key, value.c_str());
        CGIniText again(text.Bytes());
        const std::string* got = again.Find(section, key);
        Check(got && *got == CGIniText::Trim(value.c_str()));
        const std::string* otherAfter = again.Find("other", "k");
        if (std::strcmp(section, "other") != 0)
            Check((otherAfter ? *otherAfter : "<none>") == otherBefore);
        again.Set(section, key, nullptr);
        CGIniText removed(again.Bytes());
        // Deleting removes the first occurrence only; a later duplicate may take its place.
        (void)removed.Find(section, key);
    }

    // The value as a password comes back from its stored form; as a stored form of either
    // kind, read from a hand-edited file, it gives some password.
    Check(PasswordFromStored(StoredPassword(value)) == value);
    (void)PasswordFromStored(value);
    return 0;
}
