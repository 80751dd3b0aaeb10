#include "config/obfuscate.h"

#include <algorithm>
#include <cstring>

CGObfuscate::CGObfuscate(const char* text, signed char lowest, signed char highest)
    : Lowest(lowest), Highest(highest) {
    if (!text)
        return;
    size_t n = std::strlen(text);
    Text = std::make_unique<char[]>(n + 1);
    size_t kept = 0;
    for (size_t i = 0; i < n; ++i) {
        signed char ch = static_cast<signed char>(text[i]);
        if (ch >= Lowest && ch <= Highest)
            Text[kept++] = text[i];
    }
    Text[kept] = 0;
}

size_t CGObfuscate::Length() const {
    return Text ? std::strlen(Text.get()) : 0;
}

char CGObfuscate::Shift(char ch, int delta) const {
    int t = static_cast<signed char>(ch) + delta;
    if (t > Highest)
        t += Lowest - Highest - 1;
    else if (t < Lowest)
        t += Highest - Lowest + 1;
    return static_cast<char>(t);
}

void CGObfuscate::Encode() {
    size_t n = Length();
    char* s = Text.get();
    for (size_t pass = 0; pass < n; ++pass) {
        std::rotate(s, s + n - 1, s + n);
        // Descending, so each step still sees its unchanged left neighbour.
        for (size_t j = n - 1; j >= 1; --j)
            s[j] = Shift(s[j], static_cast<signed char>(s[j - 1]) - Lowest);
    }
}

void CGObfuscate::Decode() {
    size_t n = Length();
    char* s = Text.get();
    for (size_t pass = 0; pass < n; ++pass) {
        // Ascending, so each step sees the already restored left neighbour.
        for (size_t j = 1; j < n; ++j)
            s[j] = Shift(s[j], Lowest - static_cast<signed char>(s[j - 1]));
        std::rotate(s, s + 1, s + n);
    }
}
