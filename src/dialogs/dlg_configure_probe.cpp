#include "dialogs/dlg_configure.h"

#include "mail/pop3_probe.h"
#include "toolkit/win_support.h"

namespace {

const char* const Title = "Check Host";
const char* const Refused =
    "The mailserver reports that the Username and password are not recognised.";
const char* const NothingFound =
    "No email checking found. Either a) the hostname is wrong, b) I can't connect to it at "
    "the moment or c) it's using non-standard e-mail ports. (I'm looking for POP3-SSL on 995 "
    "or POP3 on 110) Check with your e-mail provider for the correct POP3 server details.";

} // namespace

void CDlgConfigure::ReportLogin(bool secure, int ok) {
    const char* working = secure ? "Login successful. Secure email checking is working!"
                                 : "Unencrypted email checking is working!.";
    ToolkitMessageBox(Handle, ok ? working : Refused, Title, MB_OK);
}

void CDlgConfigure::ReportProbe(const CGProbeResult& result) {
    if (!result.Found) {
        ToolkitMessageBox(Handle, NothingFound, Title, MB_OK);
        return;
    }
    // A preset provider's settings are offered only when its encrypted port did not answer.
    const bool ask = !result.UseSSL || SelectedProvider() == ProviderOther;
    const char* question = result.UseSSL ? "Secure email checking found. Use this?"
                                         : "Unencrypted email checking found. Use this?";
    if (ask && ToolkitMessageBox(Handle, question, Title, MB_YESNO) == IDYES) {
        SetPort(result.Port);
        SslBox.SetCheck(result.UseSSL);
    }
    ReportLogin(result.UseSSL != 0, result.LoginAccepted);
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
    const CGProbeResult result = ProbeMailServer(request);
    WaitCursor.ClearBusy();
    ReportProbe(result);
}
