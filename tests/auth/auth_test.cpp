// The pieces of sign-in that need no server: PKCE, reading token replies, the loopback
// listener and the token store.
#include "auth/loopback_listener.h"
#include "auth/pkce.h"
#include "auth/token_client.h"
#include "auth/token_store.h"
#include "config/config_seams.h"
#include "net/socket_platform.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(Pkce, ChallengeOfTheRfcExampleAndFreshValues) {
    // RFC 7636, appendix B.
    EXPECT_EQ(S256Challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    CGPkce a, b;
    ASSERT_EQ(MakePkce(a), 1);
    ASSERT_EQ(MakePkce(b), 1);
    EXPECT_EQ(a.Verifier.size(), 43u);
    EXPECT_NE(a.Verifier, b.Verifier);
    EXPECT_NE(a.State, b.State);
    EXPECT_EQ(a.Challenge, S256Challenge(a.Verifier));
}

TEST(TokenReply, GrantsRefusalsAndWhatIsNoToken) {
    const auto now = std::chrono::steady_clock::now();
    struct Case {
        long Status;
        const char* Body;
        int Result;
        long long Lifetime; // of a granted token
    } cases[] = {
        {200, R"({"access_token":"a","token_type":"Bearer","expires_in":120,"refresh_token":"r"})",
         TokenGranted, 120},
        {200, R"({"access_token":"a","token_type":"bearer","expires_in":"90","x":[{}]})",
         TokenGranted, 90},
        {200, R"({"access_token":"a","token_type":"bearer"})", TokenGranted, 3600},
        {200, R"({"access_token":"a","token_type":"mac"})", TokenFailed, 0},
        {200, R"({"access_token":7,"token_type":"bearer"})", TokenFailed, 0},
        {200, R"({"access_token":"a","token_type":"bearer","expires_in":-5})", TokenFailed, 0},
        {200, R"(["access_token"])", TokenFailed, 0},
        {200, R"({"access_token":"a",)", TokenFailed, 0},
        {400, R"({"error":"invalid_grant","error_description":"AADSTS70000"})", TokenRefused, 0},
        {400, R"({"error":"interaction_required"})", TokenRefused, 0},
        {401, R"({"error":"invalid_client"})", TokenFailed, 0},
        {400, R"({"error":{"code":"invalid_grant"}})", TokenFailed, 0},
        {502, "<html><body>Bad gateway</body></html>", TokenFailed, 0},
    };
    for (const Case& c : cases) {
        CGHttpsReply reply;
        reply.Status = c.Status;
        reply.Body = c.Body;
        CGTokenGrant grant;
        EXPECT_EQ(ReadTokenReply(reply, now, grant), c.Result) << c.Body;
        if (c.Result == TokenGranted) {
            EXPECT_EQ(grant.AccessToken, "a");
            EXPECT_EQ(grant.Expires - now, std::chrono::seconds(c.Lifetime)) << c.Body;
        } else {
            EXPECT_TRUE(grant.AccessToken.empty());
            EXPECT_FALSE(grant.Problem.empty()) << c.Body;
        }
    }
}

TEST(RedirectRequest, PathAndDecodedQuery) {
    std::string path;
    std::map<std::string, std::string> q;
    ASSERT_EQ(ParseRedirectRequest("GET /?code=M.C5%2Bx&state=s%3D+1&state=2#f HTTP/1.1\r\n"
                                   "Host: localhost\r\n\r\n",
                                   path, q),
              1);
    EXPECT_EQ(path, "/");
    EXPECT_EQ(q["code"], "M.C5+x");
    EXPECT_EQ(q["state"], "s= 1"); // the first of a repeated name
    ASSERT_EQ(ParseRedirectRequest("GET /favicon.ico HTTP/1.1\r\n\r\n", path, q), 1);
    EXPECT_EQ(path, "/favicon.ico");
    EXPECT_TRUE(q.empty());
    for (const char* bad : {"", "POST /?code=1 HTTP/1.1\r\n", "GET /?code=1\r\nX: y z\r\n"})
        EXPECT_EQ(ParseRedirectRequest(bad, path, q), 0) << bad;
}

