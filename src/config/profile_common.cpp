#include "config/profile_common.h"

#include <cstring>

int CopyProfileValue(const char* value, char* buffer, int size) {
    if (!buffer || size <= 0)
        return 0;
    if (!value)
        value = "";
    char quote = 0;
    if ((value[0] == '\'' || value[0] == '"') && value[1] != 0 &&
        value[std::strlen(value) - 1] == value[0])
        quote = *value++;
    size_t length = std::strlen(value);
    size_t copy = length < static_cast<size_t>(size - 1) ? length : static_cast<size_t>(size - 1);
    std::memcpy(buffer, value, copy);
    buffer[copy] = 0;
    if (quote && static_cast<size_t>(size) >= length && copy > 0)
        buffer[--copy] = 0;
    return static_cast<int>(copy);
}
