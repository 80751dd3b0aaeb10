// Sender and subject of new mail: the header block read and decoded, the message numbers taken
// from the listing, and the TOP requests of a listing that announces new mail, fed from
// memory through a scripted BIO.
#include "mail/account.h"
#include "mail/encoded_words.h"
#include "mail/message_headers.h"
#include "mail/pop3_session.h"
#include "support/counting_sink.h"
#include "support/pop3_script_server.h"
#include "support/script_bio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(MessageHeaders, SendersAndSubjectsAsAPersonReadsThem) {
    struct Case {
        std::string Block, Sender, Subject;
    };
    const Case cases[] = {
        {"From: Ann Example <ann@example.com>\r\nSubject: Lunch\r\n\r\nbody", "Ann Example",
         "Lunch"},
        {"From: \"Doe, \\\"JD\\\" John\" <j@x.org>\r\n", "Doe, \"JD\" John", ""},
        {"from: bob@example.com\r\nSUBJECT : old style\r\n", "bob@example.com", "old style"},
        {"From: <bob@example.com>\r\n", "bob@example.com", ""},
        {"From: carl@x.org (Carl Cee)\r\n", "Carl Cee", ""},
        {"From: Team: dan@x.org, eve@x.org;\r\n", "dan@x.org", ""},
        {"From: a@x.org, B <b@x.org>\r\n", "a@x.org", ""},
        {"Subject: a long\r\n  folded\r\n\tline\r\nX: y\r\n", "", "a long folded line"},
        {"Subject: =?UTF-8?B?w5xiZXIgR3LDvMOfZQ==?=\r\n", "", "Über Grüße"},
        {"Subject: =?ISO-8859-1?Q?Caf=E9_cr=E8me?=\r\n", "", "Café crème"},
        // A character split over two words, folded between them; the blanks between go.
        {"Subject: =?utf-8?q?=C3?=\r\n =?UTF-8?Q?=A9t=C3=A9?= ok\r\n", "", "été ok"},
        {"Subject: Re: =?utf-8?b?Y2Fmw6k?= time\r\n", "", "Re: café time"},
        {"Subject: =?iso-8859-15?q?=A4?= =?windows-1252?Q?=80_=93x=94?=\r\n", "", "€€ “x”"},
        {"From: \"=?utf-8?Q?J=C3=B6rg?=\" <j@x.org>\r\n", "Jörg", ""},
        {"Subject: =?utf-8*de?Q?Gr=C3=BC=C3=9Fe?=\r\n", "", "Grüße"},
        // Words we cannot read stay as they stand.
        {"Subject: =?koi8-r?B?8NLJ18XU?=\r\n", "", "=?koi8-r?B?8NLJ18XU?="},
        {"Subject: =?utf-8?X?abc?= =?utf-8?B?#?= =?utf-8?Q?=ZZ?= =?utf-8?B?abc\r\n", "",
         "=?utf-8?X?abc?= =?utf-8?B?#?= =?utf-8?Q?=ZZ?= =?utf-8?B?abc"},
        // Controls and direction changes go; a stray Latin-1 byte is read as one.
        {"Subject: a\x01"
         "b\x1b[31mc\x7f \xe2\x80\xae"
         "d caf\xe9\r\n",
         "", "ab[31mc d café"},
        {"From: x@y.org\r\n", "x@y.org", ""},
        // The headers end at an empty line or the reply's end; the first field counts;
        // dot-stuffed lines lose their dot.
        {"Subject: first\r\nSubject: second\r\n", "", "first"},
        {"..odd: x\r\nSubject: s\r\n.\r\nFrom: after the end\r\n", "", "s"},
        {"X: y\r\n\r\nSubject: in the body\r\n", "", ""},
    };
    for (const Case& c : cases) {
        const CGMessageHeaders h = ParseMessageHeaders(c.Block);
        EXPECT_EQ(h.Sender, c.Sender) << c.Block;
        EXPECT_EQ(h.Subject, c.Subject) << c.Block;
    }
    // A long subject is cut between characters.
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "\xc3\xa9";
    const std::string cut = ParseMessageHeaders("Subject: " + many + "\r\n").Subject;
    EXPECT_EQ(cut, many.substr(0, MaxHeaderText));
    // Unknown charsets are refused; known ones convert.
    std::string out;
    EXPECT_FALSE(CharsetToUtf8("koi8-r", "x", out));
    EXPECT_TRUE(CharsetToUtf8("Latin1", "\xff", out));
    EXPECT_EQ(out, "ÿ");
}

