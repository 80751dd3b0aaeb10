#include "config/stored_password.h"

#include "base/base64.h"
#include "config/obfuscate.h"

#include <algorithm>

namespace {

constexpr signed char Lowest = 0x20;
constexpr signed char Highest = 0x7E;
// Opens the whole form. DEL is the same byte in every code page and no blank to the
// settings reader, so it survives the file also where Windows keeps a legacy code page.
constexpr char WholeForm = '\x7F';

bool PrintableAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char ch) { return ch >= Lowest && ch <= Highest; });
}

std::string Scrambled(const std::string& text, bool encode) {
    CGObfuscate o(text.c_str(), Lowest, Highest);
    if (encode)
        o.Encode();
    else
        o.Decode();
    return o.Get();
}

} // namespace

std::string StoredPassword(const std::string& password) {
    if (PrintableAscii(password))
        return Scrambled(password, true);
    return WholeForm + Scrambled(Base64(password), true);
}

std::string PasswordFromStored(const std::string& stored) {
    if (stored.empty() || stored[0] != WholeForm)
        return Scrambled(stored, false);
    std::string bytes;
    return FromBase64(Scrambled(stored.substr(1), false), bytes) ? bytes : std::string();
}
