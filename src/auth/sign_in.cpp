#include "auth/sign_in.h"

#include "auth/pkce.h"

CGSignIn::CGSignIn(CGSignInRequest request)
    : Request(std::move(request)), Tokens(Request.Provider) {}

void CGSignIn::Cancel() {
    Listener.Cancel();
    Tokens.Https.Cancel();
}

CGSignInResult CGSignIn::Run() {
    CGSignInResult result;
    if (Request.Provider.ClientId.empty()) {
        result.Result = SignInNotAvailable;
        return result;
    }
    CGPkce pkce;
    if (!MakePkce(pkce) || !Listener.Open()) {
        result.Problem = "no sign-in could be started on this computer";
        return result;
    }
    const std::string redirect = Listener.RedirectUri();
    if (!Request.OpenBrowser || !Request.OpenBrowser(AuthorizationUrl(
                                    Request.Provider, pkce, redirect, Request.LoginHint))) {
        result.Problem = "the browser could not be opened";
        return result;
    }
    std::string code;
    const int waited = Listener.WaitForCode(pkce.State, Request.Limit, code, result.Problem);
    Listener.Close(); // exactly one redirect: nothing more is taken
    switch (waited) {
    case RedirectCode:
        break;
    case RedirectTimedOut:
        result.Result = SignInTimedOut;
        return result;
    case RedirectCancelled:
        result.Result = SignInCancelled;
        return result;
    default:
        return result;
    }
    switch (Tokens.ExchangeCode(code, pkce.Verifier, redirect, result.Grant)) {
    case TokenGranted:
        result.Result = result.Grant.RefreshToken.empty() ? SignInFailed : SignInDone;
        if (result.Result != SignInDone)
            result.Problem = "the provider granted no lasting sign-in";
        break;
    case TokenCancelled:
        result.Result = SignInCancelled;
        break;
    default:
        result.Problem = result.Grant.Problem;
        break;
    }
    return result;
}
