#include "dialogs/dlg_configure.h"

#include "config/ini_text.h"

#include "dialogs/dlg_configure_probe.h"
#include "mail/account.h"
#include "mail/pop3_probe.h"
#include "resources/dialog_ids.h"

#include <cstring>

const CProviderPreset ProviderPresets[2] = {
    {"Google/GMail", "pop.gmail.com", "https://mail.google.com/"},
    {"Live/Hotmail", "outlook.office365.com", "https://outlook.live.com/mail/"},
};

namespace {

const char* TextOrEmpty(const CGText& text) {
    return text.IsNull() ? "" : text.Get();
}

const char* const MailProgramTip =
    "Path to your mail program, activated when you double click on varnocle. Can be a web "
    "address if you use webmail: e.g.\n  https://mail.google.com/\nor the path of your mail "
    "program: e.g:\n  c:\\program files\\... ";

} // namespace

CDlgConfigure::CDlgConfigure(CGWinCore* owner) : CGDialog(owner) {
    HostEdit.MaxLength = 256;
    UserEdit.MaxLength = 256;
    PasswordEdit.MaxLength = 256;
    MailProgramEdit.MaxLength = 256;
    PortEdit.Value = 995;
    PortEdit.Min = 1;
    PortEdit.Max = 999999;
    IntervalEdit.Value = 5;
    IntervalEdit.Min = 1;
    IntervalEdit.Max = 99999;
}

int CDlgConfigure::SelectedProvider() const {
    return static_cast<int>(SendMessageA(ProviderCombo.Handle, CB_GETCURSEL, 0, 0));
}

void CDlgConfigure::EnableServerFields(bool other) {
    EnableWindow(HostEdit.Handle, other);
    EnableWindow(SslBox.Handle, other);
    EnableWindow(PortEdit.Handle, other);
}

void CDlgConfigure::EnableByHost(const char* host) {
    // Blanks alone are no host: OK drops them.
    bool any = !CGIniText::Trim(host).empty();
    EnableWindow(CheckButton.Handle, any);
    EnableWindow(OkButton.Handle, any);
}

void CDlgConfigure::SetPort(int port) {
    PortEdit.Value = port;
    PortEdit.ShowValue();
}

int CDlgConfigure::BindProvider() {
    BindItem(ProviderCombo, IDC_PROVIDER);
    for (const CProviderPreset& p : ProviderPresets)
        SendMessageA(ProviderCombo.Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p.Entry));
    SendMessageA(ProviderCombo.Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Other"));
    ToolTip.AddTool(&ProviderCombo, "Your email provider. If not in the list, just select "
                                    "\"Other\" and enter the details manually");
    const char* host = TextOrEmpty(HostEdit.Value);
    int provider = ProviderOther;
    for (int i = 0; i < 2; ++i)
        if (std::strcmp(host, ProviderPresets[i].Host) == 0)
            provider = i;
    SendMessageA(ProviderCombo.Handle, CB_SETCURSEL, provider, 0);
    return provider;
}

void CDlgConfigure::BindServerFields() {
    BindItem(HostEdit, IDC_HOST);
    HostEdit.Show();
    ToolTip.AddTool(&HostEdit, "Your email server name or IP Address");
    BindItem(CheckButton, IDC_CHECK_HOST);
    ToolTip.AddTool(&CheckButton, "Attempt to connect using the details shown");
    BindItem(UserEdit, IDC_USER);
    UserEdit.Show();
    ToolTip.AddTool(&UserEdit, "Your email username, used to log into the server");
    BindItem(PasswordEdit, IDC_PASSWORD);
    PasswordEdit.Show();
    ToolTip.AddTool(&PasswordEdit, "Your email password, used to log into the server");
    BindItem(SslBox, IDC_SSL);
    SslBox.SetCheck(SslBox.Value == 1);
    ToolTip.AddTool(&SslBox, "Should the conversation with the server be encrypted. Better to "
                             "use this, as long as your server supports SSL");
    BindItem(PortEdit, IDC_PORT);
    PortEdit.Show();
    ToolTip.AddTool(&PortEdit, "The port number on the server to connect to. Usually 995 for a "
                               "secured connection or 110 for unsecured.");
}

