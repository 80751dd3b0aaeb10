#pragma once

#include "auth/loopback_listener.h"
#include "auth/oauth_provider.h"
#include "auth/pkce.h"
#include "auth/token_client.h"

#include <chrono>
#include <functional>
#include <string>

// How a sign-in ended.
enum : int {
    SignInDone = 1,
    SignInTimedOut = 0, // nobody came back from the browser in time
    SignInCancelled = -1,
    SignInNotAvailable = -2, // the provider has no client ID for this program
    SignInFailed = -3,       // no listener or browser, a declined consent, a refused code, or
                             // a token endpoint that could not be reached securely
};

struct CGSignInRequest {
    CGOAuthProvider Provider;
    std::string LoginHint; // the address the user typed
    // Shows url in the user's browser; 1 when a browser was asked to.
    std::function<int(const std::string& url)> OpenBrowser;
    std::chrono::milliseconds Limit = std::chrono::minutes(5);
};

struct CGSignInResult {
    int Result = SignInFailed;
    CGTokenGrant Grant;  // with SignInDone: the first access and refresh tokens
    std::string Problem; // otherwise, when known: why, for the user
};

// One sign-in with the authorization code grant and PKCE, in the system browser (RFC 6749,
// 7636, 8252): a loopback listener, the provider's page in the browser, the one redirect that
// carries this sign-in's state, and the code exchanged for tokens with the verifier. Blocks
// its thread (never the user interface's); Cancel() ends it at once from any other thread.
class CGSignIn {
public:
    explicit CGSignIn(CGSignInRequest request);
    // The whole sign-in: Begin, Request.OpenBrowser, Complete.
    CGSignInResult Run();
    // Listens for the redirect; the address of the provider's page to open in the browser,
    // or empty (with result saying why) when no sign-in can start.
    std::string Begin(CGSignInResult& result);
    // After Begin and the browser: waits for the redirect and exchanges the code.
    CGSignInResult Complete();
    void Cancel();

private:
    CGSignInRequest Request;
    CGPkce Pkce;
    CGLoopbackListener Listener;
    CGTokenClient Tokens;
};
