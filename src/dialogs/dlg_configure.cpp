#include "dialogs/dlg_configure.h"

#include "config/ini_text.h"

#include "dialogs/dlg_configure_probe.h"
#include "mail/account.h"
#include "mail/account_list.h"
#include "mail/pop3_probe.h"
#include "resources/dialog_ids.h"
#include "toolkit/win_support.h"

#include <cstring>

namespace {

const char* const MailProgramTip =
    "Path to your mail program, activated when you double click on varnocle. Can be a web "
    "address if you use webmail: e.g.\n  https://mail.google.com/\nor the path of your mail "
    "program: e.g:\n  c:\\program files\\... ";

// A host name has no blanks; one typed or pasted at either end would fail every lookup.
CGServerSettings WithTrimmedHost(const CGServerSettings& settings) {
    CGServerSettings trimmed = settings;
    trimmed.Server.Assign(CGIniText::Trim(settings.Server.GetOrEmpty()).c_str());
    return trimmed;
}

// As OK takes them: blanks at either end of the user name would go to the server too.
CGServerSettings WithTrimmedNames(const CGServerSettings& settings) {
    CGServerSettings trimmed = WithTrimmedHost(settings);
    trimmed.Username.Assign(CGIniText::Trim(settings.Username.GetOrEmpty()).c_str());
    return trimmed;
}

} // namespace

int ProviderOfHost(const CGText& host) {
    for (int i = 0; i < ProviderPresetCount; ++i)
        if (std::strcmp(host.GetOrEmpty(), ProviderPresets[i].Host) == 0)
            return i;
    return ProviderOther;
}

CDlgConfigure::CDlgConfigure(CGWinCore* owner) : CGDialog(owner) {
    HostEdit.MaxLength = 256;
    UserEdit.MaxLength = 256;
    PasswordEdit.MaxLength = 256;
    MailProgramEdit.MaxLength = 256;
    PortEdit.Min = 1;
    PortEdit.Max = 999999;
    IntervalEdit.Min = 1;
    IntervalEdit.Max = 99999;
}

void CDlgConfigure::EnableServerFields(bool other) {
    EnableWindow(HostEdit.Handle, other);
    EnableWindow(SslBox.Handle, other);
    EnableWindow(PortEdit.Handle, other);
}

void CDlgConfigure::EnableByHost(const CGText& host) {
    // Blanks alone are no host: OK drops them.
    bool any = !CGIniText::Trim(host.GetOrEmpty()).empty();
    EnableWindow(CheckButton.Handle, any);
    EnableWindow(OkButton.Handle, any);
}

void CDlgConfigure::SetPort(int port) {
    PortEdit.Write(port);
}

void CDlgConfigure::BindProvider() {
    BindItem(ProviderCombo, IDC_PROVIDER);
    for (const CProviderPreset& p : ProviderPresets)
        ProviderCombo.AddEntry(p.Entry);
    ProviderCombo.AddEntry("Other");
    ToolTip.AddTool(&ProviderCombo, "Your email provider. If not in the list, just select "
                                    "\"Other\" and enter the details manually");
}

void CDlgConfigure::BindServerFields() {
    BindItem(HostEdit, IDC_HOST);
    ToolTip.AddTool(&HostEdit, "Your email server name or IP Address");
    BindItem(CheckButton, IDC_CHECK_HOST);
    ToolTip.AddTool(&CheckButton, "Attempt to connect using the details shown");
    BindItem(UserEdit, IDC_USER);
    ToolTip.AddTool(&UserEdit, "Your email username, used to log into the server");
    BindItem(PasswordEdit, IDC_PASSWORD);
    ToolTip.AddTool(&PasswordEdit, "Your email password, used to log into the server. Google "
                                   "needs an app password (with 2-Step Verification on)");
    BindItem(SignInButton, IDC_SIGN_IN);
    ToolTip.AddTool(&SignInButton, "Sign in with your provider in your browser. Varnocle keeps "
                                   "the sign-in, never your password");
    BindItem(SslBox, IDC_SSL);
    ToolTip.AddTool(&SslBox, "Should the conversation with the server be encrypted. Better to "
                             "use this, as long as your server supports SSL");
    BindItem(PortEdit, IDC_PORT);
    ToolTip.AddTool(&PortEdit, "The port number on the server to connect to. Usually 995 for a "
                               "secured connection or 110 for unsecured.");
}