TEST(MessageHeaders, NumbersComeFromTheListingWithoutACopyOfIt) {
    CGUidlList uidls;
    CGMessageNumbers numbers;
    CGListingScanner scanner(uidls, &numbers);
    const std::string listing =
        "1 a\r\n2 b\r\n5 c\r\n6 d\r\n-7 e\r\n+8 f\r\n99999999999 g\r\n9 h\r\n";
    for (char c : listing)
        scanner.Add(&c, 1);
    ASSERT_EQ(scanner.Finish(), 8);
    const std::vector<std::uint64_t> expected = {1, 2, 5, 6, 0, 8, 0, 9};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(numbers.At(i), expected[i]) << i;
    // A server numbering at random gets no more room than MaxRuns entries.
    CGMessageNumbers random;
    for (std::size_t i = 0; i < 3 * CGMessageNumbers::MaxRuns; ++i)
        random.Note(i, (i * 7919) % 1000 + 1 + (i % 2) * 5000);
    EXPECT_EQ(random.At(3), (3 * 7919) % 1000 + 1 + 5000);
    EXPECT_EQ(random.At(2 * CGMessageNumbers::MaxRuns), 0u);
}

std::string Top(const std::string& from, const std::string& subject) {
    return "+OK\r\nFrom: " + from + "\r\nSubject: " + subject + "\r\n\r\n.\r\n";
}

struct Listing {
    CGPOP3Session Session;
    std::shared_ptr<ScriptBioState> State = std::make_shared<ScriptBioState>();
    CGNewMailNote Note;

    // A listing of messages 1..count (UIDLs u1..) of which 1..seen are read, and the replies
    // that follow it.
    Listing(int count, int seen, const std::string& replies, int top = 1) {
        CGUidlList read;
        for (int i = 1; i <= seen; ++i)
            read.Push("u" + std::to_string(i));
        Session.ReplaceSeenUidls(read);
        State->Incoming = "+OK\r\n";
        for (int i = 1; i <= count; ++i)
            State->Incoming += std::to_string(i) + " u" + std::to_string(i) + "\r\n";
        State->Incoming += ".\r\n" + replies;
        Session.Transport.Attach(NewScriptBio(State));
        Session.Dialogue.Capabilities.Top = top;
    }
    std::vector<std::string> Senders() const {
        std::vector<std::string> out;
        for (const CGMessageHeaders& h : Note.Headers)
            out.push_back(h.Sender);
        return out;
    }
    int Run(int withHeaders = 1) {
        const int count = Session.ListUidls(withHeaders);
        Session.TakeNewMail(&Note);
        return count;
    }
};

TEST(Pop3ListUidls, TheNewestAnnouncedMessagesAreAskedForTheirHeaders) {
    {
        Listing l(4, 1, Top("D", "four") + Top("C", "three") + Top("B", "two"));
        EXPECT_EQ(l.Run(), 4);
        EXPECT_EQ(l.State->Written, "UIDL\r\nTOP 4 0\r\nTOP 3 0\r\nTOP 2 0\r\n");
        EXPECT_EQ(l.Note.Count, 3);
        EXPECT_EQ(l.Senders(), (std::vector<std::string>{"D", "C", "B"}));
        EXPECT_EQ(l.Note.Headers[0].Subject, "four");
    }
    {
        // Five at most; numbers as the listing gives them.
        Listing l(7, 0, "");
        l.State->Incoming = "+OK\r\n3 a\r\n17 b\r\n.\r\n" + Top("B", "b") + Top("A", "a");
        EXPECT_EQ(l.Run(), 2);
        EXPECT_EQ(l.State->Written, "UIDL\r\nTOP 17 0\r\nTOP 3 0\r\n");
        std::string six;
        for (const char* s : {"7", "6", "5", "4", "3"})
            six += Top(s, s);
        Listing many(7, 0, six);
        EXPECT_EQ(many.Run(), 7);
        EXPECT_EQ(many.Note.Count, 7);
        EXPECT_EQ(many.Senders(), (std::vector<std::string>{"7", "6", "5", "4", "3"}));
    }
    // Counts only: no TOP offered, details not wanted, a refusal, a reply past the bound.
    const std::string folded = "+OK\r\nSubject: x\r\n" + std::string(70000, ' ') + "\r\n.\r\n";
    struct Case {
        const char* Name;
        std::string Replies;
        int Top, WithHeaders;
        const char* Written;
        std::vector<std::string> Senders;
    };
    const Case cases[] = {
        {"no TOP", Top("B", "b"), 0, 1, "UIDL\r\n", {}},
        {"no details", Top("B", "b"), 1, 0, "UIDL\r\n", {}},
        {"refused", "-ERR no such command\r\n" + Top("A", "a"), 1, 1, "UIDL\r\nTOP 2 0\r\n", {}},
        {"refused later",
         Top("B", "b") + "-ERR gone\r\n",
         1,
         1,
         "UIDL\r\nTOP 2 0\r\nTOP 1 0\r\n",
         {"B"}},
        {"overlong", folded + Top("A", "a"), 1, 1, "UIDL\r\nTOP 2 0\r\n", {}},
        {"no end", "+OK\r\nFrom: B\r\n", 1, 1, "UIDL\r\nTOP 2 0\r\n", {}},
    };
    for (const Case& c : cases) {
        Listing l(2, 0, c.Replies, c.Top);
        EXPECT_EQ(l.Run(c.WithHeaders), 2) << c.Name;
        EXPECT_EQ(l.State->Written, c.Written) << c.Name;
        EXPECT_EQ(l.Note.Count, 2) << c.Name;
        EXPECT_EQ(l.Senders(), c.Senders) << c.Name;
    }
    // Nothing new: nothing asked.
    Listing l(2, 2, Top("B", "b"));
    EXPECT_EQ(l.Run(), 2);
    EXPECT_EQ(l.State->Written, "UIDL\r\n");
    EXPECT_EQ(l.Note.Count, 0);
}

