#include "dialogs/dlg_configure_sign_in.h"

#include "config/ini_text.h"
#include "dialogs/dlg_configure.h"
#include "resources/dialog_ids.h"
#include "toolkit/toolkit_seams.h"
#include "toolkit/win_support.h"

#include <cstring>

namespace {

const char* const Title = "Sign in";

} // namespace

std::string CSignInRun::Begin(CGSignInRequest request) {
    Stop();
    SignIn = std::make_unique<CGSignIn>(std::move(request));
    return SignIn->Begin(Outcome);
}

void CSignInRun::Wait(HWND dialog, UINT message) {
    // The worker's own object: the dialog may stop it, never destroy it, while it runs.
    CGSignIn* signIn = SignIn.get();
    Run(dialog, message, [signIn] { return signIn->Complete(); });
}

void CSignInRun::Refresh(HWND dialog, UINT message, const CGOAuthProvider& provider,
                         const std::string& refreshToken) {
    Stop();
    Tokens = std::make_unique<CGTokenClient>(provider);
    CGTokenClient* tokens = Tokens.get();
    Run(dialog, message, [tokens, refreshToken] {
        CGSignInResult r;
        const int granted = tokens->Refresh(refreshToken, r.Grant);
        r.Result = granted == TokenGranted     ? SignInDone
                   : granted == TokenCancelled ? SignInCancelled
                                               : SignInFailed;
        r.Problem = r.Grant.Problem;
        return r;
    });
}

void CSignInRun::Run(HWND dialog, UINT message, std::function<CGSignInResult()> work) {
    Worker = std::thread([this, work = std::move(work), dialog, message] {
        try {
            Outcome = work();
        } catch (...) {
            Outcome = CGSignInResult(); // no exception leaves the thread
        }
        PostMessageA(dialog, message, 0, 0);
    });
}

void CSignInRun::Stop() {
    if (SignIn)
        SignIn->Cancel();
    if (Tokens)
        Tokens->Https.Cancel();
    if (Worker.joinable())
        Worker.join();
}

CGSignInResult CSignInRun::Take() {
    if (Worker.joinable())
        Worker.join();
    SignIn.reset();
    Tokens.reset();
    return Outcome;
}

void ReportNoClientId(HWND owner, const std::string& provider) {
    const std::string name = provider == OAuthGoogle ? "Google" : "Microsoft";
    const std::string text =
        name + " lets only registered programs sign in, and this copy of Varnocle was built " +
        "without a " + name + " client ID.\n\nRegister Varnocle with " + name +
        " (it is free) and put the client ID into varnocle.ini, section [oauth], key \"" +
        provider + "-client-id\". The README (\"Signing in with Microsoft or Google\") " +
        "explains the steps.";
    ToolkitMessageBox(owner, text.c_str(), Title, MB_OK | MB_ICONINFORMATION);
}

void ReportSignIn(HWND owner, const CGSignInResult& result) {
    std::string text;
    switch (result.Result) {
    case SignInDone:
    case SignInCancelled:
        return;
    case SignInTimedOut:
        text = "Nobody came back from the browser within five minutes: you are not signed in.";
        break;
    default:
        text = "The sign-in did not succeed";
        text += result.Problem.empty() ? "." : " (" + result.Problem + ").";
        break;
    }
    ToolkitMessageBox(owner, text.c_str(), Title, MB_OK | MB_ICONWARNING);
}

// The sign-in side of the account dialog.

std::string CDlgConfigure::SignInProvider() {
    const int provider = ProviderCombo.Read();
    if (provider < 0 || provider >= ProviderOther)
        return Opened.Provider; // another server keeps the sign-in it had
    const char* oauth = ProviderPresets[provider].OAuth;
    // Microsoft takes no passwords any more; Google takes app passwords, unless this program
    // can sign in there.
    if (oauth &&
        (std::strcmp(oauth, OAuthMicrosoft) == 0 || !FindOAuthProvider(oauth).ClientId.empty()))
        return oauth;
    return {};
}

