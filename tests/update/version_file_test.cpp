#include "build_config.h"
#include "update/checker_thread.h"
#include "update/socket_http.h"
#include "update/version_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// A CGSocketHTTP that reads a scripted reply instead of a socket: each Read takes at most
// Piece bytes, and when the script is used up Read reports End (0: silence, -1: closed).
class ScriptedReply : public CGSocketHTTP {
public:
    explicit ScriptedReply(std::string bytes, int piece = 1 << 20, int end = -1)
        : Bytes(std::move(bytes)), Piece(piece), End(end) {}

    int Read(char* buffer, int size) override {
        ++Reads;
        if (Delay.count() > 0)
            std::this_thread::sleep_for(Delay);
        if (Endless)
            Bytes.append(static_cast<size_t>(size), 'a');
        if (Used >= Bytes.size())
            return End;
        size_t n =
            std::min({Bytes.size() - Used, static_cast<size_t>(size), static_cast<size_t>(Piece)});
        std::memcpy(buffer, Bytes.data() + Used, n);
        Used += n;
        return static_cast<int>(n);
    }

    std::string Bytes;
    size_t Used = 0;
    int Piece;
    int End;
    bool Endless = false; // an unending stream of 'a' after Bytes
    std::chrono::milliseconds Delay{0};
    int Reads = 0;
};

std::string Reply(const std::string& header, const std::string& body) {
    return header + "\r\n\r\n" + body;
}

struct Header {
    int Result;
    int Length;
};

Header Parse(const char* line, int initial = -7) {
    std::string copy = line;
    int length = initial;
    int result = CGSocketHTTP::ParseHeaderLine(copy.data(), length);
    return {result, length};
}

} // namespace

TEST(DecimalValue, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(DecimalValue(" 3\r\n"), 3);
    EXPECT_EQ(DecimalValue("\t+7x"), 7);
    EXPECT_EQ(DecimalValue("-1"), -1);
    EXPECT_EQ(DecimalValue("12abc"), 12);
    EXPECT_EQ(DecimalValue("abc"), 0);
    EXPECT_EQ(DecimalValue(""), 0);
    EXPECT_EQ(DecimalValue("- 5"), 0);
    EXPECT_EQ(DecimalValue("99999999999999999999"), INT_MAX);
    EXPECT_EQ(DecimalValue("-99999999999999999999"), INT_MIN);
}

TEST(VersionKey, PacksPartsIntoOneSignedNumber) {
    EXPECT_EQ(VersionKey(1, 1, 2, 0), 0x01010200);
    EXPECT_GT(VersionKey(1, 1, 2, 5), VersionKey(1, 1, 2, 0));
    EXPECT_GT(VersionKey(1, 1, 3, 0), VersionKey(1, 1, 2, 5));
    // No masking: a part of 256 or more runs into its neighbour.
    EXPECT_EQ(VersionKey(0, 256, 0, 0), VersionKey(1, 0, 0, 0));
    EXPECT_EQ(VersionKey(1, 257, 0, 0), VersionKey(1, 1, 0, 0)) << "parts are or-ed, not added";
    EXPECT_LT(VersionKey(128, 0, 0, 0), 0) << "the comparison is signed";
}

TEST(ParseVersionBody, ThreeNumbersSeparatedByCommas) {
    int a = 0, b = 0, c = 0;
    ASSERT_EQ(ParseVersionBody("1,1,3", a, b, c), 1);
    EXPECT_EQ(a * 10000 + b * 100 + c, 10103);
    ASSERT_EQ(ParseVersionBody("1, 1, 3\r\n", a, b, c), 1);
    EXPECT_EQ(a * 10000 + b * 100 + c, 10103);
    ASSERT_EQ(ParseVersionBody("2,x,", a, b, c), 0);
    ASSERT_EQ(ParseVersionBody("2,x,0", a, b, c), 1) << "letters read as 0, as atoi does";
    EXPECT_EQ(b, 0);

    for (const char* bad : {"1,1", "1,1,3,0", "1,1,-1", "-1,0,0", "1,1,", ",,", "", "5"})
        EXPECT_EQ(ParseVersionBody(bad, a, b, c), 0) << '"' << bad << '"';
    EXPECT_EQ(ParseVersionBody(nullptr, a, b, c), 0);
}

