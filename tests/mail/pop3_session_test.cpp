// The POP3 dialogue and the UIDL bookkeeping, fed from memory through a scripted BIO, so
// that piece boundaries and failures are exact.
#include "base/base64.h"
#include "base/chunk_buffer.h"
#include "mail/pop3_session.h"
#include "support/script_bio.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

std::vector<std::string> Entries(const CGUidlList& list) {
    std::vector<std::string> out;
    list.ForEach([&](std::string_view s) { out.emplace_back(s); });
    return out;
}

struct Scripted {
    CGPOP3Session Session;
    std::shared_ptr<ScriptBioState> State = std::make_shared<ScriptBioState>();

    explicit Scripted(const std::string& incoming, int piece = 1024) {
        State->Incoming = incoming;
        State->Piece = piece;
        Session.Transport.Attach(NewScriptBio(State));
    }
    // Feeds a new server script to the same session (a new connection).
    void Reconnect(const std::string& incoming, int piece = 1024) {
        State = std::make_shared<ScriptBioState>();
        State->Incoming = incoming;
        State->Piece = piece;
        Session.Transport.Attach(NewScriptBio(State));
    }
    // What the session has not taken yet: its reader's buffer, then what is still unsent.
    std::string Unread() const {
        return std::string(Session.Dialogue.Reader.Buffered()) +
               State->Incoming.substr(State->Position);
    }
};

TEST(Pop3Reply, StatusRepliesInAnyPieceSize) {
    struct Case {
        const char* Incoming;
        int Expected;
        const char* LeftUnread; // checked for "+OK" replies only
    };
    const Case cases[] = {
        {"+OK ready\r\nNEXT", 0, "NEXT"},
        {"+OK\r\n", 0, ""},
        {"-ERR invalid password\r\n", -1, nullptr},
        {"-ERR Exceeded the login limit\r\n", -2, nullptr},
        {"-ERR Exceeded the login limit for today, try later\r\n", -2, nullptr},
        {"-err exceeded the login limit\r\n", -1, nullptr},
        {"-ERR Exceeded the login\r\n", -1, nullptr},
        {"", -1, nullptr},   // closed right after connecting
        {"+O", -1, nullptr}, // closed inside the status
        {"+OK no line end", -1, nullptr},
        {"* garbage \x01\x02\r\n", -1, nullptr},
    };
    for (int piece : {1, 2, 7, 1024}) {
        for (const Case& c : cases) {
            Scripted s(c.Incoming, piece);
            EXPECT_EQ(s.Session.ReadReply(), c.Expected) << c.Incoming << " piece " << piece;
            if (c.Expected == 0) {
                EXPECT_EQ(s.Unread(), c.LeftUnread) << c.Incoming << " piece " << piece;
            }
        }
    }
}

TEST(Pop3Reply, RestOfOkLineIsHandedOver) {
    Scripted s("+OK POP3 ready <1.2@x>\r\n");
    std::string rest;
    EXPECT_EQ(s.Session.ReadReply(&rest), 0);
    EXPECT_EQ(rest, " POP3 ready <1.2@x>\r\n");
}

TEST(Pop3Command, LinesOnTheWire) {
    Scripted s("");
    EXPECT_EQ(s.Session.SendCommand("USER", "ann"), 1);
    EXPECT_EQ(s.Session.SendCommand("PASS", ""), 1);
    EXPECT_EQ(s.Session.SendCommand("UIDL", nullptr), 1);
    EXPECT_EQ(s.State->Written, "USER ann\r\nPASS \r\nUIDL\r\n");

    // An overlong line is cut but keeps its line end, so the server answers instead of
    // waiting for the rest; 255 characters with the line end go out whole.
    s.State->Written.clear();
    const std::string fits(248, 'p'); // "PASS " + 248 + CR LF = 255
    EXPECT_EQ(s.Session.SendCommand("PASS", fits.c_str()), 1);
    EXPECT_EQ(s.State->Written, "PASS " + fits + "\r\n");
    s.State->Written.clear();
    EXPECT_EQ(s.Session.SendCommand("PASS", std::string(400, 'q').c_str()), 1);
    EXPECT_EQ(s.State->Written.size(), 255u);
    EXPECT_EQ(s.State->Written.substr(253), "\r\n");

    s.State->FailWrites = true;
    EXPECT_EQ(s.Session.SendCommand("UIDL", nullptr), 0);
}

