#include "base/text.h"
#include "base/utf_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Wide(const CGText& t) { return t.Wide() ? std::u16string(t.Wide()) : u"<null>"; }

} // namespace

TEST(CGText, NullAndEmptyAreDifferentValues) {
    CGText t;
    EXPECT_TRUE(t.IsNull());
    t.Assign(nullptr);
    EXPECT_TRUE(t.IsNull());
    t.Assign("");
    ASSERT_FALSE(t.IsNull());
    EXPECT_STREQ(t.Get(), "");
    EXPECT_EQ(t.WideLength(), 0);
    t.Clear();
    t.Clear(); // clearing twice is harmless
    EXPECT_TRUE(t.IsNull());
    EXPECT_EQ(t.WideLength(), 0);
}

TEST(CGText, AssignFromItselfAndCopies) {
    CGText a("abc");
    a.Assign(a.Get());
    EXPECT_STREQ(a.Get(), "abc");
    CGText b = a;
    a.Assign("x");
    EXPECT_STREQ(b.Get(), "abc");
    CGText c = std::move(b);
    EXPECT_STREQ(c.Get(), "abc");
    EXPECT_TRUE(b.IsNull()); // NOLINT: moved-from state is defined as null
}

TEST(CGText, WideRoundTripBeyondLatin1) {
    const char16_t wide[] = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600 \u20ac";
    CGText t;
    t.FromWide(wide);
    ASSERT_FALSE(t.IsNull());
    EXPECT_STREQ(t.Get(), "Gr\xc3\xbc\xc3\x9f" "e \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 \xe2\x82\xac");
    EXPECT_EQ(t.Wide(), nullptr); // FromWide does not keep the wide form
    t.BuildWide();
    EXPECT_EQ(Wide(t), std::u16string(wide));
    EXPECT_EQ(t.WideLength(), static_cast<int>(std::u16string(wide).size()));
    t.Assign("x"); // replacing the text drops the stale wide copy
    EXPECT_EQ(t.Wide(), nullptr);
}

TEST(UtfConvert, SizePassAndTooSmallBuffer) {
    EXPECT_EQ(Utf8ToUtf16("abc", nullptr, 0), 4);
    char16_t small[3];
    EXPECT_EQ(Utf8ToUtf16("abc", small, 3), 0);
    char16_t fits[4];
    EXPECT_EQ(Utf8ToUtf16("abc", fits, 4), 4);
    EXPECT_EQ(std::u16string(fits), u"abc");
    EXPECT_EQ(Utf16ToUtf8(u"\u00e9", nullptr, 0), 3);
    EXPECT_EQ(Utf8ToUtf16(nullptr, nullptr, 0), 0);
}

TEST(UtfConvert, InvalidInputBecomesReplacementNotAFailure) {
    // A lone continuation byte, a truncated sequence and a lone surrogate.
    char16_t out[16];
    ASSERT_GT(Utf8ToUtf16("a\x80z", out, 16), 0);
    EXPECT_EQ(out[0], u'a');
    EXPECT_EQ(out[1], 0xFFFD);
    ASSERT_GT(Utf8ToUtf16("\xe6\x97", out, 16), 0);
    EXPECT_EQ(out[0], 0xFFFD);
    const char16_t lone[] = {0xD800, u'x', 0};
    char bytes[16];
    ASSERT_GT(Utf16ToUtf8(lone, bytes, 16), 0);
    EXPECT_STREQ(bytes, "\xef\xbf\xbdx");
}

TEST(CGTextNode, ListAddsAtHeadAndFreesEverything) {
    CGTextNode* head = nullptr;
    PushText(head, "x");
    PushText(head, "");
    PushText(head, "y");
    ASSERT_NE(head, nullptr);
    EXPECT_STREQ(head->Text.Get(), "y");
    EXPECT_STREQ(head->Next->Text.Get(), "");
    EXPECT_STREQ(head->Next->Next->Text.Get(), "x");
    EXPECT_EQ(head->Next->Next->Next, nullptr);
    FreeTextList(head);
    EXPECT_EQ(head, nullptr);
    FreeTextList(head);
}

TEST(FreeText, DuplicateKeepsNullAndCopiesBytes) {
    char* p = reinterpret_cast<char*>(1);
    DuplicateText(nullptr, p);
    EXPECT_EQ(p, nullptr);
    const char source[] = "abc";
    DuplicateText(source, p);
    ASSERT_NE(p, source);
    EXPECT_STREQ(p, "abc");
    FreeText(p);
    EXPECT_EQ(p, nullptr);
    FreeText(p);
}
