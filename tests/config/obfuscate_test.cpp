#include "config/obfuscate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Encoded(const char* plain) {
    CGObfuscate o(plain, 0x20, 0x7E);
    o.Encode();
    return o.Get() ? o.Get() : "<null>";
}

std::string Decoded(const char* stored) {
    CGObfuscate o(stored, 0x20, 0x7E);
    o.Decode();
    return o.Get() ? o.Get() : "<null>";
}

TEST(Obfuscate, WorkedExamplesBothWays) {
    EXPECT_EQ(Encoded("abc"), ")ML");
    EXPECT_EQ(Decoded(")ML"), "abc");
    EXPECT_EQ(Encoded("ab"), "D'");
    EXPECT_EQ(Decoded("D'"), "ab");
    EXPECT_EQ(Encoded("x"), "x");
    EXPECT_EQ(Encoded(""), "");
    EXPECT_EQ(Encoded(nullptr), "<null>");
    EXPECT_EQ(Decoded(nullptr), "<null>");
}

TEST(Obfuscate, ShiftWrapsOnceAtBothEnds) {
    CGObfuscate o("", 0x20, 0x7E);
    EXPECT_EQ(o.Shift('~', 1), ' ');
    EXPECT_EQ(o.Shift(' ', -1), '~');
    EXPECT_EQ(o.Shift('~', 94), '}');
    EXPECT_EQ(o.Shift(' ', -94), '!');
    EXPECT_EQ(o.Shift('a', 0), 'a');
}

TEST(Obfuscate, BytesOutsideTheAlphabetAreDroppedBeforeEitherDirection) {
    EXPECT_EQ(Encoded("a\tb\xE9"), Encoded("ab"));
    EXPECT_EQ(Decoded("D\n'\x7F"), "ab");
    CGObfuscate o("\x01\x1F\x80\xFF", 0x20, 0x7E);
    EXPECT_STREQ(o.Get(), "");
}

TEST(Obfuscate, EveryLengthAndEveryCharacterRoundTrips) {
    // Texts of 0..255 characters walking through the whole alphabet, including its ends.
    for (int n = 0; n <= 255; ++n) {
        std::string plain;
        for (int i = 0; i < n; ++i)
            plain += static_cast<char>(0x20 + (i * 37 + n) % 95);
        std::string stored = Encoded(plain.c_str());
        ASSERT_EQ(stored.size(), plain.size());
        for (char ch : stored)
            ASSERT_TRUE(ch >= 0x20 && ch <= 0x7E) << n;
        ASSERT_EQ(Decoded(stored.c_str()), plain) << n;
    }
    EXPECT_EQ(Decoded(Encoded("~~~~   ~ ~").c_str()), "~~~~   ~ ~");
}

} // namespace
