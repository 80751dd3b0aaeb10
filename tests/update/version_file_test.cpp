#include "base/scan.h"
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
// Piece bytes; when the script is used up Read returns End (0: silence, -1: closed), or,
// with Endless, an unending stream of 'a'.
class ScriptedReply : public CGSocketHTTP {
public:
    explicit ScriptedReply(std::string bytes, int piece = 1 << 20, int end = -1)
        : Bytes(std::move(bytes)), Piece(piece), End(end) {}

    int Read(char* buffer, int size) override {
        ++Reads;
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
    int Piece, End;
    bool Endless = false;
    std::chrono::milliseconds Delay{0};
    int Reads = 0;
};

std::string Reply(const std::string& header, const std::string& body) {
    return "HTTP/1.1 200 OK\r\n" + header + "\r\n\r\n" + body;
}

// ParseHeaderLine's result and contentLength (starting at -7) for a copy of line.
std::pair<int, int> Parse(const char* line) {
    std::string copy = line;
    int length = -7;
    int result = CGSocketHTTP::ParseHeaderLine(copy.data(), length);
    return {result, length};
}

} // namespace

TEST(VersionFile, NumbersKeysAndBodies) {
    EXPECT_EQ(ParseLeadingInt(" +7\r\n"), 7);
    EXPECT_EQ(ParseLeadingInt("12abc"), 12);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), INT_MAX) << "clamped, not overflowed";
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), INT_MIN);

    EXPECT_EQ(VersionKey(1, 1, 2, 0), 0x01010200);
    EXPECT_GT(VersionKey(1, 1, 3, 0), VersionKey(1, 1, 2, 5));
    EXPECT_EQ(VersionKey(1, 257, 0, 0), VersionKey(1, 1, 0, 0)) << "parts are or-ed, unmasked";
    EXPECT_LT(VersionKey(128, 0, 0, 0), 0) << "the key is signed";

    int a = 0, b = 0, c = 0;
    ASSERT_EQ(ParseVersionBody("1, 1, 3\r\n", a, b, c), 1);
    EXPECT_EQ(std::vector<int>({a, b, c}), std::vector<int>({1, 1, 3}));
    EXPECT_EQ(ParseVersionBody("2,x,0", a, b, c), 1) << "letters read as 0, as atoi does";
    for (const char* bad : {"1,1", "1,1,3,0", "1,1,-1", "-1,0,0", "1,1,", ",,", "", "5"})
        EXPECT_EQ(ParseVersionBody(bad, a, b, c), 0) << '"' << bad << '"';
}

TEST(ParseHeaderLine, ContentLengthAndTheEndOfTheHeader) {
    EXPECT_EQ(Parse("").first, 0);
    EXPECT_EQ(Parse("   ").first, 0);
    EXPECT_EQ(Parse("  content-LENGTH:12").second, 12);
    EXPECT_EQ(Parse("Content-Length:   42   ").second, 42);
    EXPECT_EQ(Parse("Content-Length: 5:7").second, 7) << "the value follows the last colon";
    EXPECT_EQ(Parse("Content-Length:").second, 0) << "an empty value reads as 0";
    for (const char* other :
         {"HTTP/1.1 200 OK", "Content-Length", "Content-Length : 5", "X-Content-Length: 5", ":5"})
        EXPECT_EQ(Parse(other), std::make_pair(1, -7)) << other;
}

TEST(ReadReply, LengthMustBeOneTo255) {
    const std::string body(300, '7');
    for (const char* header : {"Server: x", "Content-Length: 0", "Content-Length: 256",
                               "Content-Length: -5", "Content-Length: 99999999999"}) {
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
    ScriptedReply r(Reply(longLine + "\r\nContent-Length: 5", "1,1,3 and more"));
    ASSERT_EQ(r.ReadReply(), 1);
    EXPECT_STREQ(r.Buffer, "1,1,3");

    ScriptedReply padded(Reply("Content-Length:" + std::string(300, ' ') + "5", "1,1,3"));
    EXPECT_EQ(padded.ReadReply(), 0) << "a line cut in its blanks loses its value";
}

TEST(ReadReply, AHeaderThatNeverEndsIsRefused) {
    ScriptedReply endless("HTTP/1.1 200 OK\r\nX-Endless: ");
    endless.Endless = true;
    EXPECT_EQ(endless.ReadReply(), 0);
    EXPECT_LE(endless.Reads, CGSocketHTTP::MaxHeaderBytes + 1);

    ScriptedReply slow("HTTP/1.1 200 OK\r\nX-Slow: ");
    slow.Endless = true;
    slow.Delay = std::chrono::milliseconds(20);
    slow.ReplyTimeLimitMs = 300;
    EXPECT_EQ(slow.ReadReply(), 0);
    EXPECT_LT(slow.Reads, 1000) << "a trickle ends at the time limit";
}

TEST(ReadReply, TheBodyMayComeInPiecesButNotShort) {
    ScriptedReply pieces(Reply("Content-Length: 7", "1,12,34"), 2);
    ASSERT_EQ(pieces.ReadReply(), 1);
    EXPECT_STREQ(pieces.Buffer, "1,12,34");

    ScriptedReply closedEarly(Reply("Content-Length: 5", "1,1"), 1 << 20, -1);
    EXPECT_EQ(closedEarly.ReadReply(), 0);
    ScriptedReply silentEarly(Reply("Content-Length: 5", "1,1"), 1 << 20, 0);
    EXPECT_EQ(silentEarly.ReadReply(), 0);
    // Without its empty line the header is incomplete, whatever it announced.
    ScriptedReply noEnd("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", 1 << 20, 0);
    EXPECT_EQ(noEnd.ReadReply(), 0);
}

TEST(OfferIfNewer, ComparesWithTheOwnVersionWhenItIsKnown) {
    int localKnown = 1;
    int localKey = VersionKey(1, 1, 2, 5);
    int asked = 0;
    CGUpdateEnvironment e;
    e.LocalVersion = [&](int& key) {
        key = localKey;
        return localKnown;
    };
    e.AskYesNo = [&](const char*, const char*) { return ++asked, 1; };
    e.OpenPage = [](const char*) {};
    CCheckerThread check(e);
    // Each offer is answered by the check's owner, as the main window does on its message.
    auto offer = [&](const char* body) {
        check.OfferIfNewer(body);
        check.AnswerOffer();
    };
    offer("1,1,2");
    EXPECT_EQ(asked, 0) << "1.1.2 is older than 1.1.2.5";
    offer("1,1,3");
    EXPECT_EQ(asked, 1);
    localKnown = 0;
    offer("9,9,9");
    EXPECT_EQ(asked, 1) << "no own version, no question";
}

TEST(DefaultUpdateEnvironment, BuildSettingsAndOwnVersion) {
    CGUpdateEnvironment e = DefaultUpdateEnvironment();
    EXPECT_EQ(e.Host, VARNOCLE_UPDATE_HOST);
    EXPECT_EQ(e.DownloadPage, VARNOCLE_DOWNLOAD_PAGE);
    int key = 0;
    ASSERT_EQ(e.LocalVersion(key), 1);
#ifdef _WIN32
    EXPECT_EQ(key, VersionKey(1, 1, 2, 5)) << "from this binary's own version record";
#else
    EXPECT_EQ(key, VersionKey(VARNOCLE_VERSION_MAJOR, VARNOCLE_VERSION_MINOR,
                              VARNOCLE_VERSION_PATCH, VARNOCLE_VERSION_TWEAK));
#endif
}