TEST(Pop3MultiLine, EndsOnlyWithALoneDotLineWhereverThePiecesBreak) {
    const std::string body = "1 abc\r\n2 def.\r\n3 .x\r\n.\r\n";
    for (int piece = 1; piece <= static_cast<int>(body.size()); ++piece) {
        Scripted s(body, piece);
        CGChunkBuffer chunks;
        ASSERT_EQ(s.Session.ReadMultiLine(chunks), 1) << piece;
        EXPECT_EQ(std::string(chunks.Flatten().get()), body);
    }
    {
        // A NUL is kept as a blank, and what follows it in its piece is kept too.
        Scripted s(std::string("1 a\0junk\r\n2 b\r\n.\r\n", 18), 8);
        CGChunkBuffer chunks;
        EXPECT_EQ(s.Session.ReadMultiLine(chunks), 1);
        EXPECT_EQ(std::string(chunks.Flatten().get()), "1 a junk\r\n2 b\r\n.\r\n");
    }
    {
        // A NUL in the piece that brings the end cannot hide the end.
        Scripted s("1 a\r\n2 b\0c\r\n.\r\n"s);
        CGChunkBuffer chunks;
        EXPECT_EQ(s.Session.ReadMultiLine(chunks), 1);
        EXPECT_EQ(std::string(chunks.Flatten().get()), "1 a\r\n2 b c\r\n.\r\n");
    }
    {
        Scripted s(".\r\n", 1); // empty mailbox
        CGChunkBuffer chunks;
        EXPECT_EQ(s.Session.ReadMultiLine(chunks), 1);
    }
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, body.size()}) {
        // A body of exactly the bound arrives; one byte less of bound, and the reading
        // stops there instead.
        Scripted fits(body, static_cast<int>(piece));
        CGChunkBuffer kept;
        EXPECT_EQ(fits.Session.ReadMultiLine(kept, body.size()), 1) << piece;
        Scripted over(body, static_cast<int>(piece));
        CGChunkBuffer refused;
        EXPECT_EQ(over.Session.ReadMultiLine(refused, body.size() - 1), -1) << piece;
        EXPECT_LE(refused.Size(true), body.size() - 1) << piece;
    }
    for (const char* cut : {"1 abc\r\n.", "1 abc.\r\n", "1 abc\r\n.\r", "x.\r\n"}) {
        Scripted s(cut, 1);
        CGChunkBuffer chunks;
        EXPECT_EQ(s.Session.ReadMultiLine(chunks), 0) << cut;
    }
}

TEST(Pop3Dialogue, AConversationArrivingInOneReadLosesNothing) {
    // Every reply, the listing and the start of what would come next, all in one read: each
    // step takes its own bytes and leaves the rest to the next.
    Scripted s("+OK hi\r\n+OK\r\n+OK\r\n+OK\r\n1 a\r\n2 b\r\n.\r\nNEXT", 1 << 20);
    EXPECT_EQ(s.Session.Dialogue.ReadGreeting(), 1);
    EXPECT_EQ(s.Session.Dialogue.Login("ann", "pw"), 1);
    EXPECT_EQ(s.Session.ListUidls(), 2);
    EXPECT_EQ(s.State->Written, "USER ann\r\nPASS pw\r\nUIDL\r\n");
    EXPECT_EQ(s.Unread(), "NEXT");
    EXPECT_EQ(s.State->Reads, 1); // large pieces, not a byte per read
    // A new connection starts with nothing of the old one.
    s.Reconnect("+OK again\r\n");
    std::string rest;
    EXPECT_EQ(s.Session.ReadReply(&rest), 0);
    EXPECT_EQ(rest, " again\r\n");
}

