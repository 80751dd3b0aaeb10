#pragma once

#include "dialogs/dlg_configure_sign_in.h"
#include "mail/pop3_probe.h"
#include "mail/thread_pop3.h"
#include "toolkit/controls.h"
#include "toolkit/dialog.h"
#include "toolkit/window_extensions.h"
#include "toolkit/wm_handler.h"

#include <functional>
#include <string>

class CAccountList;
class CGAccount;

// The list entries in order: the presets (ProviderPresets), then "Other" (no preset).
constexpr int ProviderOther = ProviderPresetCount;
// The entry whose preset has exactly this host, else ProviderOther.
int ProviderOfHost(const CGText& host);

// What the account details dialog shows: the provider entry, the connection settings and the
// program to open.
struct CAccountForm {
    int Provider = ProviderOther; // an index of ProviderPresets, or ProviderOther
    CGServerSettings Settings;
    CGText MailProgram;
    // The user decided in a box what is known about proving the server shown (a certificate,
    // a setting found, a plain login): Settings' CertPin, StartTls and PlainLogin hold that.
    // Otherwise the account keeps what it knows when OK is pressed.
    int TrustDecided = 0;
    // The sign-in changed in the dialog (signed in, or a provider chosen that needs one, or
    // none any more): Settings' OAuth, OAuthUser and RefreshToken hold it. Otherwise the
    // account keeps its own, with any refresh token its checks received meanwhile.
    int SignInDecided = 0;
};

// What the dialog holds of a sign-in: the account's when it opens, a new one once the user
// signed in (with the access token, for Check).
struct CDialogSignIn {
    std::string Provider; // OAuthMicrosoft, OAuthGoogle; empty: none
    std::string User;
    std::string RefreshToken;
    std::string AccessToken;
};

// The account details dialog (resource 102): server, user name, password, TLS, port, check
// interval and the program to open, with provider presets and a server probe ("Check").
// For a provider that signs in, "Sign in..." takes the password's place: the browser opens
// at the provider's page and the dialog waits (off its thread) for the browser to come back.
// The fields are copies; the account changes only when the user confirms with OK.
class CDlgConfigure : public CGDialog {
public:
    explicit CDlgConfigure(CGWinCore* owner);

    int OnInitDialog(HWND hwnd) override;
    void OnChildNotify(HWND from, UINT code, NMHDR* header) override;
    // Closing ends a sign-in in progress at once.
    void OnDestroy() override;
    // OK: Form becomes what the dialog shows.
    void OnOK() override;
    // Takes the sign-in worker's message. Refuses OK, with a message, while the dialog shows
    // the name of another account.
    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Shows a form in the controls when the dialog opens.
    void WriteControls(const CAccountForm& form);
    // What the controls show now; the one way the dialog reads them.
    CAccountForm ReadControls();

    // Probes the host shown with the user name and password shown (ProbeMailServer),
    // reports in "Check Host" boxes and takes the settings found when the user wants them.
    // A signed-in account logs in with its access token (a new one is fetched first when
    // the dialog has none).
    void Probe();
    // "Sign in...": starts a sign-in, or ends the one in progress.
    void SignInOrCancel();
    // The provider that signs in for what the dialog shows; empty: the password logs in.
    std::string SignInProvider();

    CAccountForm Form; // shown when the dialog opens; after OK, as confirmed
    // Whether another account has this name (AccountName); unset: no other account.
    std::function<bool(const std::string& name)> NameTaken;
    // The server (host, port, TLS) that what is known about proving it (CertPin, StartTls)
    // holds for: the account's at first, the probe's once the user takes what it found. OK
    // keeps that knowledge only when the dialog then shows the same server.
    CGServerSettings Trusted;
    int TrustDecided = 0; // Trusted holds what the user decided in a box
    CGCtrlEditText HostEdit;
    CGCtrlEditText UserEdit;
    CGCtrlEditText PasswordEdit;
    CGCtrlButtonBOOL SslBox;
    CGCtrlEditInt PortEdit;
    CGCtrlEditInt IntervalEdit;
    CGCtrlEditText MailProgramEdit;
    CGWEToolTip ToolTip;
    CGWEWaitCursor WaitCursor;
    CGCtrlCombo ProviderCombo;
    CGCtrlButton CheckButton;
    CGCtrlButton OkButton;
    CGCtrlButton SignInButton;
    // The account's sign-in at first; what the user signed in to since.
    CDialogSignIn SignIn;
    CSignInRun SignInWork;
    CGWMHandler SignInMessage; // posted by the worker
    // A refresh token that a refresh for Check replaced (used, replacement): the account
    // must take it at once, whatever the dialog ends with.
    std::function<void(const std::string&, const std::string&)> KeepRotated;

private:
    // The provider list with its entries.
    void BindProvider();
    // Host, "Check", user name, password, TLS and port, each with its tooltip.
    void BindServerFields();
    void EnableServerFields(bool other);
    void EnableByHost(const CGText& host);
    void ApplyPreset(int provider);
    void SetPort(int port);
    // Form's trust: what the user decided, when the dialog shows the server it holds for.
    void KeepTrustFor(CAccountForm& form) const;
    // The probe's request for the host shown, with what is known about that host.
    CGProbeRequest ProbeRequestFor(const std::string& host, const CAccountForm& shown);
    // After the probe stopped for want of encryption: explains, and when the server's switch
    // failed and the user chooses a plain login anyway, takes it and tries that login.
    void OfferPlainLogin(const CGProbeResult& result, CGProbeRequest request);
    // What the probe found becomes what is known, for the settings it found.
    void TrustFound(const std::string& host, const CGProbeResult& result);
    // The password or the sign-in row, and the line saying who is signed in.
    void ShowSignIn();
    // The worker is done: a sign-in, or the refresh that a Check waits for.
    void SignInFinished();
    // Form's sign-in on OK: what the dialog holds for the provider shown.
    void KeepSignInFor(CAccountForm& form);
    // What the worker does: nothing, a sign-in (for Pending), or a refresh for Check.
    enum { NoWork, SigningIn, RefreshingForCheck } Work = NoWork;
    CDialogSignIn Pending; // the provider and address of the sign-in in progress
    CDialogSignIn Opened;  // the account's sign-in when the dialog opened
    int SignInDecided = 0; // the user signed in here
};

// Runs the details dialog for account with owner as parent; the dialog refuses the name of
// another account of list. On OK the account takes the dialog's values (handed over to its
// thread as a whole) and 1 is returned; otherwise 0.
int EditAccount(CGAccount& account, CGWinCore* owner, const CAccountList* list = nullptr);