// Sends one request to the listener and returns the status line of its answer.
std::string Visit(std::uint16_t port, const std::string& target,
                  const char* address = "127.0.0.1") {
    CGSocketHandle s = socket_platform::CreateTcp();
    CGSocketAddress to;
    to.Family = 2; // AF_INET
    to.Port = socket_platform::HostToNetwork16(port);
    socket_platform::ResolveIPv4(address, to.Ip);
    std::string answer;
    if (socket_platform::Connect(s, to, 5) == 0) {
        const std::string request = "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
        socket_platform::Send(s, request.data(), static_cast<int>(request.size()));
        char buffer[4096];
        int n;
        while (socket_platform::WaitReadable(s, 5, 0) == 1 &&
               (n = socket_platform::Recv(s, buffer, sizeof buffer)) > 0)
            answer.append(buffer, static_cast<std::size_t>(n));
    }
    socket_platform::CloseSocket(s);
    return answer.substr(0, answer.find("\r\n")) +
           (answer.find("signed in.") != std::string::npos ? " signed in" : "");
}

TEST(LoopbackListener, TakesOnlyTheRedirectWithItsState) {
    CGLoopbackListener listener;
    ASSERT_EQ(listener.Open(), 1);
    EXPECT_EQ(listener.RedirectUri(), "http://localhost:" + std::to_string(listener.Port) + "/");
    std::vector<std::string> answers;
    std::thread browser([&] {
        for (const char* target : {"/favicon.ico", "/?code=c&state=wrong", "/?code=c",
                                   "/other?code=c&state=s1", "/?code=the-code&state=s1"})
            answers.push_back(Visit(listener.Port, target));
    });
    std::string code, problem;
    EXPECT_EQ(listener.WaitForCode("s1", 20s, code, problem), RedirectCode);
    browser.join();
    EXPECT_EQ(code, "the-code");
    std::vector<std::string> expected(4, "HTTP/1.1 404 Not Found");
    expected.push_back("HTTP/1.1 200 OK signed in");
    EXPECT_EQ(answers, expected);
#ifndef _WIN32
    // Bound to 127.0.0.1 alone: another loopback address finds nobody.
    EXPECT_EQ(Visit(listener.Port, "/?code=c&state=s1", "127.0.0.2"), "");
#endif
    // A declined consent comes back with the state and an error: the wait ends there.
    std::thread declined([&] {
        Visit(listener.Port, "/?error=access_denied&error_description=no+thanks&state=s2");
    });
    EXPECT_EQ(listener.WaitForCode("s2", 20s, code, problem), RedirectRefused);
    declined.join();
    EXPECT_EQ(problem, "access_denied: no thanks");
}

// Without a timely end, either wait would outlast the test's time limit.
TEST(LoopbackListener, TimeLimitAndCancelEndTheWait) {
    CGLoopbackListener listener;
    ASSERT_EQ(listener.Open(), 1);
    std::string code, problem;
    EXPECT_EQ(listener.WaitForCode("s", 300ms, code, problem), RedirectTimedOut);
    std::thread cancel([&] {
        std::this_thread::sleep_for(200ms);
        listener.Cancel();
    });
    EXPECT_EQ(listener.WaitForCode("s", 1h, code, problem), RedirectCancelled);
    cancel.join();
    listener.Close();
    EXPECT_EQ(listener.WaitForCode("s", 1h, code, problem), RedirectFailed);
}

TEST(TokenStore, NeverInTheClearAndOnlyForItsUser) {
    TempDir home;
    ScopedSeams<CConfigSeams> seams(ConfigSeams);
    seams->DataFolder = home.Path();
    const std::string secret = "M.C5_BAY.0.U.-refresh-token-of-some-length";
    const std::string stored = ProtectToken(secret);
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.find("refresh-token"), std::string::npos);
    EXPECT_NE(ProtectToken(secret), stored); // fresh randomness every time
    std::string back;
    EXPECT_EQ(UnprotectToken(stored, back), 1);
    EXPECT_EQ(back, secret);
    // Changed where the data-protection API keeps its seal (as good as another user's).
    std::string changed = stored;
    char& c = changed[changed.size() - 8];
    c = c == 'A' ? 'B' : 'A';
    EXPECT_EQ(UnprotectToken(changed, back), 0);
    EXPECT_TRUE(back.empty());
    EXPECT_EQ(UnprotectToken("", back), 0);
#ifndef _WIN32
    // Another user's key (on Windows, another user's data-protection key).
    TempDir other;
    seams->DataFolder = other.Path();
    EXPECT_EQ(UnprotectToken(stored, back), 0);
#endif
}

} // namespace