TEST(ParseHeaderLine, FindsTheContentLengthAndTheEndOfTheHeader) {
    EXPECT_EQ(Parse("").Result, 0);
    EXPECT_EQ(Parse("   ").Result, 0);

    EXPECT_EQ(Parse("Content-Length: 5").Length, 5);
    EXPECT_EQ(Parse("  content-LENGTH:12").Length, 12);
    EXPECT_EQ(Parse("Content-Length:   42   ").Length, 42);
    EXPECT_EQ(Parse("Content-Length: 5:7").Length, 7) << "the value follows the last colon";
    EXPECT_EQ(Parse("Content-Length:").Length, 0) << "an empty value reads as 0";
    EXPECT_EQ(Parse("Content-Length: -3").Length, -3);

    for (const char* other : {"HTTP/1.1 200 OK", "Content-Length", "Content-Length : 5",
                              "X-Content-Length: 5", "Content-Type: text/plain", ":5"}) {
        Header h = Parse(other);
        EXPECT_EQ(h.Result, 1) << other;
        EXPECT_EQ(h.Length, -7) << other;
    }
}

TEST(ReadReply, LineEndingsAndStatusDoNotMatter) {
    for (const char* header :
         {"HTTP/1.1 200 OK\r\nContent-Length: 5", "HTTP/1.1 404 Not Found\r\nContent-Length: 5",
          "HTTP/1.0 200 OK\ncontent-length: 5\nServer: x", "Content-Length: 5"}) {
        ScriptedReply r(Reply(header, "1,1,3trailing"), 3);
        ASSERT_EQ(r.ReadReply(), 1) << header;
        EXPECT_STREQ(r.Buffer, "1,1,3") << "the body ends at its announced length";
    }
    ScriptedReply lfOnly("HTTP/1.1 200 OK\nContent-Length: 2\n\n42");
    ASSERT_EQ(lfOnly.ReadReply(), 1);
    EXPECT_STREQ(lfOnly.Buffer, "42");
}

TEST(ReadReply, LengthMustBeOneTo255) {
    const std::string body(300, '7');
    for (const char* header :
         {"HTTP/1.1 200 OK", "HTTP/1.1 200 OK\r\nContent-Length: 0",
          "HTTP/1.1 200 OK\r\nContent-Length: 256", "HTTP/1.1 200 OK\r\nContent-Length: -5",
          "HTTP/1.1 200 OK\r\nContent-Length: 99999999999"}) {
        ScriptedReply r(Reply(header, body));
        EXPECT_EQ(r.ReadReply(), 0) << header;
    }
    ScriptedReply largest(Reply("Content-Length: 255", body));
    ASSERT_EQ(largest.ReadReply(), 1);
    EXPECT_EQ(std::strlen(largest.Buffer), 255u);
}

TEST(ReadReply, OverlongHeaderLinesAreCutNotOverflowed) {
    // The tail of the long line must not become a line of its own.
    std::string longLine =
        "X-Filler: " + std::string(300, 'a') + "Content-Length: 200" + std::string(2000, 'b');
    ScriptedReply r(Reply("HTTP/1.1 200 OK\r\n" + longLine + "\r\nContent-Length: 5", "1,1,3"));
    ASSERT_EQ(r.ReadReply(), 1);
    EXPECT_STREQ(r.Buffer, "1,1,3");

    // A Content-Length line cut in its blanks loses its value.
    ScriptedReply padded(Reply("Content-Length:" + std::string(300, ' ') + "5", "1,1,3"));
    EXPECT_EQ(padded.ReadReply(), 0);
}

TEST(ReadReply, AHeaderThatNeverEndsIsRefused) {
    ScriptedReply endless("HTTP/1.1 200 OK\r\nX-Endless: ");
    endless.Endless = true;
    EXPECT_EQ(endless.ReadReply(), 0);
    EXPECT_LE(endless.Reads, CGSocketHTTP::MaxHeaderBytes + 1);

    // A reply that trickles in slowly ends at the time limit.
    ScriptedReply slow("HTTP/1.1 200 OK\r\nX-Slow: ");
    slow.Endless = true;
    slow.Delay = std::chrono::milliseconds(20);
    slow.ReplyTimeLimitMs = 300;
    EXPECT_EQ(slow.ReadReply(), 0);
    EXPECT_LT(slow.Reads, 1000);
}