int CDlgConfigure::OnInitDialog(HWND) {
    AddExtension(&ToolTip);
    AddExtension(&WaitCursor);
    ToolTip.Attach(this);
    WaitCursor.Attach(this);
    int provider = BindProvider();
    BindServerFields();
    BindItem(IntervalEdit, IDC_INTERVAL);
    IntervalEdit.Show();
    ToolTip.AddTool(&IntervalEdit, "How often to check for new emails in minutes... ");
    BindItem(MailProgramEdit, IDC_MAIL_PROGRAM);
    MailProgramEdit.Show();
    ToolTip.AddTool(&MailProgramEdit, MailProgramTip);
    BindItem(OkButton, IDOK);
    // The texts shown above may have changed the values through their notifications, so
    // the enabling follows the bound host as the dialog shows it.
    EnableByHost(TextOrEmpty(HostEdit.Value));
    EnableServerFields(provider == ProviderOther);
    return 0;
}

void CDlgConfigure::ApplyPreset(int provider) {
    bool other = provider < 0 || provider >= ProviderOther;
    EnableServerFields(other);
    if (other)
        return;
    const CProviderPreset& preset = ProviderPresets[provider];
    SetWindowTextA(HostEdit.Handle, preset.Host);
    SslBox.SetCheck(1);
    SetPort(995);
    SetWindowTextA(MailProgramEdit.Handle, preset.WebMail);
}

void CDlgConfigure::OnChildNotify(HWND from, UINT code, NMHDR*) {
    if (from == ProviderCombo.Handle) {
        if (code == CBN_SELCHANGE)
            ApplyPreset(SelectedProvider());
    } else if (from == HostEdit.Handle) {
        if (code == EN_CHANGE)
            EnableByHost(ReadWindowText(HostEdit.Handle).Get());
    } else if (code != BN_CLICKED) {
        return;
    } else if (GetDlgCtrlID(from) == IDC_MAIL_PROGRAM_BROWSE) {
        char path[MAX_PATH];
        if (ChooseOpenFile(path, "Executable files (*.exe)\0*.exe\0"))
            SetWindowTextA(MailProgramEdit.Handle, path);
    } else if (from == CheckButton.Handle) {
        Probe();
    } else if (from == SslBox.Handle) {
        // Runs before the box's own notification, so ask the box rather than its value.
        SetPort(SendMessageA(SslBox.Handle, BM_GETCHECK, 0, 0) == BST_CHECKED ? 995 : 110);
    }
}

void CDlgConfigure::Probe() {
    WaitCursor.SetBusy();
    const CGText host(HostEdit.Value.IsNull() ? "" : HostEdit.Value.Get());
    const CGText user = ReadWindowText(UserEdit.Handle);
    const CGText password = ReadWindowText(PasswordEdit.Handle);
    CGProbeRequest request;
    request.Host = host.Get();
    request.User = user.Get();
    request.Password = password.Get();
    const CGProbeResult result = ProbeMailServer(request); // the dialog waits meanwhile
    WaitCursor.ClearBusy();
    if (AskToUseProbe(Handle, result, SelectedProvider() == ProviderOther)) {
        SetPort(result.Port);
        SslBox.SetCheck(result.UseSSL);
    }
    if (result.Found)
        ReportProbeLogin(Handle, result);
}

int EditAccount(CGAccount& account, CGWinCore* owner) {
    CDlgConfigure dialog(owner);
    {
        CGServerSettings s = account.CopySettings();
        dialog.HostEdit.Value = s.Server;
        dialog.UserEdit.Value = s.Username;
        dialog.PasswordEdit.Value = s.Password;
        dialog.SslBox.Value = s.UseSSL;
        dialog.PortEdit.Value = s.Port;
        dialog.IntervalEdit.Value = s.CheckMinutes;
        dialog.MailProgramEdit.Value = account.DoubleClick;
    }
    if (dialog.RunModal(IDD_ACCOUNT) != IDOK)
        return 0;
    CGServerSettings s;
    // A host name has no blanks; one typed or pasted at either end would fail every lookup.
    s.Server.Assign(CGIniText::Trim(TextOrEmpty(dialog.HostEdit.Value)).c_str());
    s.Username.Assign(TextOrEmpty(dialog.UserEdit.Value));
    s.Password.Assign(TextOrEmpty(dialog.PasswordEdit.Value));
    s.UseSSL = dialog.SslBox.Value;
    s.Port = dialog.PortEdit.Value;
    s.CheckMinutes = dialog.IntervalEdit.Value;
    // One hand-over under the account's lock: the thread's next attempt sees all of it.
    account.ApplySettings(s);
    account.DoubleClick.Assign(TextOrEmpty(dialog.MailProgramEdit.Value));
    account.UpdateName();
    account.UpdateStatusText();
    return 1;
}