void CDlgConfigure::ShowSignIn() {
    const std::string provider = SignInProvider();
    const bool signs = !provider.empty();
    ShowWindow(PasswordEdit.Handle, signs ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(Handle, IDC_PASSWORD_LABEL), signs ? SW_HIDE : SW_SHOW);
    ShowWindow(SignInButton.Handle, signs ? SW_SHOW : SW_HIDE);
    std::string line;
    if (Work == SigningIn)
        line = "Waiting for the browser...";
    else if (Work == RefreshingForCheck)
        line = "Signing in for Check...";
    else if (signs)
        line = SignIn.Provider == provider && !SignIn.RefreshToken.empty()
                   ? "Signed in as " + SignIn.User
                   : std::string("Not signed in");
    SetDlgItemTextA(Handle, IDC_SIGNED_IN, line.c_str());
    SetWindowTextA(SignInButton.Handle, Work == SigningIn ? "Cancel" : "Sign in...");
}

void CDlgConfigure::SignInOrCancel() {
    if (Work != NoWork) {
        SignInWork.Stop();
        SignInWork.Take();
        Work = NoWork;
        ShowSignIn();
        return;
    }
    const std::string provider = SignInProvider();
    CGSignInRequest request;
    request.Provider = FindOAuthProvider(provider);
    request.LoginHint = CGIniText::Trim(UserEdit.Read().GetOrEmpty());
    if (request.Provider.ClientId.empty()) {
        ReportNoClientId(Handle, provider);
        return;
    }
    if (request.LoginHint.empty()) {
        ToolkitMessageBox(Handle,
                          "Type your e-mail address as the user name first: the "
                          "sign-in is for that address.",
                          "Sign in", MB_OK);
        return;
    }
    Pending = {provider, request.LoginHint, {}, {}};
    const std::string url = SignInWork.Begin(request);
    // The browser opens from this thread, where the shell expects it; the wait does not.
    if (url.empty() || reinterpret_cast<INT_PTR>(ToolkitSeams.ShellExecute(
                           Handle, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) <= 32) {
        SignInWork.Stop();
        CGSignInResult failed = SignInWork.Take();
        if (failed.Problem.empty())
            failed.Problem = "the browser could not be opened";
        ReportSignIn(Handle, failed);
        return;
    }
    Work = SigningIn;
    SignInWork.Wait(Handle, SignInMessage.MessageId);
    ShowSignIn();
}

void CDlgConfigure::SignInFinished() {
    const auto work = Work;
    if (work == NoWork)
        return; // cancelled: taken already
    Work = NoWork;
    const CGSignInResult r = SignInWork.Take();
    if (r.Result == SignInDone) {
        if (work == SigningIn) {
            SignIn = Pending;
            SignInDecided = 1;
        } else if (!r.Grant.RefreshToken.empty() && r.Grant.RefreshToken != SignIn.RefreshToken &&
                   KeepRotated) {
            KeepRotated(SignIn.RefreshToken, r.Grant.RefreshToken);
        }
        if (!r.Grant.RefreshToken.empty())
            SignIn.RefreshToken = r.Grant.RefreshToken;
        SignIn.AccessToken = r.Grant.AccessToken;
    }
    ShowSignIn();
    if (work == RefreshingForCheck && r.Result == SignInDone)
        Probe();
    else
        ReportSignIn(Handle, r);
}

void CDlgConfigure::KeepSignInFor(CAccountForm& form) {
    const std::string provider = SignInProvider();
    CGServerSettings& s = form.Settings;
    const bool held = !provider.empty() && SignIn.Provider == provider;
    s.OAuth = provider;
    // A provider shown without a sign-in for it asks for one at the first check.
    s.OAuthUser = held               ? SignIn.User
                  : provider.empty() ? std::string()
                                     : CGIniText::Trim(s.Username.GetOrEmpty());
    s.RefreshToken = held ? SignIn.RefreshToken : std::string();
    form.SignInDecided =
        SignInDecided || s.OAuth != Opened.Provider || s.OAuthUser != Opened.User ? 1 : 0;
}

void CDlgConfigure::OnDestroy() {
    SignInWork.Stop();
    Work = NoWork;
    CGDialog::OnDestroy();
}