int CDlgConfigure::OnInitDialog(HWND) {
    AddExtension(&ToolTip);
    AddExtension(&WaitCursor);
    ToolTip.Attach(this);
    WaitCursor.Attach(this);
    BindProvider();
    BindServerFields();
    BindItem(IntervalEdit, IDC_INTERVAL);
    ToolTip.AddTool(&IntervalEdit, "How often to check for new emails in minutes... ");
    BindItem(MailProgramEdit, IDC_MAIL_PROGRAM);
    ToolTip.AddTool(&MailProgramEdit, MailProgramTip);
    BindItem(OkButton, IDOK);
    Trusted = WithTrimmedHost(Form.Settings);
    Opened = {Form.Settings.OAuth, Form.Settings.OAuthUser, Form.Settings.RefreshToken, {}};
    SignIn = Opened;
    WriteControls(Form);
    // A field may hold less than it was given (a host beyond its limit): the enabling
    // follows what the dialog shows.
    const CAccountForm shown = ReadControls();
    EnableByHost(shown.Settings.Server);
    EnableServerFields(shown.Provider == ProviderOther);
    ShowSignIn();
    return 0;
}

void CDlgConfigure::WriteControls(const CAccountForm& form) {
    ProviderCombo.Write(form.Provider);
    HostEdit.Write(form.Settings.Server);
    UserEdit.Write(form.Settings.Username);
    PasswordEdit.Write(form.Settings.Password);
    SslBox.Write(form.Settings.UseSSL == 1);
    PortEdit.Write(form.Settings.Port);
    IntervalEdit.Write(form.Settings.CheckMinutes);
    MailProgramEdit.Write(form.MailProgram);
}

CAccountForm CDlgConfigure::ReadControls() {
    CAccountForm form;
    form.Provider = ProviderCombo.Read();
    form.Settings.Server = HostEdit.Read();
    form.Settings.Username = UserEdit.Read();
    form.Settings.Password = PasswordEdit.Read();
    form.Settings.UseSSL = SslBox.Read();
    form.Settings.Port = PortEdit.Read();
    form.Settings.CheckMinutes = IntervalEdit.Read();
    form.MailProgram = MailProgramEdit.Read();
    return form;
}

void CDlgConfigure::OnOK() {
    Form = ReadControls();
    KeepTrustFor(Form);
    KeepSignInFor(Form);
}

