// Signed-in accounts against real peers: oauthlib's authorization server and a Dovecot that
// takes its tokens through SASL XOAUTH2 and checks each at the server's introspection
// endpoint, as tests/support/oauth_peer.py runs them around this binary.
#include "auth/sign_in.h"
#include "mail/account.h"
#include "mail/pop3_probe.h"
#include "support/counting_sink.h"
#include "support/oauth_peer.h"
#include "support/pop3_script_server.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

const char* const User = "alice@example.com"; // three messages, no password

const OAuthPeer& Peer() {
    static const OAuthPeer peer = OAuthPeer::FromEnvironment();
    return peer;
}

// The server as it started, the accounts' provider.
void Reset() {
    Peer().Call("/control/reset");
    ReplaceOAuthProvider(Peer().Provider());
}

// A fresh sign-in of User.
CGTokenGrant SignedIn() {
    Reset();
    TestBrowser browser(Peer());
    const CGSignInResult r = browser.SignIn(Peer().Provider(), User);
    EXPECT_EQ(r.Result, SignInDone) << r.Problem;
    return r.Grant;
}

TEST(Xoauth2, CheckLogsInWithTheTokenAndNeverWithout) {
    SKIP_WITHOUT_OAUTH(Peer());
    const CGTokenGrant grant = SignedIn();
    // "Check" of the details dialog logs in with the token on port 995.
    CGProbeRequest probe;
    probe.Host = "mail.probe.test";
    probe.User = User;
    probe.Bearer = grant.AccessToken.c_str();
    probe.Net.Resolve = [](const char*, int port) {
        return DefaultNetEnvironment().Resolve(
            "127.0.0.1", port == ProbeTlsPort ? Peer().Dovecot.TlsPort : Peer().Dovecot.PlainPort);
    };
    CGProbeResult found = ProbeMailServer(probe);
    EXPECT_TRUE(found.Found && found.UseSSL && found.LoginAccepted);
    for (const char* refused : {"not-a-token", ""}) { // "": no sign-in yet, nothing is sent
        probe.Bearer = refused;
        found = ProbeMailServer(probe);
        EXPECT_TRUE(found.Found && !found.LoginAccepted && found.TokenRefused) << refused;
    }
}

TEST(Xoauth2, NoTokenWithoutEncryption) {
    std::vector<std::string> lines;
    ScriptedPop3Server server([&](ScriptedPop3Server::Connection& c) {
        c.CapaReply = "+OK\r\nSASL PLAIN XOAUTH2\r\n.\r\n";
        c.Send("+OK hi\r\n");
        std::string line;
        while (c.ReadLine(line, 2000))
            lines.push_back(line);
    });
    CGPOP3Session session;
    CGTlsGate gate;
    EXPECT_EQ(session.Dialogue.Visit("127.0.0.1", server.Port(), 0, User, "pw", gate, "token"),
              Pop3Unencrypted);
    session.Close();
    server.Stop();
    EXPECT_TRUE(lines.empty()); // CAPA alone, answered by the server's connection
}

struct SignedInAccount {
    CountingSink Sink; // declared first: it must outlive the account's thread
    CGAccount Account{0x8000};

    explicit SignedInAccount(const std::string& refreshToken) {
        CGServerSettings s;
        s.Server.Assign("127.0.0.1");
        s.Username.Assign(User);
        s.Port = Peer().Dovecot.TlsPort;
        s.CheckMinutes = 100000; // only check-now starts another check
        s.OAuth = OAuthMicrosoft;
        s.OAuthUser = User;
        s.RefreshToken = refreshToken;
        Account.ApplySettings(s);
        Account.TickMilliseconds = 20;
        Sink.StatusSource = &Account.Status;
        Sink.WaitSource = &Account.LastWaitTicks;
        Account.NotifySink = &Sink;
        Account.Start();
    }
    // The status of check number n.
    int Check(int n) {
        if (n > 1)
            Account.RequestCheckNow();
        return Sink.WaitFor(n) ? Sink.SeenStatuses()[n - 1] : StatusChecking;
    }
};

TEST(SignedInAccount, ChecksWithTokensRefreshedWhenDueAndKeepsTheRotatedOne) {
    SKIP_WITHOUT_OAUTH(Peer());
    const CGTokenGrant grant = SignedIn();
    Peer().Call("/control/lifetime?seconds=30"); // always due within a minute
    SignedInAccount a(grant.RefreshToken);
    ASSERT_EQ(a.Check(1), StatusOk);
    EXPECT_EQ(a.Account.MessageCount(), 3);
    EXPECT_EQ(Peer().Count("refreshes"), 1);
    // The provider replaced the refresh token: the account holds the new one, to be stored.
    EXPECT_EQ(Peer().RefreshTokens(),
              std::vector<std::string>{a.Account.CopySettings().RefreshToken});
    EXPECT_EQ(a.Account.TakeTrustLearned(), 1);
    ASSERT_EQ(a.Check(2), StatusOk);
    EXPECT_EQ(Peer().Count("refreshes"), 2);
    Peer().Call("/control/lifetime?seconds=3600");
    ASSERT_EQ(a.Check(3), StatusOk); // the last 30-second token was due
    ASSERT_EQ(a.Check(4), StatusOk); // this one is not
    EXPECT_EQ(Peer().Count("refreshes"), 3);
    // A token the server stops taking before its time: one refresh, a new connection.
    Peer().Call("/control/expire-access");
    ASSERT_EQ(a.Check(5), StatusOk);
    EXPECT_EQ(Peer().Count("refreshes"), 4);
    EXPECT_EQ(a.Account.Session.MessageCount(), 3);
}

TEST(SignedInAccount, AnEndedOrUnreadableSignInAsksOncePerInterval) {
    SKIP_WITHOUT_OAUTH(Peer());
    Reset();
    {
        SignedInAccount unread(""); // as after a token protected for another user
        EXPECT_EQ(unread.Check(1), StatusSignInNeeded);
        EXPECT_EQ(unread.Sink.SeenWaits().back(), 100000LL * 60);
        EXPECT_EQ(Peer().Count("requests"), 0); // asks without a request
    }
    const CGTokenGrant grant = SignedIn();
    SignedInAccount a(grant.RefreshToken);
    ASSERT_EQ(a.Check(1), StatusOk);
    Peer().Call("/control/revoke");
    const long before = Peer().Count("requests");
    // The access token is refused, the one refresh is refused: no loop, the normal interval.
    EXPECT_EQ(a.Check(2), StatusSignInNeeded);
    EXPECT_EQ(a.Sink.SeenWaits().back(), 100000LL * 60);
    EXPECT_EQ(Peer().Count("requests"), before + 1);
    a.Account.UpdateStatusText();
    EXPECT_STREQ(a.Account.StatusText, "Sign-in needed");
    EXPECT_EQ(a.Check(3), StatusSignInNeeded);
    EXPECT_EQ(Peer().Count("requests"), before + 2);
    EXPECT_EQ(a.Account.TakeNewMail(), 1); // the first check's mail stays
}

} // namespace
