#include "mail/pop3_probe.h"

#include "mail/pop3_dialogue.h"
#include "mail/server_settings.h"

namespace {

struct Attempt {
    int Port;
    int UseSSL;
};

// The gate of one attempt: what the account knows about the host, and the question.
CGTlsGate GateFor(const CGProbeRequest& request, const CGSslConnection& connection) {
    CGTlsGate gate;
    gate.CertPin = request.CertPin;
    gate.StartTls = request.StartTls;
    gate.PlainLogin = request.PlainLogin;
    gate.AuthorityOnly = IsProviderHost(request.Host);
    gate.NoFirstUse = !connection.CanVerify();
    if (!gate.AuthorityOnly)
        gate.Ask = request.AskTrust;
    return gate;
}

} // namespace

CGProbeResult ProbeMailServer(const CGProbeRequest& request) {
    CGSslConnection connection;
    connection.Timeouts = request.Timeouts;
    connection.Environment = request.Net;
    CGPop3Dialogue dialogue(connection);
    CGProbeResult result;
    const Attempt attempts[] = {{ProbeTlsPort, 1}, {ProbePlainPort, 0}};
    for (const Attempt a : attempts) {
        if (request.PlainOnly && a.UseSSL)
            continue;
        CGTlsGate gate = GateFor(request, connection);
        const int reached = dialogue.Visit(request.Host, a.Port, a.UseSSL, request.User,
                                           request.Password, gate, request.Bearer);
        connection.Close(); // no QUIT: the conversation ends with the connection
        if (reached == Pop3NotReached)
            continue;
        result.UseSSL = a.UseSSL;
        result.Port = a.Port;
        if (reached == Pop3Untrusted) {
            // The user said no, or the certificate had to verify: no other port is tried
            // behind their back.
            result.Declined = gate.Ask ? 1 : 0;
            result.Untrusted = gate.Ask ? 0 : 1;
            result.CertProblem = gate.Peer.Problem;
            break;
        }
        if (reached == Pop3Unencrypted) {
            result.Unencrypted = 1;
            result.SwitchFailed = gate.StartTlsFailed;
            break;
        }
        result.Found = 1;
        result.LoginAccepted = reached == Pop3LoggedIn ? 1 : 0;
        result.NoXoauth2 = reached == Pop3NoXoauth2 ? 1 : 0;
        result.TokenRefused = reached == Pop3TokenRefused ? 1 : 0;
        result.StartTls = gate.UsedStartTls;
        result.Trusted = gate.Asked;
        if (a.UseSSL || gate.UsedStartTls)
            result.CertPin = gate.CertPin; // kept only after a login or the user's yes
        break;
    }
    return result;
}