TEST(Pop3Dialogue, CapabilitiesDecideBetweenPlainLoginAndStopping) {
    CGTlsGate gate;
    {
        // A server that predates CAPA refuses it with a long line; the login that follows
        // must not take the rest of that line for its own reply.
        Scripted s("+OK hi\r\n-ERR unknown command, what is CAPA?\r\n+OK\r\n+OK\r\n");
        ASSERT_EQ(s.Session.Dialogue.ReadGreeting(), 1);
        EXPECT_EQ(s.Session.Dialogue.NegotiateStartTls("h", gate), 1);
        EXPECT_EQ(s.Session.Dialogue.Login("ann", "pw"), 1);
        EXPECT_EQ(s.State->Written, "CAPA\r\nUSER ann\r\nPASS pw\r\n");
        EXPECT_EQ(gate.Learned, 0);
    }
    {
        // Capabilities without STLS: plain, as before.
        Scripted s("+OK\r\nTOP\r\nUIDL\r\n.\r\n");
        EXPECT_EQ(s.Session.Dialogue.NegotiateStartTls("h", gate), 1);
    }
    // STLS offered, then refused: nothing more goes out, unless the user chose a plain
    // login for this server.
    const char* refusal = "+OK\r\nSASL PLAIN\r\nstls\r\n.\r\n-ERR not now, sorry\r\n+OK\r\n+OK\r\n";
    for (int plain : {0, 1}) {
        CGTlsGate g;
        g.PlainLogin = plain;
        Scripted refused(refusal);
        EXPECT_EQ(refused.Session.Dialogue.NegotiateStartTls("h", g), plain ? 1 : Pop3Unencrypted);
        EXPECT_EQ(g.StartTlsFailed, 1);
        if (plain) {
            EXPECT_EQ(refused.Session.Dialogue.Login("ann", nullptr), 1);
        }
        EXPECT_EQ(refused.State->Written,
                  plain ? "CAPA\r\nSTLS\r\nUSER ann\r\nPASS\r\n" : "CAPA\r\nSTLS\r\n");
    }
    // A server that agrees and then sends no handshake is told apart from one that went away.
    Scripted broken("+OK\r\nSTLS\r\n.\r\n+OK go ahead\r\n+OK forged\r\n");
    EXPECT_EQ(broken.Session.Dialogue.NegotiateStartTls("h", gate), CGPop3Dialogue::StartTlsBroken);
    Scripted gone("+OK\r\nSTLS\r\n");
    EXPECT_EQ(gone.Session.Dialogue.NegotiateStartTls("h", gate), 0);
}

TEST(Pop3Dialogue, Xoauth2InTwoLinesAndItsRefusals) {
    std::string token;
    ASSERT_TRUE(FromBase64("dXNlcj1hQGIuYwFhdXRoPUJlYXJlciB0b2sBAQ==", token));
    ASSERT_EQ(token, "user=a@b.c\x01"
                     "auth=Bearer tok\x01\x01"s);
    const std::string request = "AUTH XOAUTH2\r\ndXNlcj1hQGIuYwFhdXRoPUJlYXJlciB0b2sBAQ==\r\n";
    struct Case {
        const char* Replies;
        bool Codes; // RESP-CODES announced
        int Result;
        int Refusal;
        std::string Written;
    } cases[] = {
        {"+ \r\n+OK welcome\r\n", false, 1, 0, request},
        // The refusal's details as a challenge, answered with an empty line.
        {"+ \r\n+ eyJzdGF0dXMiOiI0MDEifQ==\r\n-ERR [AUTH] failed\r\n", true, 0, Pop3TokenRefused,
         request + "\r\n"},
        {"+\r\n-ERR [IN-USE] mailbox locked\r\n", true, 0, Pop3LoginBusy, request},
        {"-ERR unknown mechanism\r\n", false, 0, Pop3NoXoauth2, "AUTH XOAUTH2\r\n"},
        {"+ \r\n", false, 0, Pop3NotReached, request}, // gone before its verdict
    };
    for (const Case& c : cases) {
        Scripted s(c.Replies);
        s.Session.Dialogue.Capabilities.RespCodes = c.Codes;
        EXPECT_EQ(s.Session.Dialogue.LoginXoauth2("a@b.c", "tok"), c.Result) << c.Replies;
        if (!c.Result) {
            EXPECT_EQ(s.Session.Dialogue.Refusal, c.Refusal) << c.Replies;
        }
        EXPECT_EQ(s.State->Written, c.Written) << c.Replies;
    }
    // A long token is one line, not cut as a command would be.
    Scripted s("+ \r\n+OK\r\n");
    EXPECT_EQ(s.Session.Dialogue.LoginXoauth2("a@b.c", std::string(3000, 't').c_str()), 1);
    EXPECT_GT(s.State->Written.size(), 4000u);
    // The mechanism is looked for as a word of the SASL line, in any case.
    s.Session.Dialogue.Capabilities = ParseCapabilities("SASL PLAIN xoauth2\r\n");
    EXPECT_TRUE(s.Session.Dialogue.OffersSasl("XOAUTH2"));
    s.Session.Dialogue.Capabilities = ParseCapabilities("SASL PLAIN XOAUTH2X OAUTHBEARER\r\n");
    EXPECT_FALSE(s.Session.Dialogue.OffersSasl("XOAUTH2"));
}

