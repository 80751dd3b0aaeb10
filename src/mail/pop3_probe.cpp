#include "mail/pop3_probe.h"

#include "mail/pop3_dialogue.h"

CGProbeResult ProbeMailServer(const CGProbeRequest& request) {
    struct Attempt {
        int Port;
        int UseSSL;
    };
    CGSslConnection connection;
    connection.Timeouts = request.Timeouts;
    connection.Environment = request.Net;
    CGPop3Dialogue dialogue(connection);
    CGProbeResult result;
    for (const Attempt a : {Attempt{ProbeTlsPort, 1}, Attempt{ProbePlainPort, 0}}) {
        CGTlsGate gate;
        gate.CertPin = request.CertPin;
        gate.Ask = request.AskTrust;
        const int reached =
            dialogue.Visit(request.Host, a.Port, a.UseSSL, request.User, request.Password, gate);
        connection.Close(); // no QUIT: the conversation ends with the connection
        if (reached == Pop3Untrusted) {
            result.Declined = 1; // the user said no: no other port is tried behind their back
            break;
        }
        if (reached == Pop3NotReached)
            continue;
        result.Found = 1;
        result.UseSSL = a.UseSSL;
        result.Port = a.Port;
        result.LoginAccepted = reached == Pop3LoggedIn ? 1 : 0;
        result.StartTls = gate.UsedStartTls;
        if (a.UseSSL || gate.UsedStartTls)
            result.CertPin = gate.CertPin;
        break;
    }
    return result;
}