LRESULT CDlgConfigure::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == SignInMessage.MessageId) {
        SignInFinished();
        return 1;
    }
    // Two accounts of one name would be one section and one seen file.
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK && NameTaken &&
        NameTaken(AccountName(WithTrimmedNames(ReadControls().Settings)))) {
        ToolkitMessageBox(Handle,
                          "There is already an account with this user name and server. Change "
                          "one of them, or Cancel.",
                          "Error", MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    return CGDialog::HandleMessage(hwnd, msg, wParam, lParam);
}

void CDlgConfigure::KeepTrustFor(CAccountForm& form) const {
    // What the user decided holds for the server it was decided for; for any other server
    // the account decides (it keeps what it knows of its own server and nothing of another).
    form.TrustDecided = TrustDecided && SameServer(WithTrimmedHost(form.Settings), Trusted);
    if (!form.TrustDecided)
        return;
    form.Settings.CertPin = Trusted.CertPin;
    form.Settings.StartTls = Trusted.StartTls;
    form.Settings.PlainLogin = Trusted.PlainLogin;
}

void CDlgConfigure::ApplyPreset(int provider) {
    bool other = provider < 0 || provider >= ProviderOther;
    EnableServerFields(other);
    ShowSignIn();
    if (other)
        return;
    const CProviderPreset& preset = ProviderPresets[provider];
    HostEdit.Write(CGText(preset.Host));
    SslBox.Write(1);
    SetPort(995);
    MailProgramEdit.Write(CGText(preset.WebMail));
}

void CDlgConfigure::OnChildNotify(HWND from, UINT code, NMHDR*) {
    if (from == ProviderCombo.Handle) {
        if (code == CBN_SELCHANGE)
            ApplyPreset(ReadControls().Provider);
    } else if (from == HostEdit.Handle) {
        if (code == EN_CHANGE)
            EnableByHost(ReadControls().Settings.Server);
    } else if (code != BN_CLICKED) {
        return;
    } else if (GetDlgCtrlID(from) == IDC_MAIL_PROGRAM_BROWSE) {
        char path[MAX_PATH];
        if (ChooseOpenFile(path, "Executable files (*.exe)\0*.exe\0"))
            MailProgramEdit.Write(CGText(path));
    } else if (from == CheckButton.Handle) {
        Probe();
    } else if (from == SignInButton.Handle) {
        SignInOrCancel();
    } else if (from == SslBox.Handle) {
        // The box already shows its new state, though its own notification comes after this.
        SetPort(ReadControls().Settings.UseSSL ? 995 : 110);
    }
}

CGProbeRequest CDlgConfigure::ProbeRequestFor(const std::string& host, const CAccountForm& shown) {
    CGProbeRequest request;
    request.User = shown.Settings.Username.GetOrEmpty();
    request.Password = shown.Settings.Password.GetOrEmpty();
    // The account's knowledge of this host holds for Check as for every check: a key it
    // trusts is not asked about again, and a server that used STARTTLS must use it again.
    if (HostKey(host.c_str()) == HostKey(Trusted.Server.Get())) {
        request.CertPin = Trusted.CertPin;
        request.StartTls = Trusted.StartTls;
        request.PlainLogin = Trusted.PlainLogin;
    }
    request.AskTrust = [this](const CGPeerCertificate& peer) {
        return AskToTrustCertificate(Handle, peer);
    };
    return request;
}

void CDlgConfigure::Probe() {
    const std::string provider = SignInProvider();
    const bool signedIn =
        !provider.empty() && SignIn.Provider == provider && !SignIn.RefreshToken.empty();
    if (signedIn && SignIn.AccessToken.empty()) {
        // A new access token first, off this thread; the check follows when it arrives.
        Work = RefreshingForCheck;
        SignInWork.Refresh(Handle, SignInMessage.MessageId, FindOAuthProvider(provider),
                           SignIn.RefreshToken);
        ShowSignIn();
        return;
    }
    WaitCursor.SetBusy();
    const CAccountForm shown = ReadControls();
    const std::string host = CGIniText::Trim(shown.Settings.Server.GetOrEmpty());
    CGProbeRequest request = ProbeRequestFor(host, shown);
    request.Host = host.c_str();
    if (!provider.empty()) {
        // Not signed in yet: the server and its certificate are checked, and nothing is sent.
        request.User = SignIn.User.c_str();
        request.Password = nullptr;
        request.Bearer = signedIn ? SignIn.AccessToken.c_str() : "";
    }
    const CGProbeResult result = ProbeMailServer(request); // the dialog waits meanwhile
    WaitCursor.ClearBusy();
    if (result.Untrusted) {
        ReportUntrustedCertificate(Handle, result);
        return;
    }
    if (result.Unencrypted) {
        OfferPlainLogin(result, request);
        return;
    }
    const bool taken = AskToUseProbe(Handle, result, shown.Provider == ProviderOther);
    if (taken) {
        SetPort(result.Port);
        SslBox.Write(result.UseSSL);
    }
    // A certificate the user accepted holds for the server that showed it, when that is
    // what the dialog shows now (taken, or the settings it had already).
    CGServerSettings found;
    found.Server.Assign(host.c_str());
    found.Port = result.Port;
    found.UseSSL = result.UseSSL;
    if (result.Found &&
        (taken || (result.Trusted && SameServer(WithTrimmedHost(shown.Settings), found))))
        TrustFound(host, result);
    if (result.Found && !provider.empty() && !signedIn)
        ToolkitMessageBox(Handle, "The server answers. Sign in to check your mailbox.",
                          "Check Host", MB_OK);
    else if (result.Found)
        ReportProbeLogin(Handle, result);
}

void CDlgConfigure::TrustFound(const std::string& host, const CGProbeResult& result) {
    CGServerSettings found;
    found.Server.Assign(host.c_str());
    found.Port = result.Port;
    found.UseSSL = result.UseSSL;
    found.CertPin = result.CertPin;
    found.StartTls = result.StartTls;
    // The same server as before: what was known and the probe did not see again stays.
    if (SameServer(found, Trusted)) {
        if (found.CertPin.empty())
            found.CertPin = Trusted.CertPin;
        found.StartTls |= Trusted.StartTls;
        found.PlainLogin = Trusted.PlainLogin;
    }
    Trusted = found;
    TrustDecided = 1;
}

void CDlgConfigure::OfferPlainLogin(const CGProbeResult& result, CGProbeRequest request) {
    // A token never goes out in plain text: no choice to offer for a provider that signs in.
    if (!AskPlainLogin(Handle, result, result.SwitchFailed && !request.StartTls && !request.Bearer))
        return;
    // The user's explicit choice, for this server only: port 110 without TLS.
    SetPort(ProbePlainPort);
    SslBox.Write(0);
    Trusted.Server.Assign(request.Host);
    Trusted.Port = ProbePlainPort;
    Trusted.UseSSL = 0;
    Trusted.CertPin.clear();
    Trusted.StartTls = 0;
    Trusted.PlainLogin = 1;
    TrustDecided = 1;
    WaitCursor.SetBusy();
    request.PlainLogin = 1;
    request.PlainOnly = 1;
    const CGProbeResult plain = ProbeMailServer(request);
    WaitCursor.ClearBusy();
    if (plain.Found)
        ReportProbeLogin(Handle, plain);
    else
        AskToUseProbe(Handle, plain, false); // says that nothing was found
}

int EditAccount(CGAccount& account, CGWinCore* owner, const CAccountList* list) {
    CDlgConfigure dialog(owner);
    if (list)
        dialog.NameTaken = [&](const std::string& name) { return list->NameTaken(name, &account); };
    dialog.KeepRotated = [&account](const std::string& used, const std::string& replacement) {
        account.KeepRotatedToken(used, replacement);
    };
    dialog.Form.Settings = account.CopySettings();
    dialog.Form.MailProgram = account.DoubleClick;
    dialog.Form.Provider = ProviderOfHost(dialog.Form.Settings.Server);
    if (dialog.RunModal(IDD_ACCOUNT) != IDOK)
        return 0;
    const CAccountForm& form = dialog.Form;
    CGServerSettings s = WithTrimmedNames(form.Settings);
    s.Password.Assign(form.Settings.Password.GetOrEmpty());
    // One hand-over under the account's lock: the thread's next attempt sees all of it. What
    // the account learned while the dialog was open survives unless the user decided
    // otherwise; a change for the same server is stored as soon as a check reports.
    account.ReplaceEditedSettings(s, form.TrustDecided != 0, form.SignInDecided != 0);
    account.DoubleClick.Assign(form.MailProgram.GetOrEmpty());
    account.UpdateName();
    account.UpdateStatusText();
    return 1;
}