TEST(Pop3Listing, ScanKeepsTheWordAfterTheNumber) {
    const std::string longUidl(70, 'u');
    const std::string hugeLine = "9 " + std::string(5000, 'h') + "\r\n";
    const std::string body = "1 abc\r\n"
                             "3\r\n"                  // no UIDL: skipped
                             "\r\n"                   // blank
                             "x 12\r\n"               // no number
                             "  4\tspaced   tail\r\n" // blanks around the fields
                             "5abc\r\n"               // the number may touch the word
                             "6 " +
                             longUidl + "\r\n" + hugeLine +
                             "\x01\xff\x7f garbage\r\n"
                             "7 last"; // no line end at all
    CGUidlList out;
    EXPECT_EQ(ScanListing(body.c_str(), out), 6);
    const std::vector<std::string> expected = {
        "last", std::string(1023, 'h'), longUidl, "abc", "spaced", "abc"};
    EXPECT_EQ(Entries(out), expected); // head first: reverse order of the listing
    // The same as it streams in, cut anywhere.
    for (std::size_t piece : {1, 2, 3, 7, 64}) {
        CGUidlList streamed(CGUidlList::Unindexed);
        CGListingScanner scanner(streamed);
        for (std::size_t at = 0; at < body.size(); at += piece)
            scanner.Add(body.data() + at, std::min(piece, body.size() - at));
        EXPECT_EQ(scanner.Finish(), 6) << piece;
        EXPECT_EQ(Entries(streamed), expected) << piece;
    }

    // Room is taken for the lines that hold a UIDL, not for every line end: 10 MB of blank
    // lines around two messages must not claim a table for ten million.
    const std::string blanks(10000000, '\n');
    CGUidlList sparse;
    EXPECT_EQ(ScanListing(("1 a\r\n" + blanks + "2 b\r\n.\r\n").c_str(), sparse), 2);
    EXPECT_LT(sparse.Capacity(), 1000u);
}

TEST(Pop3Bookkeeping, UnreadNewAndSeenFollowTheListings) {
    CGPOP3Session s;
    CGUidlList seen;
    seen.Push("abc");
    s.ReplaceSeenUidls(seen);

    EXPECT_EQ(s.ApplyListing("1 abc\r\n2 def\r\n.\r\n"), 2);
    EXPECT_EQ(s.MessageCount(), 2);
    EXPECT_EQ(s.UnreadCount(), 1);
    EXPECT_EQ(s.NewMail(), 1);
    EXPECT_EQ(Entries(s.CopyNotifiedUidls()), std::vector<std::string>{"def"});

    // The same listing again: still unread, but announced already.
    EXPECT_EQ(s.ApplyListing("1 abc\r\n2 def\r\n.\r\n"), 2);
    EXPECT_EQ(s.UnreadCount(), 1);
    EXPECT_EQ(s.NewMail(), 0);

    s.MarkAllSeen();
    EXPECT_EQ(Entries(s.CopySeenUidls()), (std::vector<std::string>{"def", "abc"}));
    EXPECT_TRUE(s.CopyNotifiedUidls().Empty());
    EXPECT_EQ(s.UnreadCount(), 0);
    EXPECT_EQ(s.MessageCount(), 2);

    // abc left the server: it leaves the seen list too.
    EXPECT_EQ(s.ApplyListing("1 def\r\n.\r\n"), 1);
    EXPECT_EQ(Entries(s.CopySeenUidls()), std::vector<std::string>{"def"});
    EXPECT_EQ(s.UnreadCount(), 0);
    EXPECT_EQ(s.NewMail(), 0);

    // UIDLs are exact bytes: a change of case is another message.
    EXPECT_EQ(s.ApplyListing("1 DEF\r\n.\r\n"), 1);
    EXPECT_EQ(s.UnreadCount(), 1);
    EXPECT_EQ(s.TakeNewMail(), 1);
    EXPECT_EQ(s.NewMail(), 0);

    EXPECT_EQ(s.ApplyListing(".\r\n"), 0);
    EXPECT_EQ(s.UnreadCount(), 0);
    EXPECT_TRUE(s.CopySeenUidls().Empty());
}

