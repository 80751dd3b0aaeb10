#pragma once

#include "mail/pop3_probe.h"
#include "mail/thread_pop3.h"
#include "toolkit/controls.h"
#include "toolkit/dialog.h"
#include "toolkit/window_extensions.h"

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
};

// Runs the details dialog for account with owner as parent; the dialog refuses the name of
// another account of list. On OK the account takes the dialog's values (handed over to its
// thread as a whole) and 1 is returned; otherwise 0.
int EditAccount(CGAccount& account, CGWinCore* owner, const CAccountList* list = nullptr);
