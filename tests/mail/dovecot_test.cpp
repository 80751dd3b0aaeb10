// Against a real POP3 server: the private Dovecot that tests/support/dovecot_peer.py starts
// around this binary (plain POP3 and POP3 over TLS with a self-signed certificate).
#include "mail/account.h"
#include "mail/pop3_probe.h"
#include "support/counting_sink.h"
#include "support/dovecot_peer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

const DovecotPeer& Peer() {
    static const DovecotPeer peer = DovecotPeer::FromEnvironment();
    return peer;
}

// Logs in with a session of its own and deletes message number n (1 = oldest).
bool DeleteMessage(const char* user, int n) {
    CGPOP3Session s;
    if (!s.Connect("127.0.0.1", Peer().PlainPort, 0) || s.ReadReply() != 0 ||
        !s.SendCommand("USER", user) || s.ReadReply() != 0 || !s.SendCommand("PASS", "secret") ||
        s.ReadReply() != 0 || !s.SendCommand("DELE", std::to_string(n).c_str()) ||
        s.ReadReply() != 0 || !s.SendCommand("QUIT", nullptr))
        return false;
    return s.ReadReply() == 0;
}

TEST(DovecotTransport, PlainAndTlsConnectionsAndTheirFailures) {
    SKIP_WITHOUT_DOVECOT(Peer());
    {
        CGPOP3Session plain;
        ASSERT_EQ(plain.Connect("127.0.0.1", Peer().PlainPort, 0), 1);
        std::string greeting;
        EXPECT_EQ(plain.ReadReply(&greeting), 0);
        EXPECT_NE(greeting.find("ready"), std::string::npos) << greeting;
    }
    {
        // Self-signed certificate, reached by name: accepted.
        CGPOP3Session tls;
        ASSERT_EQ(tls.Connect("localhost", Peer().TlsPort, 1), 1);
        EXPECT_NE(tls.Transport.Ssl, nullptr);
        EXPECT_EQ(tls.ReadReply(), 0);
        // The connection is reused for a second one by the same object.
        ASSERT_EQ(tls.Connect("127.0.0.1", Peer().TlsPort, 1), 1);
        EXPECT_EQ(tls.ReadReply(), 0);
        tls.Close();
        EXPECT_FALSE(tls.Transport.IsOpen());
    }
    {
        // TLS to the plain port fails in the handshake, within the time-out.
        CGPOP3Session wrong;
        wrong.Transport.Timeouts.ConnectMs = 3000;
        EXPECT_EQ(wrong.Connect("127.0.0.1", Peer().PlainPort, 1), 0);
        EXPECT_EQ(wrong.Connect("no-such-host.invalid", Peer().TlsPort, 1), 0);
    }
}

TEST(DovecotTransport, ATokenGoesOnlyToAServerThatOffersXoauth2) {
    SKIP_WITHOUT_DOVECOT(Peer());
    // This Dovecot lists SASL PLAIN alone: over TLS, or after STARTTLS, no token goes out.
    for (int tls : {1, 0}) {
        CGPOP3Session s;
        CGTlsGate gate;
        EXPECT_EQ(s.Dialogue.Visit("127.0.0.1", tls ? Peer().TlsPort : Peer().PlainPort, tls,
                                   "plain", "secret", gate, "token"),
                  Pop3NoXoauth2);
        EXPECT_EQ(gate.UsedStartTls, 1 - tls);
    }
}

// The probe's fixed ports, 995 and 110, pointed at the given ports of 127.0.0.1 for the name
// "mail.probe.test"; no other name resolves.
CGNetEnvironment ProbePorts(std::uint16_t tls, std::uint16_t plain) {
    CGNetEnvironment net;
    net.Resolve = [tls, plain](const char* host, int port) {
        if (std::string(host) != "mail.probe.test")
            return std::vector<CGPeerAddress>{};
        return DefaultNetEnvironment().Resolve("127.0.0.1", port == ProbeTlsPort ? tls : plain);
    };
    return net;
}

