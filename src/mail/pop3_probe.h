#pragma once

#include "net/net_environment.h"
#include "net/ssl_connection.h"

#include <functional>
#include <string>

// The server probe behind the account dialog's "Check": POP3 over TLS on 995 first, then
// POP3 on 110 (switched to TLS when the server offers STARTTLS), each with a login. The
// certificate rule of the checks applies, except that a certificate which neither verifies
// nor has the pinned key is put to the user (AskTrust) before anything is sent. Blocks its
// caller; every step has a short time-out, since the dialog does not respond meanwhile.

inline constexpr int ProbeTlsPort = 995;
inline constexpr int ProbePlainPort = 110;
// Milliseconds per attempt and step.
inline constexpr int ProbeConnectMs = 10000;
inline constexpr int ProbeReplyMs = 10000;

struct CGProbeRequest {
    const char* Host = nullptr; // null or empty: nothing is reached
    const char* User = nullptr; // null texts go as bare verbs
    const char* Password = nullptr;
    CGNetTimeouts Timeouts{ProbeConnectMs, ProbeReplyMs, ProbeReplyMs};
    CGNetEnvironment Net = DefaultNetEnvironment();
    std::string CertPin; // the account's, as far as it still holds for this host
    // Whether to trust a certificate that does not verify: 1 = yes. Null: trust on first
    // use, as a check does.
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
    int Declined = 0;      // a certificate was not trusted: the probe stopped there
};

CGProbeResult ProbeMailServer(const CGProbeRequest& request);
