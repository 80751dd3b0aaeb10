#pragma once

#include "net/net_environment.h"
#include "net/ssl_connection.h"

#include <functional>
#include <string>

// The server probe behind the account dialog's "Check": POP3 over TLS on 995 first, then
// POP3 on 110 (switched to TLS when the server offers STARTTLS), each with a login. The rules
// of the checks apply, with what the account knows about the host: a known STARTTLS server
// without the offer gets no user name, nor does one whose switch fails. The one difference:
// a certificate that neither verifies nor has the pinned key is put to the user (AskTrust)
// before anything is sent, except for a preset provider's host, whose certificate must
// verify. Blocks its caller; every step has a short time-out, since the dialog does not
// respond meanwhile.

inline constexpr int ProbeTlsPort = 995;
inline constexpr int ProbePlainPort = 110;
// Milliseconds per attempt and step.
inline constexpr int ProbeConnectMs = 10000;
inline constexpr int ProbeReplyMs = 10000;

struct CGProbeRequest {
    const char* Host = nullptr; // null or empty: nothing is reached
    const char* User = nullptr; // null texts go as bare verbs
    const char* Password = nullptr;
    // A signed-in account's access token: the login is XOAUTH2 with it, never the password;
    // empty for an account that signs in and has no sign-in yet (no login at all).
    const char* Bearer = nullptr;
    CGNetTimeouts Timeouts{ProbeConnectMs, ProbeReplyMs, ProbeReplyMs};
    CGNetEnvironment Net = DefaultNetEnvironment();
    // What the account knows about this host: its certificate's pin, that it switched to
    // STARTTLS, that the user allows a plain login when the switch fails.
    std::string CertPin;
    int StartTls = 0;
    int PlainLogin = 0;
    int PlainOnly = 0; // only the plain attempt on 110 (after the user chose a plain login)
    // Whether to trust a certificate that does not verify: 1 = yes. Null: the rule of the
    // checks alone.
    std::function<int(const CGPeerCertificate&)> AskTrust;
};

// What worked, and the settings to use for it.
struct CGProbeResult {
    int Found = 0;         // 1 when one of the attempts reached a POP3 server that greeted
    int UseSSL = 0;        // the attempt that did: 1 = TLS, 0 = plain
    int Port = 0;          // its port
    int LoginAccepted = 0; // 1 when that server took the user name and password
    int StartTls = 0;      // the plain attempt switched to TLS
    std::string CertPin;   // how that server's certificate is trusted, when encrypted
    int Trusted = 0;       // the user said yes to a certificate: CertPin is their decision
    int Declined = 0;      // the user said no to a certificate: the probe stopped there
    // Stopped before the user name, on the attempt of Port and UseSSL:
    int Untrusted = 0;    // a certificate that must verify did not (CertProblem says why)
    int CertProblem = 0;  // CertVerified ... CertExpired
    int Unencrypted = 0;  // no encryption where it is required, or a failed switch to it
    int SwitchFailed = 0; // the server offered STARTTLS and the switch failed (Unencrypted)
    // With a token (LoginAccepted 0): the server does not take tokens, or refused this one.
    int NoXoauth2 = 0;
    int TokenRefused = 0;
};

CGProbeResult ProbeMailServer(const CGProbeRequest& request);
