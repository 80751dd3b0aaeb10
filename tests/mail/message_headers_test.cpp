// Sender and subject of new mail: the header block read and decoded, the message numbers taken
// from the listing, and the TOP requests of a listing that announces new mail, fed from
// memory through a scripted BIO.
#include "mail/account.h"
#include "mail/encoded_words.h"
#include "mail/message_headers.h"
#include "mail/pop3_session.h"
#include "mail/watched_account.h"
#include "support/script_bio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(MessageHeaders, SendersAndSubjectsAsAPersonReadsThem) {
    struct Case {
        std::string Block, Sender, Subject;
    };
    // Plain, folded, B- and Q-encoded headers in UTF-8 and ISO-8859-1, an address-only From and
    // no Subject are read from Dovecot (dovecot_test.cpp); here, what a server rarely shows.
    const Case cases[] = {
        {"From: \"Doe, \\\"JD\\\" John\" <j@x.org>\r\n", "Doe, \"JD\" John", ""},
        {"from: bob@example.com\r\nSUBJECT : old style\r\n", "bob@example.com", "old style"},
        {"From: carl@x.org (Carl Cee)\r\n", "Carl Cee", ""},
        {"From: Team: dan@x.org, eve@x.org;\r\n", "dan@x.org", ""},
        {"From: a@x.org, B <b@x.org>\r\n", "a@x.org", ""},
        {"Subject: a long\r\n  folded\r\n\tline\r\nX: y\r\n", "", "a long folded line"},
        // A character split over two words, folded between them; the blanks between go.
        {"Subject: =?utf-8?q?=C3?=\r\n =?UTF-8?Q?=A9t=C3=A9?= ok\r\n", "", "été ok"},
        {"Subject: Re: =?utf-8?b?Y2Fmw6k?= time\r\n", "", "Re: café time"},
        {"Subject: =?iso-8859-15?q?=A4?= =?windows-1252?Q?=80_=93x=94?=\r\n", "", "€€ “x”"},
        {"From: \"=?utf-8?Q?J=C3=B6rg?=\" <j@x.org>\r\n", "Jörg", ""},
        // Words we cannot read stay as they stand.
        {"Subject: =?koi8-r?B?8NLJ18XU?=\r\n", "", "=?koi8-r?B?8NLJ18XU?="},
        {"Subject: =?utf-8?X?abc?= =?utf-8?B?#?= =?utf-8?Q?=ZZ?= =?utf-8?B?abc\r\n", "",
         "=?utf-8?X?abc?= =?utf-8?B?#?= =?utf-8?Q?=ZZ?= =?utf-8?B?abc"},
        // Controls and direction changes go; a stray Latin-1 byte is read as one.
        {"Subject: a\x01"
         "b\x1b[31mc\x7f \xe2\x80\xae"
         "d caf\xe9\r\n",
         "", "ab[31mc d café"},
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

// A listing of messages 1..count (UIDLs u1..) of which 1..seen are read, the replies after
// it, and what one listing with headers wanted announced.
struct Listing {
    CGPOP3Session Session;
    std::shared_ptr<ScriptBioState> State = std::make_shared<ScriptBioState>();
    CGNewMailNote Note;

    Listing(int count, int seen, const std::string& replies) {
        CGUidlList read;
        State->Incoming = "+OK\r\n";
        for (int i = 1; i <= count; ++i) {
            State->Incoming += std::to_string(i) + " u" + std::to_string(i) + "\r\n";
            if (i <= seen)
                read.Push("u" + std::to_string(i));
        }
        State->Incoming += ".\r\n" + replies;
        Session.ReplaceSeenUidls(read);
        Session.Transport.Attach(NewScriptBio(State));
        Session.Dialogue.Capabilities.Top = 1;
    }
    // The senders of the note, after a listing that gave count.
    std::vector<std::string> Senders(int withHeaders = 1) {
        EXPECT_GE(Session.ListUidls(withHeaders), 0);
        Session.TakeNewMail(&Note);
        std::vector<std::string> out;
        for (const CGMessageHeaders& h : Note.Headers)
            out.push_back(h.Sender);
        return out;
    }
};

TEST(Pop3ListUidls, TheNewestAnnouncedMessagesAreAskedForTheirHeaders) {
    using Names = std::vector<std::string>;
    Listing three(4, 1, Top("D", "four") + Top("C", "three") + Top("B", "two"));
    EXPECT_EQ(three.Senders(), (Names{"D", "C", "B"}));
    EXPECT_EQ(three.State->Written, "UIDL\r\nTOP 4 0\r\nTOP 3 0\r\nTOP 2 0\r\n");
    EXPECT_EQ(three.Note.Count, 3);
    EXPECT_EQ(three.Note.Headers[0].Subject, "four");
    // Five at most; numbers as the listing gives them.
    Listing many(7, 0, Top("7", "") + Top("6", "") + Top("5", "") + Top("4", "") + Top("3", ""));
    EXPECT_EQ(many.Senders(), (Names{"7", "6", "5", "4", "3"}));
    EXPECT_EQ(many.Note.Count, 7);
    Listing numbered(0, 0, "");
    numbered.State->Incoming = "+OK\r\n3 a\r\n17 b\r\n.\r\n" + Top("B", "") + Top("A", "");
    EXPECT_EQ(numbered.Senders(), (Names{"B", "A"}));
    EXPECT_EQ(numbered.State->Written, "UIDL\r\nTOP 17 0\r\nTOP 3 0\r\n");
    // A refusal ends the asking; details not wanted or nothing new: nothing asked.
    Listing refused(2, 0, Top("B", "b") + "-ERR gone\r\n" + Top("A", "a"));
    EXPECT_EQ(refused.Senders(), Names{"B"});
    EXPECT_EQ(refused.State->Written, "UIDL\r\nTOP 2 0\r\nTOP 1 0\r\n");
    EXPECT_EQ(refused.Note.Count, 2);
    Listing undetailed(2, 0, Top("B", "b"));
    EXPECT_EQ(undetailed.Senders(0), Names{});
    EXPECT_EQ(undetailed.Note.Count, 2);
    Listing old(2, 2, Top("B", "b"));
    EXPECT_EQ(old.Senders(), Names{});
    EXPECT_EQ(old.Note.Count, 0);
    for (Listing* l : {&undetailed, &old})
        EXPECT_EQ(l->State->Written, "UIDL\r\n");
}

// A server of ours that first predates CAPA (counts only, no TOP asked), then offers TOP with
// hostile replies, one kind per check: each check still ends well and soon, its new message
// counted, "no sender" where nothing sane was read.
TEST(CheckingThread, NoTopOrHostileHeadersEndAsNoSenderWithoutAHang) {
    std::atomic<int> kind{0};
    std::string folds = "+OK\r\nSubject: x\r\n";
    for (int i = 0; i < 100000; ++i)
        folds += " folded\r\n";
    ScriptedMailbox old, box; // old predates CAPA
    box.Capabilities = "+OK\r\nTOP\r\nUIDL\r\n.\r\n";
    box.Top = [&](Conn& c, int) {
        if (kind == 1) // malformed encoded-words, a NUL, controls: read, and cleaned
            c.Send("+OK\r\nFrom: =?utf-8?B?***?= <a@x.org>\r\nSubject: \x1b]0;t\x07=?x?Q?\0"s +
                   "=?utf-8?q?=C3=?=\r\n\r\n.\r\n");
        for (int i = 0; kind == 2 && i < 11 && c.Send(folds.substr(i ? 17 : 0)); ++i) {
        }                // 10 MB of folding: given up at the bound
        if (kind == 3) { // no end: given up after a read's silence, not the sink's 20 s
            c.Send("+OK\r\nFrom: b@x.org\r\n");
            c.Stall(30000);
        }
        if (kind == 4 && c.Send("+OK\r\nFrom: c@x.org\r\nSubj")) // gone in the middle
            c.Close();
    };
    ScriptedPop3Server server([&](Conn& c) { (kind ? box : old)(c); });
    Watched w(server.Port(), 100000);
    std::vector<std::string> uidls;
    for (int check = 0; check < 5; ++check) {
        SCOPED_TRACE(check);
        kind = check;
        uidls.push_back("m" + std::to_string(check));
        box.SetUidls(uidls);
        old.SetUidls(uidls);
        check == 0 ? w.Account.Start() : w.Account.RequestCheckNow();
        ASSERT_TRUE(w.Sink.WaitFor(check + 1));
        EXPECT_EQ(w.Sink.SeenStatuses().back(), StatusOk);
        CGNewMailNote note;
        EXPECT_EQ(w.Account.TakeNewMail(&note), 1);
        EXPECT_EQ(note.Count, 1);
        EXPECT_EQ(box.TopRequests() + old.TopRequests(), check);
        ASSERT_EQ(note.Headers.size(), check == 1 ? 1u : 0u);
        if (check == 1) {
            EXPECT_EQ(note.Headers[0].Sender, "=?utf-8?B?***?=");
            EXPECT_EQ(note.Headers[0].Subject, "]0;t=?x?Q? =?utf-8?q?=C3=?=");
        }
    }
}

} // namespace
