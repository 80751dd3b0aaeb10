#include "auth/base64.h"

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
    // EVP_DecodeBlock skips blanks at either end and counts the padding as zero bytes.
    for (char c : text)
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            return 0;
    std::vector<unsigned char> out(text.size() / 4 * 3 + 1);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0)
        return 0;
    std::size_t length = static_cast<std::size_t>(n);
    const std::size_t padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2
                                : !text.empty() && text.back() == '='            ? 1
                                                                                 : 0;
    length -= padding;
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