TEST(Pop3Bookkeeping, DuplicateUidlsCountEachLine) {
    CGPOP3Session s;
    EXPECT_EQ(s.ApplyListing("1 a\r\n2 a\r\n3 b\r\n.\r\n"), 3);
    EXPECT_EQ(s.UnreadCount(), 3);
    EXPECT_EQ(s.CopyNotifiedUidls().Count(), 2u);
    s.MarkAllSeen();
    EXPECT_EQ(s.CopySeenUidls().Count(), 2u);
}

TEST(Pop3ListUidls, RefusalsAndBrokenListingsLeaveTheBookkeeping) {
    Scripted s("+OK\r\n1 a\r\n2 b\r\n.\r\n");
    ASSERT_EQ(s.Session.ListUidls(), 2);
    EXPECT_EQ(s.State->Written, "UIDL\r\n");
    s.Session.MarkAllSeen();

    s.Reconnect("-ERR Exceeded the login limit\r\n");
    EXPECT_EQ(s.Session.ListUidls(), -2);
    s.Reconnect("-ERR no\r\n");
    EXPECT_EQ(s.Session.ListUidls(), -1);
    s.Reconnect("+OK\r\n1 a\r\n2 b\r\n3 c\r\n"); // dropped before the end
    EXPECT_EQ(s.Session.ListUidls(), -1);
    s.Reconnect("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n");
    s.State->FailWrites = true;
    EXPECT_EQ(s.Session.ListUidls(), -1);

    EXPECT_EQ(Entries(s.Session.CopySeenUidls()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(s.Session.MessageCount(), 2);
    EXPECT_EQ(s.Session.UnreadCount(), 0);
}

TEST(Pop3ListUidls, EndlessOrNulBearingListingsAreReadSafely) {
    Scripted s("+OK\r\n1 a\r\n2 b\r\n.\r\n");
    ASSERT_EQ(s.Session.ListUidls(), 2);
    s.Session.MarkAllSeen();
    s.Reconnect("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n");
    ASSERT_EQ(s.Session.ListUidls(), 3);

    // A listing that never ends is given up just past the bound; the last good listing,
    // the seen list, the announced list and the counts stay.
    s.Reconnect("+OK\r\n");
    s.State->Endless = "1 x\r\n";
    s.State->EndlessLimit = 2 * CGPOP3Session::MaxListingBytes; // a reader without a bound stops
    EXPECT_EQ(s.Session.ListUidls(), -1);
    EXPECT_GE(s.State->EndlessBytes, CGPOP3Session::MaxListingBytes - 5);
    EXPECT_LE(s.State->EndlessBytes, CGPOP3Session::MaxListingBytes + 1024);
    EXPECT_EQ(Entries(s.Session.CopyCurrentUidls()), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(Entries(s.Session.CopySeenUidls()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Entries(s.Session.CopyNotifiedUidls()), std::vector<std::string>{"c"});
    EXPECT_EQ(s.Session.MessageCount(), 3);
    EXPECT_EQ(s.Session.UnreadCount(), 1);

    // A NUL in the last piece: the listing still ends there, and the NUL ends its UIDL.
    s.Reconnect("+OK\r\n1 a\r\n2 b\0junk\r\n3 d\r\n.\r\n"s);
    EXPECT_EQ(s.Session.ListUidls(), 3);
    EXPECT_EQ(Entries(s.Session.CopyCurrentUidls()), (std::vector<std::string>{"d", "b", "a"}));
}

TEST(Pop3ListUidls, MarkAsReadAfterAFailedListingIsKept) {
    // The user still sees the counts of the last good listing after a failed one; marking
    // them read must not be lost because the failed listing had nothing in it.
    Scripted s("+OK\r\n1 a\r\n2 b\r\n.\r\n");
    ASSERT_EQ(s.Session.ListUidls(), 2);
    s.Reconnect("+OK\r\n1 a\r\n");
    ASSERT_EQ(s.Session.ListUidls(), -1);
    s.Session.MarkAllSeen();
    s.Reconnect("+OK\r\n1 a\r\n2 b\r\n.\r\n");
    ASSERT_EQ(s.Session.ListUidls(), 2);
    EXPECT_EQ(s.Session.UnreadCount(), 0);
    EXPECT_EQ(s.Session.NewMail(), 0);
}

TEST(Pop3SeenFile, LinesBecomeEntriesAndWriteBackOnePerLine) {
    TempDir dir;
    const std::string path = dir.File("seen.uidl");
    const std::string longLine(1500, 'L');
    // 1023 characters fill the reading buffer exactly; the line end after them must not
    // make an empty entry. 1024 come as 1023 and one.
    WriteFileBytes(path, "x\n\ny\n" + longLine + "\n" + std::string(1023, 'M') + "\n" +
                             std::string(1024, 'N') + "\nlast");
    CGPOP3Session s;
    std::FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    s.LoadSeenList(f);
    std::fclose(f);
    const std::vector<std::string> expected = {"last",
                                               "N",
                                               std::string(1023, 'N'),
                                               std::string(1023, 'M'),
                                               std::string(477, 'L'),
                                               std::string(1023, 'L'),
                                               "y",
                                               "",
                                               "x"};
    EXPECT_EQ(Entries(s.CopySeenUidls()), expected);

    f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(s.WriteSeenList(f), 1);
    std::fclose(f);
    f = std::fopen(path.c_str(), "r");
    CGPOP3Session again;
    again.LoadSeenList(f);
    std::fclose(f);
    // Written from the head and read back to the head: the order turns round, the
    // entries stay.
    std::vector<std::string> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(Entries(again.CopySeenUidls()), reversed);
}

} // namespace

namespace {

TEST(UidlList, MembershipMatchesASetThroughGrowthCopiesAndPruning) {
    CGUidlList list;
    std::set<std::string> reference;
    for (int i = 0; i < 20000; ++i) {
        // Short, long, empty and repeated entries; some longer than a storage block.
        std::string u = i % 7 == 0 ? std::string() : "id" + std::to_string(i % 15000);
        if (i == 3)
            u = std::string(70000, 'z');
        list.Push(u);
        reference.insert(u);
    }
    EXPECT_EQ(list.Count(), 20000u);
    auto agrees = [&](const CGUidlList& l, const std::set<std::string>& r) {
        for (int i = 0; i < 16000; ++i) {
            const std::string u = "id" + std::to_string(i);
            if (l.Contains(u) != (r.count(u) != 0))
                return false;
        }
        return l.Contains("") == (r.count("") != 0) &&
               l.Contains(std::string(70000, 'z')) == (r.count(std::string(70000, 'z')) != 0) &&
               !l.Contains("id") && !l.Contains("ID1");
    };
    EXPECT_TRUE(agrees(list, reference));

    CGUidlList copy(list);
    CGUidlList moved(std::move(copy));
    EXPECT_TRUE(agrees(moved, reference));

    CGUidlList keep;
    std::set<std::string> kept;
    for (int i = 0; i < 15000; i += 3) {
        keep.Push("id" + std::to_string(i));
        if (reference.count("id" + std::to_string(i)))
            kept.insert("id" + std::to_string(i));
    }
    list.KeepOnly(keep);
    EXPECT_TRUE(agrees(list, kept));
    std::size_t expected = 0; // every kept line, repeats included
    for (int i = 0; i < 20000; ++i)
        if (i % 7 != 0 && i != 3 && (i % 15000) % 3 == 0)
            ++expected;
    EXPECT_EQ(list.Count(), expected);
}

} // namespace
