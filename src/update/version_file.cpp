#include "update/version_file.h"

#include "base/comma_list.h"
#include "base/scan.h"

#include <climits>
#include <cstdint>

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
        parts[i] = ParseLeadingInt(field);
        if (parts[i] == -1)
            return 0;
    }
    major = parts[0];
    minor = parts[1];
    build = parts[2];
    return 1;
}