// A server of ours that first predates CAPA (counts only, no TOP asked), then offers TOP with
// hostile replies, one kind per check: each check still ends well and soon, its new message
// counted, "no sender" where nothing sane was read.
TEST(CheckingThread, NoTopOrHostileHeadersEndAsNoSenderWithoutAHang) {
    std::atomic<int> kind{0};
    ScriptedMailbox box;
    box.Top = [&](ScriptedPop3Server::Connection& c, int) {
        switch (kind.load()) {
        case 1: // malformed encoded-words, a NUL, controls: read, and cleaned
            c.Send("+OK\r\nFrom: =?utf-8?B?***?= <a@x.org>\r\nSubject: \x1b]0;t\x07=?x?Q?\0"s +
                   "=?utf-8?q?=C3=?=\r\n\r\n.\r\n");
            return;
        case 2: { // 10 MB of folding: given up at the bound
            std::string folds;
            for (int i = 0; i < 100000; ++i)
                folds += " folded\r\n";
            if (!c.Send("+OK\r\nSubject: x\r\n"))
                return;
            for (int i = 0; i < 10 && c.Send(folds); ++i) {
            }
            return;
        }
        case 3: // no end: waited for no longer than a read may be silent
            c.Send("+OK\r\nFrom: b@x.org\r\n");
            c.Stall(5000);
            return;
        default: // gone in the middle
            c.Send("+OK\r\nFrom: c@x.org\r\nSubj");
            c.Close();
        }
    };
    ScriptedPop3Server server(std::ref(box));
    CountingSink sink;
    CGAccount account(0x8000);
    account.ApplySettings(ScriptedServerAccount(server.Port(), "secret", 100000));
    account.TickMilliseconds = 20;
    account.Session.Transport.Timeouts.ReadMs = 500;
    sink.StatusSource = &account.Status;
    account.NotifySink = &sink;
    std::vector<std::string> uidls;
    for (int check = 0; check < 5; ++check) {
        SCOPED_TRACE(check);
        kind = check;
        if (check == 1)
            box.Capabilities = "+OK\r\nTOP\r\nUIDL\r\n.\r\n";
        uidls.push_back("m" + std::to_string(check));
        box.SetUidls(uidls);
        const auto start = std::chrono::steady_clock::now();
        if (check == 0)
            account.Start();
        else
            account.RequestCheckNow();
        ASSERT_TRUE(sink.WaitFor(check + 1));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        EXPECT_EQ(sink.SeenStatuses().back(), StatusOk);
        CGNewMailNote note;
        EXPECT_EQ(account.TakeNewMail(&note), 1);
        EXPECT_EQ(note.Count, 1);
        if (check == 1) {
            ASSERT_EQ(note.Headers.size(), 1u);
            EXPECT_EQ(note.Headers[0].Sender, "=?utf-8?B?***?=");
            EXPECT_EQ(note.Headers[0].Subject, "]0;t=?x?Q? =?utf-8?q?=C3=?=");
        } else {
            EXPECT_TRUE(note.Headers.empty());
        }
        EXPECT_EQ(box.TopRequests(), check);
    }
}

} // namespace