TEST(ReadReply, TheBodyMayComeInPiecesButNotShort) {
    ScriptedReply pieces(Reply("Content-Length: 7", "1,12,34"), 2);
    ASSERT_EQ(pieces.ReadReply(), 1);
    EXPECT_STREQ(pieces.Buffer, "1,12,34");

    ScriptedReply closedEarly(Reply("Content-Length: 5", "1,1"), 1 << 20, -1);
    EXPECT_EQ(closedEarly.ReadReply(), 0);
    ScriptedReply silentEarly(Reply("Content-Length: 5", "1,1"), 1 << 20, 0);
    EXPECT_EQ(silentEarly.ReadReply(), 0);

    // Without the empty line the header is not complete, whatever it announced.
    ScriptedReply noEnd("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", 1 << 20, 0);
    EXPECT_EQ(noEnd.ReadReply(), 0);
}

namespace {

// The check's surroundings with a local version of 1.1.2.0 and recorded answers.
struct Recorder {
    int Answer = 0;
    int LocalKnown = 1;
    int LocalKey = VersionKey(1, 1, 2, 0);
    std::vector<std::string> Questions;
    std::vector<std::string> Opened;

    CGUpdateEnvironment Environment() {
        CGUpdateEnvironment e;
        e.Host = "unused.invalid";
        e.DownloadPage = "https://example.invalid/get";
        e.LocalVersion = [this](int& key) {
            key = LocalKey;
            return LocalKnown;
        };
        e.AskYesNo = [this](const char* text, const char* caption) {
            Questions.push_back(std::string(caption) + "|" + text);
            return Answer;
        };
        e.OpenPage = [this](const char* address) { Opened.push_back(address); };
        return e;
    }
};

} // namespace

TEST(OfferIfNewer, AsksOnlyAboutANewerVersionAndOpensThePageOnYes) {
    Recorder r;
    r.Answer = 1;
    CCheckerThread check(r.Environment());
    check.OfferIfNewer("1,1,2");
    check.OfferIfNewer("1,0,9");
    EXPECT_TRUE(r.Questions.empty());

    check.OfferIfNewer("1,1,3");
    ASSERT_EQ(r.Questions.size(), 1u);
    EXPECT_EQ(r.Questions[0], "varnocle|New version 1.1r3 is available, Get it?");
    EXPECT_EQ(r.Opened, std::vector<std::string>{"https://example.invalid/get"});

    check.OfferIfNewer("2, 0, 0\n");
    ASSERT_EQ(r.Questions.size(), 2u);
    EXPECT_EQ(r.Questions[1], "varnocle|New version 2.0r0 is available, Get it?");
}

TEST(OfferIfNewer, NoMeansNothingAndUnknownOwnVersionMeansNoQuestion) {
    Recorder r;
    r.Answer = 0;
    CCheckerThread check(r.Environment());
    check.OfferIfNewer("1,1,3");
    EXPECT_EQ(r.Questions.size(), 1u);
    EXPECT_TRUE(r.Opened.empty());

    r.LocalKey = VersionKey(1, 1, 2, 5);
    check.OfferIfNewer("1,1,2");
    r.LocalKnown = 0;
    check.OfferIfNewer("9,9,9");
    check.OfferIfNewer("1,1");
    EXPECT_EQ(r.Questions.size(), 1u);
}

TEST(DefaultUpdateEnvironment, BuildSettingsAndOwnVersion) {
    CGUpdateEnvironment e = DefaultUpdateEnvironment();
    EXPECT_EQ(e.Host, VARNOCLE_UPDATE_HOST);
    EXPECT_EQ(e.DownloadPage, VARNOCLE_DOWNLOAD_PAGE);
    int key = 0;
    ASSERT_EQ(e.LocalVersion(key), 1);
#ifdef _WIN32
    // This test binary carries a version record of its own, 1.1.2.5.
    EXPECT_EQ(key, VersionKey(1, 1, 2, 5));
#else
    EXPECT_EQ(key, VersionKey(VARNOCLE_VERSION_MAJOR, VARNOCLE_VERSION_MINOR,
                              VARNOCLE_VERSION_PATCH, VARNOCLE_VERSION_TWEAK));
#endif
}
