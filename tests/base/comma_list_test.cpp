#include "base/comma_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Splits a copy of text and returns the fields, "<null>" for a null field.
std::vector<std::string> SplitPlain(const char* text, CGCommaList& list) {
    list.AssignCopy(text);
    int n = list.Split();
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(list.Field(i) ? list.Field(i) : "<null>");
    return out;
}

std::vector<std::string> SplitQuotes(const char* text, const CGQuotePairs& pairs,
                                     CGCommaList& list) {
    list.AssignCopy(text);
    int n = list.SplitQuoted(pairs);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(list.Field(i) ? list.Field(i) : "<null>");
    return out;
}

using Fields = std::vector<std::string>;

CGQuotePairs DoubleQuotes() {
    CGQuotePairs q;
    q.Open[0] = '"';
    q.Close[0] = '"';
    q.Count = 1;
    return q;
}

} // namespace

TEST(CGCommaListSplit, BlanksAroundFieldsExceptAtTheEnd) {
    CGCommaList l;
    EXPECT_EQ(SplitPlain(" a , b ,c", l), (Fields{"a", "b", "c"}));
    EXPECT_EQ(SplitPlain("a, b ", l), (Fields{"a", "b "}));
    EXPECT_EQ(SplitPlain("a,\tb\t,c", l), (Fields{"a", "b", "c"}));
    EXPECT_EQ(SplitPlain("  ", l), (Fields{""}));
}

TEST(CGCommaListSplit, EmptyFieldsAndEmptyText) {
    CGCommaList l;
    EXPECT_EQ(SplitPlain(",a", l), (Fields{"", "a"}));
    EXPECT_EQ(SplitPlain("a,,b", l), (Fields{"a", "", "b"}));
    EXPECT_EQ(SplitPlain("a,", l), (Fields{"a", ""}));
    EXPECT_EQ(SplitPlain(",", l), (Fields{"", ""}));
    EXPECT_EQ(SplitPlain("", l), Fields{});
    EXPECT_EQ(l.Split(), 0);
    CGCommaList none;
    EXPECT_EQ(none.Split(), 0);
    EXPECT_EQ(none.CountQuoted(CGQuotePairs{}), 0);
}

TEST(CGCommaListSplit, AccountNamesAsStored) {
    CGCommaList l;
    EXPECT_EQ(SplitPlain("user1 - server1,server2", l), (Fields{"user1 - server1", "server2"}));
    EXPECT_EQ(l.Field(2), std::string("")); // index == Count gives Rest or ""
    EXPECT_EQ(l.Field(3), nullptr);
    EXPECT_EQ(l.Field(-1), nullptr);
}

TEST(CGCommaListSplitQuoted, UnquotedTableSplitsOnEveryCommaKeepingBlanks) {
    CGCommaList l;
    CGQuotePairs none;
    EXPECT_EQ(SplitQuotes("1, 1, 3\n", none, l), (Fields{"1", " 1", " 3\n"}));
    EXPECT_EQ(SplitQuotes("a,,b", none, l), (Fields{"a", "", "b"}));
    EXPECT_EQ(SplitQuotes("a,", none, l), (Fields{"a", "<null>"}));
    EXPECT_EQ(SplitQuotes("", none, l), (Fields{"<null>"})); // one field, never reached
    EXPECT_EQ(l.CountQuoted(none), 1);
}

TEST(CGCommaListSplitQuoted, QuotesProtectCommas) {
    CGCommaList l;
    CGQuotePairs q = DoubleQuotes();
    EXPECT_EQ(SplitQuotes("\"x,y\",z", q, l), (Fields{"x,y", "z"}));
    EXPECT_EQ(l.Rest, nullptr);
    // An unterminated quote takes the rest of the text.
    EXPECT_EQ(SplitQuotes("a,\"b,c", q, l), (Fields{"a", "b,c"}));
    // Text after a closing quote that no comma follows is left as Rest.
    EXPECT_EQ(SplitQuotes("\"ab\"cd,e", q, l), (Fields{"ab", "<null>"}));
    EXPECT_STREQ(l.Rest, "cd,e");
    EXPECT_STREQ(l.Field(l.Count), "cd,e");
}

TEST(CGCommaListSplitQuoted, QuoteInsideAFieldNeverOverrunsTheFieldArray) {
    // The counter sees a quote anywhere, the splitter only at a field start; the split must
    // stop at the counted number of fields.
    CGCommaList l;
    CGQuotePairs q = DoubleQuotes();
    EXPECT_EQ(SplitQuotes("a\"b,c\",d", q, l), (Fields{"a\"b", "c\""}));
    EXPECT_STREQ(l.Rest, "d");
}

TEST(CGCommaListSplit, FieldArrayIsReusedOrReplacedAcrossSplits) {
    CGCommaList l;
    EXPECT_EQ(SplitPlain("a,b", l).size(), 2u);
    EXPECT_EQ(SplitPlain("c,d", l), (Fields{"c", "d"}));
    EXPECT_EQ(SplitPlain("e,f,g", l), (Fields{"e", "f", "g"}));
    EXPECT_EQ(SplitPlain("h", l), (Fields{"h"}));
}

TEST(CGCommaListAppend, JoinsWithSingleCommasAndCapsAt4095) {
    CGCommaList l;
    l.Append("first");
    EXPECT_STREQ(l.Text, "first");
    l.Append("second");
    EXPECT_STREQ(l.Text, "first,second");
    l.Append("");
    EXPECT_STREQ(l.Text, "first,second,");

    CGCommaList full;
    std::string big(4095, 'x');
    full.Append(big.c_str());
    full.Append("more");
    EXPECT_EQ(std::string(full.Text), big);

    CGCommaList cut;
    std::string almost(4090, 'y');
    cut.Append(almost.c_str());
    cut.Append("abcdefghij");
    EXPECT_EQ(std::string(cut.Text), almost + ",abcd");
}

TEST(CGCommaListAppend, ThenSplitGivesTheItemsBack) {
    CGCommaList l;
    for (const char* name : {"ann - one", "two", "bob - three"})
        l.Append(name);
    EXPECT_EQ(l.Split(), 3);
    EXPECT_STREQ(l.Field(0), "ann - one");
    EXPECT_STREQ(l.Field(2), "bob - three");
}

TEST(CGQuotePairs, CloseForLooksOnlyAtPairsInUse) {
    CGQuotePairs q;
    q.Open[0] = '(';
    q.Close[0] = ')';
    q.Open[1] = '<';
    q.Close[1] = '>';
    q.Count = 1;
    EXPECT_EQ(q.CloseFor('('), ')');
    EXPECT_EQ(q.CloseFor('<'), 0);
    q.Count = 2;
    EXPECT_EQ(q.CloseFor('<'), '>');
    EXPECT_EQ(q.CloseFor('x'), 0);
}
