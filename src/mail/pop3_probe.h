#pragma once

#include "net/net_environment.h"
#include "net/ssl_connection.h"

// The server probe behind the account dialog's "Check": POP3 over TLS on 995 first, then
// plain POP3 on 110, each with a login. Blocks its caller; every step has a short time-out,
// since the dialog does not respond meanwhile.

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
};

// What worked, and the settings to use for it.
struct CGProbeResult {
    int Found = 0;         // 1 when one of the attempts reached a POP3 server that greeted
    int UseSSL = 0;        // the attempt that did: 1 = TLS, 0 = plain
    int Port = 0;          // its port
    int LoginAccepted = 0; // 1 when that server took the user name and password
};

CGProbeResult ProbeMailServer(const CGProbeRequest& request);
