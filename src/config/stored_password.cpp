#include "config/stored_password.h"

#include "config/obfuscate.h"

#include <openssl/evp.h>

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

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

} // namespace

std::string StoredPassword(const std::string& password) {
    if (PrintableAscii(password))
        return Scrambled(password, true);
    std::string base64(4 * ((password.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), Bytes(password),
                                  static_cast<int>(password.size()));
    base64.resize(static_cast<size_t>(n));
    return WholeForm + Scrambled(base64, true);
}

std::string PasswordFromStored(const std::string& stored) {
    if (stored.empty() || stored[0] != WholeForm)
        return Scrambled(stored, false);
    const std::string base64 = Scrambled(stored.substr(1), false);
    if (base64.size() % 4 != 0)
        return "";
    std::string bytes(base64.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()), Bytes(base64),
                                  static_cast<int>(base64.size()));
    if (n < 0)
        return "";
    // The decoder counts the padding as bytes of the result.
    const size_t padding = base64.size() - base64.find_last_not_of('=') - 1;
    bytes.resize(static_cast<size_t>(n) - std::min<size_t>(padding, static_cast<size_t>(n)));
    return bytes;
}
