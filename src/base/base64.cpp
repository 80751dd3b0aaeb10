#include "base/base64.h"

#include <openssl/evp.h>

#include <vector>

std::string Base64(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

int FromBase64(const std::string& text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 4 != 0)
        return 0;
    // EVP_DecodeBlock skips blanks at either end and counts the padding as zero bytes; "=" is
    // padding only at the end.
    for (char c : text)
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            return 0;
    const std::size_t pad = text.find('=');
    if (pad != std::string::npos &&
        (text.size() - pad > 2 || text.find_first_not_of('=', pad) != std::string::npos))
        return 0;
    std::vector<unsigned char> out(text.size() / 4 * 3 + 1);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0)
        return 0;
    std::size_t length = static_cast<std::size_t>(n);
    length -= pad == std::string::npos ? 0 : text.size() - pad; // the padding
    bytes.assign(reinterpret_cast<const char*>(out.data()), length);
    return 1;
}

std::string Base64Url(const unsigned char* data, std::size_t length) {
    std::string text = Base64(std::string(reinterpret_cast<const char*>(data), length));
    while (!text.empty() && text.back() == '=')
        text.pop_back();
    for (char& c : text)
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    return text;
}
