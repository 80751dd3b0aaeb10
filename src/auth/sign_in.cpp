#include "auth/sign_in.h"

CGSignIn::CGSignIn(CGSignInRequest request)
    : Request(std::move(request)), Tokens(Request.Provider) {}

void CGSignIn::Cancel() {
    Listener.Cancel();
    Tokens.Https.Cancel();
}

CGSignInResult CGSignIn::Run() {
    CGSignInResult result;
    const std::string url = Begin(result);
    if (url.empty())
        return result;
    if (!Request.OpenBrowser || !Request.OpenBrowser(url)) {
        result.Problem = "the browser could not be opened";
        return result;
    }
    return Complete();
}

std::string CGSignIn::Begin(CGSignInResult& result) {
    result = CGSignInResult();
    if (Request.Provider.ClientId.empty()) {
        result.Result = SignInNotAvailable;
        return {};
    }
    if (!MakePkce(Pkce) || !Listener.Open()) {
        result.Problem = "no sign-in could be started on this computer";
        return {};
    }
    return AuthorizationUrl(Request.Provider, Pkce, Listener.RedirectUri(), Request.LoginHint);
}

CGSignInResult CGSignIn::Complete() {
    CGSignInResult result;
    std::string code;
    const int waited = Listener.WaitForCode(Pkce.State, Request.Limit, code, result.Problem);
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
    switch (Tokens.ExchangeCode(code, Pkce.Verifier, Listener.RedirectUri(), result.Grant)) {
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
