#include "mail/pop3_dialogue.h"

#include "base/scan.h"
#include "mail/uidl_bookkeeping.h"
#include "net/ssl_connection.h"

namespace {

// A command line holds 255 characters with its CR LF (the longest a POP3 server must take).
constexpr std::size_t MaxCommandText = 253;

} // namespace

CGPop3Dialogue::CGPop3Dialogue(CGSslConnection& connection)
    : Reader(connection), Connection(connection) {}

int CGPop3Dialogue::Connect(const char* host, int port, int useSSL) {
    return Connection.Connect(host, port, useSSL);
}

int CGPop3Dialogue::ReadGreeting() {
    return Reader.ReadStatus(nullptr) == 0 ? 1 : 0;
}

int CGPop3Dialogue::Login(const char* user, const char* password) {
    return SendCommand("USER", user) && Reader.ReadStatus(nullptr) == 0 &&
                   SendCommand("PASS", password) && Reader.ReadStatus(nullptr) == 0
               ? 1
               : 0;
}

int CGPop3Dialogue::RequestListing() {
    if (!SendCommand("UIDL", nullptr))
        return -1;
    return Reader.ReadStatus(nullptr);
}

int CGPop3Dialogue::ReceiveListing(CGUidlList& into, std::size_t limit) {
    CGListingScanner scanner(into);
    const int result =
        Reader.ReadBody([&](const char* piece, std::size_t n) { scanner.Add(piece, n); }, limit);
    scanner.Finish();
    return result;
}

int CGPop3Dialogue::AcceptCertificate(CGTlsGate& gate) {
    gate.Peer = Connection.Peer();
    return JudgeCertificate(gate);
}

int JudgeCertificate(CGTlsGate& gate) {
    const CGPeerCertificate& peer = gate.Peer;
    if (!peer.Present)
        return 0;
    if (peer.Verified()) {
        gate.Pending = CertPinAuthority;
        return 1;
    }
    if (gate.AuthorityOnly)
        return 0;
    if (gate.CertPin == peer.Pin)
        return 1;
    if (gate.Ask) {
        if (!gate.Ask(peer))
            return 0;
        gate.Asked = 1;
        gate.CertPin = peer.Pin;
        gate.Learned = 1;
        return 1;
    }
    if (!gate.CertPin.empty() || gate.NoFirstUse)
        return 0;
    gate.Pending = peer.Pin;
    return 1;
}

void CommitLearned(CGTlsGate& gate) {
    if (!gate.Pending.empty() && gate.Pending != gate.CertPin) {
        gate.CertPin = gate.Pending;
        gate.Learned = 1;
    }
    gate.Pending.clear();
    if (gate.UsedStartTls && !gate.StartTls) {
        gate.StartTls = 1;
        gate.Learned = 1;
    }
}

int CGPop3Dialogue::OffersStartTls() {
    if (!SendCommand("CAPA", nullptr))
        return -1;
    // A refusal is no offer; a server that went away is a failed connection, not a sign
    // that someone removed the offer.
    if (Reader.ReadStatus(nullptr, true) != 0)
        return Reader.ConnectionFailed() ? -1 : 0;
    std::string lines;
    // A capability list is a few hundred bytes; one far longer is not worth following.
    const int read = Reader.ReadBody(
        [&](const char* piece, std::size_t n) { lines.append(piece, n); }, 64 * 1024);
    if (read != 1)
        return -1;
    for (std::size_t at = 0; at < lines.size();) {
        std::size_t end = lines.find('\n', at);
        if (end == std::string::npos)
            end = lines.size();
        const std::string line = lines.substr(at, end - at);
        if (EqualsIgnoringCase(line.substr(0, line.find_first_of(" \t\r")), "STLS"))
            return 1;
        at = end + 1;
    }
    return 0;
}

int CGPop3Dialogue::NegotiateStartTls(const char* host, CGTlsGate& gate) {
    const int offered = OffersStartTls();
    if (offered < 0)
        return 0;
    if (!offered) // someone in between may have removed the offer
        return gate.StartTls ? Pop3Unencrypted : 1;
    if (!SendCommand("STLS", nullptr))
        return 0;
    const int agreed = Reader.ReadStatus(nullptr, true);
    if (agreed != 0 && Reader.ConnectionFailed())
        return 0;
    if (agreed == 0 && !Connection.StartTls(host)) {
        gate.StartTlsFailed = 1;
        return StartTlsBroken;
    }
    if (agreed != 0) {
        // Offered, then refused: as good as a reset for whoever wants the password in
        // plain text. Only the user's own choice lets it go out so.
        gate.StartTlsFailed = 1;
        return gate.PlainLogin && !gate.StartTls ? 1 : Pop3Unencrypted;
    }
    if (!AcceptCertificate(gate))
        return Pop3Untrusted;
    gate.UsedStartTls = 1;
    return 1;
}

int CGPop3Dialogue::Visit(const char* host, int port, int useSSL, const char* user,
                          const char* password, CGTlsGate& gate) {
    if (!Connect(host, port, useSSL))
        return Pop3NotReached;
    if (useSSL && !AcceptCertificate(gate))
        return Pop3Untrusted;
    if (!ReadGreeting())
        return Pop3NotReached;
    if (!useSSL) {
        int negotiated = NegotiateStartTls(host, gate);
        if (negotiated == StartTlsBroken) {
            // The connection is lost with the handshake. A new one in plain text only when
            // the user chose that for this server.
            if (!gate.PlainLogin || gate.StartTls)
                return Pop3Unencrypted;
            negotiated = Connect(host, port, 0) && ReadGreeting() ? 1 : 0;
        }
        if (negotiated != 1)
            return negotiated == Pop3Untrusted || negotiated == Pop3Unencrypted ? negotiated
                                                                                : Pop3NotReached;
    }
    if (!Login(user, password))
        return Pop3LoginRefused;
    CommitLearned(gate);
    return Pop3LoggedIn;
}

int CGPop3Dialogue::SendCommand(const char* verb, const char* argument) {
    std::string line = verb ? verb : "";
    if (argument) {
        line += ' ';
        line += argument;
    }
    // A line without its end would leave the server waiting for the rest.
    if (line.size() > MaxCommandText)
        line.resize(MaxCommandText);
    line += "\r\n";
    const int length = static_cast<int>(line.size());
    return Connection.Write(line.data(), length) == length ? 1 : 0;
}
