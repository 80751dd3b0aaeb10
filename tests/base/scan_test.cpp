// The one leading-integer reader that settings, number fields and the version file share, and
// the one Base64.
#include "base/base64.h"
#include "base/scan.h"

#include <gtest/gtest.h>

#include <climits>

TEST(Scan, ParseLeadingIntIsAtoiWithoutOverflow) {
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt("12abc"), 12);
    EXPECT_EQ(ParseLeadingInt("  -7"), -7);
    EXPECT_EQ(ParseLeadingInt("007"), 7);
    EXPECT_EQ(ParseLeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt("99999999999"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-99999999999"), INT_MIN);
}

TEST(Base64, ReadsStandardTextAndNothingElse) {
    std::string bytes;
    for (const char* text : {"", "YQ==", "YWI=", "YWJj"}) {
        ASSERT_TRUE(FromBase64(text, bytes)) << text;
        EXPECT_EQ(Base64(bytes), text);
    }
    // Padding only at the end, the length a multiple of four, no blanks.
    for (const char* text : {"YQ=A", "Y===", "=YWJ", "YQ", " YWJj", "YW\nJj"})
        EXPECT_FALSE(FromBase64(text, bytes)) << text;
}
