#include "dialogs/dlg_configure.h"

#include "mail/pop3_session.h"
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

int CDlgConfigure::TryLogin(CGPOP3Session& session) {
    const CGServerSettings shown = ReadControls().Settings;
    return session.SendCommand("USER", shown.Username.Get()) && session.ReadReply() == 0 &&
                   session.SendCommand("PASS", shown.Password.Get()) && session.ReadReply() == 0
               ? 1
               : 0;
}

bool CDlgConfigure::Reach(CGPOP3Session& session, const char* host, int port, int useSSL) {
    if (session.Connect(host, port, useSSL) && session.ReadReply() == 0)
        return true;
    session.Close();
    return false;
}

void CDlgConfigure::ReportLogin(bool secure, int ok) {
    const char* working = secure ? "Login successful. Secure email checking is working!"
                                 : "Unencrypted email checking is working!.";
    ToolkitMessageBox(Handle, ok ? working : Refused, Title, MB_OK);
}

void CDlgConfigure::Probe() {
    WaitCursor.SetBusy();
    CGPOP3Session session;
    // The dialog does not respond while the probe runs, so no step may take long.
    session.Transport.Timeouts.ConnectMs = ProbeConnectMs;
    session.Transport.Timeouts.ReadMs = ProbeReplyMs;
    session.Transport.Timeouts.WriteMs = ProbeReplyMs;
    const CAccountForm shown = ReadControls();
    CGText host(shown.Settings.Server.IsNull() ? "" : shown.Settings.Server.Get());

    if (Reach(session, host.Get(), 995, 1)) {
        int ok = TryLogin(session);
        WaitCursor.ClearBusy();
        if (shown.Provider == ProviderOther &&
            ToolkitMessageBox(Handle, "Secure email checking found. Use this?", Title, MB_YESNO) ==
                IDYES) {
            SetPort(995);
            SslBox.Write(1);
        }
        ReportLogin(true, ok);
    } else if (Reach(session, host.Get(), 110, 0)) {
        int ok = TryLogin(session);
        WaitCursor.ClearBusy();
        if (ToolkitMessageBox(Handle, "Unencrypted email checking found. Use this?", Title,
                              MB_YESNO) == IDYES) {
            SetPort(110);
            SslBox.Write(0);
        }
        ReportLogin(false, ok);
    } else {
        WaitCursor.ClearBusy();
        ToolkitMessageBox(Handle, NothingFound, Title, MB_OK);
    }
    // The session closes its connection and frees its context here; no QUIT is sent.
}
