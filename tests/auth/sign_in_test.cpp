// Sign-in and token requests against a real authorization server: oauthlib's, as
// tests/support/oauth_peer.py runs it around this binary.
#include "auth/pkce.h"
#include "auth/sign_in.h"
#include "support/oauth_peer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

const OAuthPeer& Peer() {
    static const OAuthPeer peer = OAuthPeer::FromEnvironment();
    return peer;
}

TEST(SignIn, CodeWithPkceForTokensAfterOnlyTheRightRedirect) {
    SKIP_WITHOUT_OAUTH(Peer());
    Peer().Call("/control/reset");
    TestBrowser browser(Peer());
    browser.ForgedState = "not-ours";
    const CGSignInResult r = browser.SignIn(Peer().Provider(), "ann+mail@example.com");
    ASSERT_EQ(r.Result, SignInDone) << r.Problem;
    EXPECT_FALSE(r.Grant.AccessToken.empty());
    EXPECT_EQ(Peer().RefreshTokens(), std::vector<std::string>{r.Grant.RefreshToken});
    EXPECT_EQ(Peer().Authorized("code_challenge_method"), "S256");
    EXPECT_EQ(Peer().Authorized("login_hint"), "ann+mail@example.com");
    EXPECT_EQ(Peer().Authorized("scope"), "pop offline_access");
    // The forged redirect got an error page and the wait went on.
    const std::vector<std::string> pages = browser.Pages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].substr(0, 4), "404 ");
    EXPECT_NE(pages[1].find("Varnocle is signed in. You can close this tab."), std::string::npos)
        << pages[1];
}

TEST(SignIn, TheServerChecksTheVerifier) {
    SKIP_WITHOUT_OAUTH(Peer());
    // A sign-in by hand, to exchange its code with a wrong verifier first: the challenge.
    CGPkce pkce;
    ASSERT_EQ(MakePkce(pkce), 1);
    CGLoopbackListener listener;
    ASSERT_EQ(listener.Open(), 1);
    TestBrowser browser(Peer());
    browser.Open(AuthorizationUrl(Peer().Provider(), pkce, listener.RedirectUri(), "ann"));
    std::string code, problem;
    ASSERT_EQ(listener.WaitForCode(pkce.State, 30s, code, problem), RedirectCode);
    browser.Finish();
    CGTokenClient tokens(Peer().Provider());
    CGTokenGrant grant;
    EXPECT_EQ(tokens.ExchangeCode(code, pkce.Challenge, listener.RedirectUri(), grant),
              TokenRefused);
    EXPECT_EQ(tokens.ExchangeCode(code, pkce.Verifier, listener.RedirectUri(), grant),
              TokenGranted);
}

TEST(SignIn, AnUntrustedTokenEndpointGetsNoCode) {
    SKIP_WITHOUT_OAUTH(Peer());
    Peer().Call("/control/reset");
    CGOAuthProvider provider = Peer().Provider();
    provider.TokenUrl = Peer().UntrustedUrl + "/token";
    TestBrowser browser(Peer());
    const CGSignInResult r = browser.SignIn(provider);
    EXPECT_EQ(r.Result, SignInFailed);
    EXPECT_FALSE(r.Problem.empty());
    EXPECT_EQ(Peer().Count("untrusted"), 0);
    EXPECT_EQ(Peer().Count("codes"), 0);
}

// Without a timely end, either wait would outlast the test's time limit.
TEST(SignIn, CancelAndTheTimeLimitEndTheWait) {
    SKIP_WITHOUT_OAUTH(Peer());
    TestBrowser browser(Peer());
    browser.Follow = false; // the user closed the browser
    EXPECT_EQ(browser.SignIn(Peer().Provider(), "", 300ms).Result, SignInTimedOut);
    CGSignIn signIn(browser.Request(Peer().Provider(), "", 1h));
    std::thread cancel([&] {
        std::this_thread::sleep_for(200ms);
        signIn.Cancel();
    });
    EXPECT_EQ(signIn.Run().Result, SignInCancelled);
    cancel.join();
    CGOAuthProvider none = Peer().Provider();
    none.ClientId.clear();
    EXPECT_EQ(browser.SignIn(none).Result, SignInNotAvailable);
}

TEST(TokenRequests, RefreshTokensRotateAndRevocationEndsTheGrant) {
    SKIP_WITHOUT_OAUTH(Peer());
    Peer().Call("/control/reset");
    TestBrowser browser(Peer());
    const CGSignInResult r = browser.SignIn(Peer().Provider());
    ASSERT_EQ(r.Result, SignInDone) << r.Problem;
    CGTokenClient tokens(Peer().Provider());
    CGTokenGrant renewed;
    ASSERT_EQ(tokens.Refresh(r.Grant.RefreshToken, renewed), TokenGranted);
    EXPECT_NE(renewed.RefreshToken, r.Grant.RefreshToken);
    EXPECT_NE(renewed.AccessToken, r.Grant.AccessToken);
    CGTokenGrant again;
    EXPECT_EQ(tokens.Refresh(r.Grant.RefreshToken, again), TokenRefused); // replaced
    Peer().Call("/control/revoke");
    EXPECT_EQ(tokens.Refresh(renewed.RefreshToken, again), TokenRefused);
    EXPECT_NE(again.Problem.find("invalid_grant"), std::string::npos) << again.Problem;
}

TEST(TokenRequests, OddRepliesFailClearlyOrAreRead) {
    SKIP_WITHOUT_OAUTH(Peer());
    CGTokenClient tokens(Peer().Provider());
    CGTokenGrant grant;
    tokens.Provider.TokenUrl = Peer().Url + "/broken/html";
    EXPECT_EQ(tokens.Refresh("r", grant), TokenFailed);
    EXPECT_NE(grant.Problem.find("HTTP 502, text/html"), std::string::npos) << grant.Problem;
    tokens.Provider.TokenUrl = Peer().Url + "/broken/huge"; // chunked, beyond any token
    EXPECT_EQ(tokens.Refresh("r", grant), TokenFailed);
    tokens.Provider.TokenUrl = Peer().Url + "/broken/extra"; // chunked, with fields unknown
    EXPECT_EQ(tokens.Refresh("r", grant), TokenGranted) << grant.Problem;
    EXPECT_EQ(grant.RefreshToken, "rt");
    tokens.Provider.TokenUrl = Peer().Control + "/token"; // plain HTTP is never used
    EXPECT_EQ(tokens.Refresh("r", grant), TokenUnreachable);
}

} // namespace