TEST(DovecotProbe, TriesTlsThenPlainAndReportsTheLogin) {
    SKIP_WITHOUT_DOVECOT(Peer());
    struct Case {
        const char* Name;
        const char* Host;
        const char* Password;
        std::uint16_t TlsPort; // 1: nothing listens there
        struct {
            int Found, UseSSL, Port, LoginAccepted;
        } Expected;
    };
    const Case cases[] = {
        {"tls", "mail.probe.test", "secret", Peer().TlsPort, {1, 1, 995, 1}},
        {"tls, wrong password", "mail.probe.test", "wrong", Peer().TlsPort, {1, 1, 995, 0}},
        {"plain only", "mail.probe.test", "secret", 1, {1, 0, 110, 1}},
        {"plain only, wrong password", "mail.probe.test", "wrong", 1, {1, 0, 110, 0}},
        {"no such host", "nowhere.probe.test", "secret", Peer().TlsPort, {0, 0, 0, 0}},
    };
    for (const Case& k : cases) {
        CGProbeRequest request;
        request.Host = k.Host;
        request.User = "plain";
        request.Password = k.Password;
        request.Net = ProbePorts(k.TlsPort, Peer().PlainPort);
        const CGProbeResult r = ProbeMailServer(request);
        EXPECT_EQ(r.Found, k.Expected.Found) << k.Name;
        EXPECT_EQ(r.UseSSL, k.Expected.UseSSL) << k.Name;
        EXPECT_EQ(r.Port, k.Expected.Port) << k.Name;
        EXPECT_EQ(r.LoginAccepted, k.Expected.LoginAccepted) << k.Name;
    }
}

struct DovecotAccount {
    CountingSink Sink;
    CGAccount Account{0x8000};

    DovecotAccount(const char* user, const char* password, int tls) {
        CGServerSettings s;
        s.Server.Assign("127.0.0.1");
        s.Username.Assign(user);
        s.Password.Assign(password);
        s.UseSSL = tls;
        s.Port = tls ? Peer().TlsPort : Peer().PlainPort;
        s.CheckMinutes = 100000; // only check-now starts another check
        Account.ApplySettings(s);
        Account.TickMilliseconds = 20;
        Sink.StatusSource = &Account.Status;
        Account.NotifySink = &Sink;
    }
    std::string Line() {
        Account.UpdateStatusText();
        return Account.StatusText;
    }
    void CheckNow(int expectedCalls) {
        Account.RequestCheckNow();
        ASSERT_TRUE(Sink.WaitFor(expectedCalls));
        ASSERT_EQ(Sink.SeenStatuses().back(), StatusOk);
    }
};

// How many sessions of user's mailbox Dovecot's log shows ended by the client's QUIT
// ("Logged out") and by a dropped connection ("Connection closed").
std::pair<int, int> SessionEnds(const std::string& user) {
    const std::string log = ReadFileBytes(Peer().Dir + "/dovecot.log");
    std::pair<int, int> ends{0, 0};
    for (std::size_t at = 0; (at = log.find("pop3(" + user + ")", at)) != std::string::npos; ++at) {
        const std::string line = log.substr(at, log.find('\n', at) - at);
        ends.first += line.find("Logged out") != std::string::npos;
        ends.second += line.find("Connection closed") != std::string::npos;
    }
    return ends;
}

// The mailbox of user "tls" and user "plain" start with 3 messages each.
TEST(DovecotAccount, MessagesArriveAreReadAndLeave) {
    SKIP_WITHOUT_DOVECOT(Peer());
    for (int tls : {1, 0}) {
        const char* user = tls ? "tls" : "plain";
        SCOPED_TRACE(user);
        DovecotAccount d(user, "secret", tls);
        const std::pair<int, int> before = SessionEnds(user);
        d.Account.Start();
        ASSERT_TRUE(d.Sink.WaitFor(1));
        ASSERT_EQ(d.Sink.SeenStatuses()[0], StatusOk);
        EXPECT_EQ(d.Line(), "3 / 3");
        EXPECT_EQ(d.Account.TakeNewMail(), 1);

        d.Account.Session.MarkAllSeen();
        EXPECT_EQ(d.Line(), "0 / 3");
        Peer().AddMessages(user, 100, 2);
        d.CheckNow(2);
        EXPECT_EQ(d.Line(), "2 / 5");
        EXPECT_EQ(d.Account.TakeNewMail(), 1);

        // A read message leaves the server: it leaves the seen list as well.
        ASSERT_TRUE(DeleteMessage(user, 1));
        d.CheckNow(3);
        EXPECT_EQ(d.Line(), "2 / 4");
        EXPECT_EQ(d.Account.Session.CopySeenUidls().Count(), 2u);
        EXPECT_EQ(d.Account.TakeNewMail(), 0);
        d.Account.Session.MarkAllSeen();
        d.CheckNow(4);
        EXPECT_EQ(d.Line(), "0 / 4");
        // Every completed check ended with QUIT: the server closed the session itself.
        d.Account.Stop();
        // Dovecot logs a session's end a moment after the client has it.
        std::pair<int, int> after = SessionEnds(user);
        for (int i = 0; i < 100 && after.first - before.first < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            after = SessionEnds(user);
        }
        EXPECT_GE(after.first - before.first, 4); // and one more for DeleteMessage's session
        EXPECT_EQ(after.second, before.second);
    }
}

