#include "dialogs/dlg_configure_probe.h"

#include "mail/pop3_probe.h"
#include "net/peer_certificate.h"
#include "toolkit/win_support.h"

#include <string>

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
    if (result.Declined)
        return 0;
    if (!result.Found) {
        ToolkitMessageBox(owner, NothingFound, Title, MB_OK);
        return 0;
    }
    if (result.UseSSL && !askSecure)
        return 0;
    const char* question = result.UseSSL     ? "Secure email checking found. Use this?"
                           : result.StartTls ? "Encrypted (STARTTLS) email checking found. "
                                               "Use this?"
                                             : "Unencrypted email checking found. Use this?";
    return ToolkitMessageBox(owner, question, Title, MB_YESNO) == IDYES ? 1 : 0;
}

int AskToTrustCertificate(HWND owner, const CGPeerCertificate& peer) {
    // Two rows of sixteen pairs: a row of all 32 would make the box wider than most screens.
    const std::string grouped = GroupedFingerprint(peer.Pin);
    std::string text = "The server's certificate could not be verified (";
    text += CertificateProblemText(peer.Problem);
    text += ").\n\nSHA-256 fingerprint of its key:\n";
    text += grouped.size() == 95 ? grouped.substr(0, 47) + "\n" + grouped.substr(48) : grouped;
    text += "\n\nIf you have not just changed or set up this server, someone may be trying to "
            "read your password. Trust this certificate?";
    return ToolkitMessageBox(owner, text.c_str(), Title, MB_YESNO | MB_ICONWARNING) == IDYES ? 1
                                                                                             : 0;
}

void ReportUntrustedCertificate(HWND owner, const CGProbeResult& result) {
    std::string text = "The server's certificate could not be verified (";
    text += CertificateProblemText(result.CertProblem);
    text += "), and this provider's certificate always can be. Your password was not sent: "
            "someone on this network may be trying to read it.";
    ToolkitMessageBox(owner, text.c_str(), Title, MB_OK | MB_ICONWARNING);
}

int AskPlainLogin(HWND owner, const CGProbeResult& result, bool mayChoose) {
    if (!mayChoose) {
        const char* text =
            result.SwitchFailed
                ? "Encryption unavailable: the server could not switch to encryption "
                  "(STARTTLS) as it did before. Your password was not sent: someone on this "
                  "network may be trying to read it."
                : "Encryption unavailable: the server used to encrypt the connection "
                  "(STARTTLS) and no longer offers to. Your password was not sent: someone on "
                  "this network may be trying to read it.";
        ToolkitMessageBox(owner, text, Title, MB_OK | MB_ICONWARNING);
        return 0;
    }
    const char* question =
        "The server offers encryption (STARTTLS), but switching to it failed. Your password "
        "was not sent.\n\nSomeone on this network may have caused this to read your password. "
        "Use this server without encryption anyway? Your user name and password would then "
        "be sent in plain text whenever its encryption fails.";
    return ToolkitMessageBox(owner, question, Title, MB_YESNO | MB_ICONWARNING) == IDYES ? 1 : 0;
}

void ReportProbeLogin(HWND owner, const CGProbeResult& result) {
    const char* working = result.UseSSL || result.StartTls
                              ? "Login successful. Secure email checking is working!"
                              : "Unencrypted email checking is working!.";
    const char* refused = result.NoXoauth2 ? "The mailserver does not take sign-ins (XOAUTH2)."
                          : result.TokenRefused
                              ? "The mailserver did not take the sign-in. Sign in again."
                              : Refused;
    ToolkitMessageBox(owner, result.LoginAccepted ? working : refused, Title, MB_OK);
}
