#pragma once

#include <windows.h>

struct CGPeerCertificate;
struct CGProbeResult;

// The "Check Host" boxes of the account dialog's probe, owned by the dialog. They only show a
// result of ProbeMailServer; the dialog applies what the user chooses.

// Nothing found: says so and returns 0 (nothing is said when the user declined a
// certificate). Otherwise asks whether to use the settings found (a secure server only when
// askSecure is set: a preset provider has them already) and returns 1 when the user answers
// Yes.
int AskToUseProbe(HWND owner, const CGProbeResult& result, bool askSecure);
// After a server was found: whether it took the user name and password.
void ReportProbeLogin(HWND owner, const CGProbeResult& result);
// A certificate that does not prove the server: shows why and its fingerprint, and asks
// whether to trust it. 1 when the user answers Yes.
int AskToTrustCertificate(HWND owner, const CGPeerCertificate& peer);
// A certificate that had to verify (a preset provider's) and did not: says so.
void ReportUntrustedCertificate(HWND owner, const CGProbeResult& result);
// Encryption required or offered, and not achieved: says that the password was not sent.
// When mayChoose (the server's switch to encryption failed and it never worked before),
// asks whether to log in without encryption; 1 when the user answers Yes.
int AskPlainLogin(HWND owner, const CGProbeResult& result, bool mayChoose);
