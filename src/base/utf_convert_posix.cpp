#include "base/utf_convert.h"

#include <cstdint>
#include <string>

namespace {

constexpr char32_t Replacement = 0xFFFD;

// Decodes one code point at s, advancing s; malformed sequences yield U+FFFD and consume
// the bytes that could belong to them (as the platform decoder does for valid prefixes).
char32_t DecodeUtf8(const unsigned char*& s) {
    unsigned char b = *s++;
    if (b < 0x80)
        return b;
    int extra;
    char32_t cp;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
        return Replacement;
    }
    for (int i = 0; i < extra; ++i) {
        if ((*s & 0xC0) != 0x80)
            return Replacement;
        cp = (cp << 6) | (*s++ & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return Replacement;
    return cp;
}

char32_t DecodeUtf16(const char16_t*& s) {
    char32_t u = *s++;
    if (u >= 0xD800 && u <= 0xDBFF) {
        if (*s >= 0xDC00 && *s <= 0xDFFF)
            return 0x10000 + ((u - 0xD800) << 10) + (*s++ - 0xDC00);
        return Replacement;
    }
    if (u >= 0xDC00 && u <= 0xDFFF)
        return Replacement;
    return u;
}

void EncodeUtf16(char32_t cp, std::u16string& out) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void EncodeUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Copies a converted text (terminator included) to the caller's buffer with the
// platform's size rules.
template <typename Unit, typename Str> int Deliver(const Str& converted, Unit* out, int outUnits) {
    int needed = static_cast<int>(converted.size()) + 1;
    if (outUnits == 0)
        return needed;
    if (out == nullptr || outUnits < needed)
        return 0;
    for (int i = 0; i < needed - 1; ++i)
        out[i] = converted[i];
    out[needed - 1] = 0;
    return needed;
}

} // namespace

int Utf8ToUtf16(const char* utf8, char16_t* out, int outUnits) {
    if (utf8 == nullptr || outUnits < 0)
        return 0;
    std::u16string converted;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    while (*s != 0)
        EncodeUtf16(DecodeUtf8(s), converted);
    return Deliver(converted, out, outUnits);
}

int Utf16ToUtf8(const char16_t* wide, char* out, int outBytes) {
    if (wide == nullptr || outBytes < 0)
        return 0;
    std::string converted;
    const char16_t* s = wide;
    while (*s != 0)
        EncodeUtf8(DecodeUtf16(s), converted);
    return Deliver(converted, out, outBytes);
}
