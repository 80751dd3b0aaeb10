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
        const int reached =
            dialogue.Visit(request.Host, a.Port, a.UseSSL, request.User, request.Password);
        connection.Close(); // no QUIT: the conversation ends with the connection
        if (reached != Pop3NotReached) {
            result.Found = 1;
            result.UseSSL = a.UseSSL;
            result.Port = a.Port;
            result.LoginAccepted = reached == Pop3LoggedIn ? 1 : 0;
            break;
        }
    }
    return result;
}