// Dovecot offers TOP: the new messages' senders and subjects come with the announcement.
TEST(DovecotAccount, NewMailComesWithItsSendersAndSubjects) {
    SKIP_WITHOUT_DOVECOT(Peer());
    const char* const headers[] = {
        "From: Ann Example <ann@example.com>\r\nSubject: Plain subject\r\n",
        "From: \"Bob B.\" <bob@example.com>\r\nSubject: A folded\r\n\tsubject line\r\n",
        "From: =?UTF-8?B?w5xsaQ==?= <uli@example.com>\r\n"
        "Subject: =?UTF-8?B?w5xiZXIgR3LDvMOfZQ==?=\r\n",
        "From: =?ISO-8859-1?Q?Ren=E9?= <rene@example.com>\r\n"
        "Subject: =?ISO-8859-1?Q?Caf=E9_cr=E8me?=\r\n",
        "From: dora@example.com\r\nTo: headers@example.com\r\n",
    };
    for (int i = 0; i < 5; ++i)
        Peer().AddMessage("headers", i + 1, headers[i]);
    DovecotAccount d("headers", "secret", 1);
    d.Account.Start();
    ASSERT_TRUE(d.Sink.WaitFor(1));
    ASSERT_EQ(d.Sink.SeenStatuses()[0], StatusOk);
    CGNewMailNote note;
    EXPECT_EQ(d.Account.TakeNewMail(&note), 1);
    EXPECT_EQ(note.Count, 5);
    std::vector<std::string> shown;
    for (const CGMessageHeaders& h : note.Headers)
        shown.push_back(h.Sender + ": " + h.Subject);
    std::sort(shown.begin(), shown.end()); // in byte order, as these are
    EXPECT_EQ(shown, (std::vector<std::string>{"Ann Example: Plain subject",
                                               "Bob B.: A folded subject line", "René: Café crème",
                                               "dora@example.com: ", "Üli: Über Grüße"}));

    // The details off: the count alone.
    Peer().AddMessage("headers", 6, headers[0]);
    d.Account.FetchHeaders = 0;
    d.CheckNow(2);
    EXPECT_EQ(d.Account.TakeNewMail(&note), 1);
    EXPECT_EQ(note.Count, 1);
    EXPECT_TRUE(note.Headers.empty());
}

TEST(DovecotAccount, WrongPasswordRetriesUntilCorrected) {
    SKIP_WITHOUT_DOVECOT(Peer());
    DovecotAccount d("plain", "wrong", 1);
    d.Account.Start();
    ASSERT_TRUE(d.Sink.WaitFor(2)); // tried again after the short wait
    EXPECT_EQ(d.Sink.SeenStatuses()[0], StatusLoginFailed);
    EXPECT_EQ(d.Sink.SeenStatuses()[1], StatusLoginFailed);
    CGServerSettings s = d.Account.CopySettings();
    s.Password.Assign("secret");
    d.Account.ApplySettings(s);
    // An attempt under way keeps the old password; the one after it logs in.
    for (int calls = d.Sink.Count() + 1; d.Sink.SeenStatuses().back() != StatusOk; ++calls)
        ASSERT_TRUE(d.Sink.WaitFor(calls));
    EXPECT_GT(d.Account.MessageCount(), 0);
    EXPECT_EQ(d.Account.UnreadCount(), d.Account.MessageCount()); // nothing read yet
}

} // namespace
