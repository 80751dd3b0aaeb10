#include "update/version_file.h"

#include "toolkit/comma_list.h"

#include <climits>
#include <cstdint>

namespace {

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

int DecimalValue(const char* text) {
    if (text == nullptr)
        return 0;
    while (IsSpace(*text))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // keeps going without overflowing
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

int VersionKey(int p1, int p2, int p3, int p4) {
    // Unsigned arithmetic gives the same bits as the signed formula, without its overflow.
    std::uint32_t key = static_cast<std::uint32_t>(p1);
    key = (key << 8) | static_cast<std::uint32_t>(p2);
    key = (key << 8) | static_cast<std::uint32_t>(p3);
    key = (key << 8) | static_cast<std::uint32_t>(p4);
    return static_cast<int>(key);
}

int ParseVersionBody(const char* body, int& major, int& minor, int& build) {
    if (body == nullptr)
        return 0;
    CGCommaList list;
    list.AssignCopy(body);
    if (list.SplitQuoted(CGQuotePairs{}) != 3)
        return 0;
    int parts[3];
    for (int i = 0; i < 3; ++i) {
        const char* field = list.Field(i);
        if (field == nullptr) // "1,1," leaves its last field null
            return 0;
        parts[i] = DecimalValue(field);
        if (parts[i] == -1)
            return 0;
    }
    major = parts[0];
    minor = parts[1];
    build = parts[2];
    return 1;
}
