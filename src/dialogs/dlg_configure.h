#pragma once

#include "mail/thread_pop3.h"
#include "toolkit/controls.h"
#include "toolkit/dialog.h"
#include "toolkit/window_extensions.h"

#include <functional>
#include <string>

class CAccountList;
class CGAccount;

// One provider of the list: its entry, POP3 host and web-mail address.
struct CProviderPreset {
    const char* Entry;
    const char* Host;
    const char* WebMail;
};
// The list entries in order: the two presets, then "Other" (index 2, no preset).
extern const CProviderPreset ProviderPresets[2];
constexpr int ProviderOther = 2;
// The entry whose preset has exactly this host, else ProviderOther.
int ProviderOfHost(const CGText& host);

// What the account details dialog shows: the provider entry, the connection settings and the
// program to open.
struct CAccountForm {
    int Provider = ProviderOther; // an index of ProviderPresets, or ProviderOther
    CGServerSettings Settings;
    CGText MailProgram;
};

// The account details dialog (resource 102): server, user name, password, TLS, port, check
// interval and the program to open, with provider presets and a server probe ("Check").
// The fields are copies; the account changes only when the user confirms with OK.
class CDlgConfigure : public CGDialog {
public:
    explicit CDlgConfigure(CGWinCore* owner);

    int OnInitDialog(HWND hwnd) override;
    void OnChildNotify(HWND from, UINT code, NMHDR* header) override;
    // OK: Form becomes what the dialog shows.
    void OnOK() override;
    // Refuses OK, with a message, while the dialog shows the name of another account.
    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Shows a form in the controls when the dialog opens.
    void WriteControls(const CAccountForm& form);
    // What the controls show now; the one way the dialog reads them.
    CAccountForm ReadControls();

    // Probes the host shown with the user name and password shown (ProbeMailServer),
    // reports in "Check Host" boxes and takes the settings found when the user wants them.
    void Probe();

    CAccountForm Form; // shown when the dialog opens; after OK, as confirmed
    // Whether another account has this name (AccountName); unset: no other account.
    std::function<bool(const std::string& name)> NameTaken;
    // The server (host, port, TLS) that what is known about proving it (CertPin, StartTls)
    // holds for: the account's at first, the probe's once the user takes what it found. OK
    // keeps that knowledge only when the dialog then shows the same server.
    CGServerSettings Trusted;
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

private:
    // The provider list with its entries.
    void BindProvider();
    // Host, "Check", user name, password, TLS and port, each with its tooltip.
    void BindServerFields();
    void EnableServerFields(bool other);
    void EnableByHost(const CGText& host);
    void ApplyPreset(int provider);
    void SetPort(int port);
    // Form.Settings' trust when the dialog shows the server it holds for, else none.
    void KeepTrustFor(CGServerSettings& shown) const;
};

// Runs the details dialog for account with owner as parent; the dialog refuses the name of
// another account of list. On OK the account takes the dialog's values (handed over to its
// thread as a whole) and 1 is returned; otherwise 0.
int EditAccount(CGAccount& account, CGWinCore* owner, const CAccountList* list = nullptr);
