// Feeds arbitrary text to both comma splitters and the joiner.
#include "base/comma_list.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // First byte chooses the quote table; the rest is the text.
    CGQuotePairs pairs;
    pairs.Count = data[0] % 4;
    const char opens[] = {'"', '(', '\'', '<'};
    const char closes[] = {'"', ')', '\'', '>'};
    for (int k = 0; k < pairs.Count; ++k) {
        pairs.Open[k] = opens[k];
        pairs.Close[k] = closes[k];
    }
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.c_str(); // the splitters see NUL-terminated text

    CGCommaList quoted;
    quoted.AssignCopy(text.c_str());
    int n = quoted.SplitQuoted(pairs);
    for (int i = 0; i <= n + 1; ++i)
        if (const char* f = quoted.Field(i))
            (void)std::strlen(f);

    CGCommaList plain;
    plain.AssignCopy(text.c_str());
    n = plain.Split();
    for (int i = 0; i <= n + 1; ++i)
        if (const char* f = plain.Field(i))
            (void)std::strlen(f);
    // A second split over the already split text must stay within bounds too.
    plain.Split();

    CGCommaList joined;
    joined.Append(text.c_str());
    joined.Append(text.c_str());
    if (std::strlen(joined.Text) > 4095)
        __builtin_trap();
    return 0;
}
