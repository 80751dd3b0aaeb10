#include "dialogs/dlg_configure_probe.h"

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

int AskToUseProbe(HWND owner, const CGProbeResult& result, bool askSecure) {
    if (!result.Found) {
        ToolkitMessageBox(owner, NothingFound, Title, MB_OK);
        return 0;
    }
    if (result.UseSSL && !askSecure)
        return 0;
    const char* question = result.UseSSL ? "Secure email checking found. Use this?"
                                         : "Unencrypted email checking found. Use this?";
    return ToolkitMessageBox(owner, question, Title, MB_YESNO) == IDYES ? 1 : 0;
}

void ReportProbeLogin(HWND owner, const CGProbeResult& result) {
    const char* working = result.UseSSL ? "Login successful. Secure email checking is working!"
                                        : "Unencrypted email checking is working!.";
    ToolkitMessageBox(owner, result.LoginAccepted ? working : Refused, Title, MB_OK);
}
