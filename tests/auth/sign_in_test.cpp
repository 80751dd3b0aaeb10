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

CGSignInResult SignIn(TestBrowser& browser, CGOAuthProvider provider,
                      std::chrono::milliseconds limit = 30s) {
    CGSignInRequest request;
    request.Provider = std::move(provider);
    request.LoginHint = "ann+mail@example.com";
    request.OpenBrowser = browser.Opener();
    request.Limit = limit;
    CGSignIn signIn(request);
    CGSignInResult result = signIn.Run();
    browser.Finish();
    return result;
}

TEST(SignIn, CodeWithPkceForTokensAfterOnlyTheRightRedirect) {
    SKIP_WITHOUT_OAUTH(Peer());
    Peer().Call("/control/reset");
    TestBrowser browser(Peer());
    browser.ForgedState = "not-ours";
    const CGSignInResult r = SignIn(browser, Peer().Provider());
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
    // A sign-in by hand, to exchange its code with another verifier first.
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
    CGPkce other;
    MakePkce(other);
    EXPECT_EQ(tokens.ExchangeCode(code, other.Verifier, listener.RedirectUri(), grant),
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
    const CGSignInResult r = SignIn(browser, provider);
    EXPECT_EQ(r.Result, SignInFailed);
    EXPECT_FALSE(r.Problem.empty());
    EXPECT_EQ(Peer().Count("untrusted"), 0);
    EXPECT_EQ(Peer().Count("codes"), 0);
}

TEST(SignIn, CancelAndTheTimeLimitEndTheWait) {
    SKIP_WITHOUT_OAUTH(Peer());
    TestBrowser browser(Peer());
    browser.Follow = false; // the user closed the browser
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SignIn(browser, Peer().Provider(), 300ms).Result, SignInTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    CGSignInRequest request;
    request.Provider = Peer().Provider();
    request.OpenBrowser = browser.Opener();
    CGSignIn signIn(request);
    std::thread cancel([&] {
        std::this_thread::sleep_for(200ms);
        signIn.Cancel();
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(signIn.Run().Result, SignInCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    cancel.join();
    CGOAuthProvider none = Peer().Provider();
    none.ClientId.clear();
    EXPECT_EQ(SignIn(browser, none).Result, SignInNotAvailable);
}

TEST(TokenRequests, RefreshTokensRotateAndRevocationEndsTheGrant) {
    SKIP_WITHOUT_OAUTH(Peer());
    Peer().Call("/control/reset");
    TestBrowser browser(Peer());
    const CGSignInResult r = SignIn(browser, Peer().Provider());
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
