#include "mail/pop3_dialogue.h"

#include "base/base64.h"
#include "base/scan.h"
#include "mail/message_headers.h"
#include "mail/uidl_bookkeeping.h"
#include "net/ssl_connection.h"

#include <algorithm>
#include <utility>

namespace {

// A command line holds 255 characters with its CR LF (the longest a POP3 server must take).
constexpr std::size_t MaxCommandText = 253;

} // namespace

CGPop3Dialogue::CGPop3Dialogue(CGSslConnection& connection)
    : Reader(connection), Connection(connection) {}

int CGPop3Dialogue::Connect(const char* host, int port, int useSSL) {
    Capabilities = CGPop3Capabilities();
    return Connection.Connect(host, port, useSSL);
}

int CGPop3Dialogue::ReadGreeting() {
    return Reader.ReadStatus(nullptr) == 0 ? 1 : 0;
}

int CGPop3Dialogue::Login(const char* user, const char* password) {
    Refusal = Pop3LoginRefused;
    std::string reply;
    for (const auto& [verb, argument] : {std::pair{"USER", user}, std::pair{"PASS", password}}) {
        if (!SendCommand(verb, argument))
            return 0;
        if (Reader.ReadStatusLine(reply) != 0) {
            Refusal = ClassifyRefusal(reply, Capabilities);
            return 0;
        }
    }
    return 1;
}

bool CGPop3Dialogue::OffersSasl(const char* mechanism) const {
    const std::string& list = Capabilities.Sasl;
    for (std::size_t at = 0; at < list.size();) {
        std::size_t end = list.find_first_of(" \t", at);
        if (end == std::string::npos)
            end = list.size();
        if (EqualsIgnoringCase(list.substr(at, end - at), mechanism))
            return true;
        at = end + 1;
    }
    return false;
}

int CGPop3Dialogue::LoginXoauth2(const char* user, const char* token) {
    Refusal = Pop3NotReached; // until the server has answered
    std::string reply;
    if (!SendCommand("AUTH", "XOAUTH2"))
        return 0;
    if (Reader.ReadStatusLine(reply) == 0 || reply.compare(0, 1, "+") != 0) {
        if (!Reader.ConnectionFailed())
            Refusal = Pop3NoXoauth2; // no continuation: the mechanism itself was refused
        return 0;
    }
    // "\x01" stands alone: "\x01a" would be one character.
    const std::string response = std::string("user=") + (user ? user : "") + '\x01' +
                                 "auth=Bearer " + (token ? token : "") + '\x01' + '\x01';
    if (!SendLine(Base64(response)))
        return 0;
    int status = Reader.ReadStatusLine(reply);
    if (status != 0 && reply.compare(0, 1, "+") == 0) {
        // The refusal's details come as a challenge (RFC 7628 section 3.2.2); an empty answer
        // brings the final "-ERR".
        if (!SendLine(""))
            return 0;
        status = Reader.ReadStatusLine(reply);
    }
    if (status == 0)
        return 1;
    if (Reader.ConnectionFailed())
        return 0;
    const int refusal = ClassifyRefusal(reply, Capabilities);
    Refusal = refusal == Pop3LoginRefused ? Pop3TokenRefused : refusal;
    return 0;
}

void CGPop3Dialogue::Quit() {
    if (SendCommand("QUIT", nullptr))
        Reader.ReadStatus(nullptr);
}

CGPop3Capabilities ParseCapabilities(const std::string& lines) {
    CGPop3Capabilities found;
    std::string_view line;
    for (std::size_t at = 0; NextLine(lines, at, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        const std::size_t cut = line.find_first_of(" \t");
        const std::string_view name = line.substr(0, cut);
        const std::string rest(cut == std::string_view::npos ? "" : line.substr(cut + 1));
        if (EqualsIgnoringCase(name, "STLS"))
            found.Stls = 1;
        else if (EqualsIgnoringCase(name, "RESP-CODES") ||
                 EqualsIgnoringCase(name, "AUTH-RESP-CODE"))
            found.RespCodes = 1;
        else if (EqualsIgnoringCase(name, "LOGIN-DELAY"))
            found.LoginDelay = std::max(0, ParseLeadingInt(rest.c_str()));
        else if (EqualsIgnoringCase(name, "TOP"))
            found.Top = 1;
        else if (EqualsIgnoringCase(name, "SASL"))
            found.Sasl = rest;
    }
    return found;
}

int ClassifyRefusal(const std::string& line, const CGPop3Capabilities& capabilities) {
    // "-ERR [CODE/SUBCODE] text"; a server that did not announce codes may write brackets
    // for other reasons.
    if (!capabilities.RespCodes || line.compare(0, 6, "-ERR [") != 0)
        return Pop3LoginRefused;
    const std::size_t end = line.find(']', 6);
    if (end == std::string::npos)
        return Pop3LoginRefused;
    const std::string code = line.substr(6, end - 6);
    if (EqualsIgnoringCase(code, "LOGIN-DELAY"))
        return Pop3LoginDelayed;
    if (EqualsIgnoringCase(code, "IN-USE") || EqualsIgnoringCase(code, "SYS/TEMP"))
        return Pop3LoginBusy;
    return Pop3LoginRefused; // [AUTH], [SYS/PERM] and codes we do not know
}

int CGPop3Dialogue::RequestListing() {
    if (!SendCommand("UIDL", nullptr))
        return -1;
    return Reader.ReadStatus(nullptr);
}

int CGPop3Dialogue::ReceiveListing(CGUidlList& into, std::size_t limit, CGMessageNumbers* numbers) {
    CGListingScanner scanner(into, numbers);
    const int result =
        Reader.ReadBody([&](const char* piece, std::size_t n) { scanner.Add(piece, n); }, limit);
    scanner.Finish();
    return result;
}

int CGPop3Dialogue::ReadHeaders(std::uint64_t number, CGMessageHeaders& headers) {
    const std::string arguments = std::to_string(number) + " 0";
    if (!SendCommand("TOP", arguments.c_str()))
        return -1;
    if (Reader.ReadStatus(nullptr, true) != 0)
        return Reader.ConnectionFailed() ? -1 : 0;
    std::string block;
    const int read = Reader.ReadBody(
        [&](const char* piece, std::size_t n) { block.append(piece, n); }, MaxHeaderBytes);
    if (read != 1)
        return -1;
    headers = ParseMessageHeaders(block);
    return 1;
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

int CGPop3Dialogue::ReadCapabilities() {
    Capabilities = CGPop3Capabilities();
    if (!SendCommand("CAPA", nullptr))
        return -1;
    // A refusal is no list; a server that went away is a failed connection, not a sign
    // that someone removed an offer.
    if (Reader.ReadStatus(nullptr, true) != 0)
        return Reader.ConnectionFailed() ? -1 : 0;
    std::string lines;
    // A capability list is a few hundred bytes; one far longer is not worth following.
    const int read = Reader.ReadBody(
        [&](const char* piece, std::size_t n) { lines.append(piece, n); }, 64 * 1024);
    if (read != 1)
        return -1;
    Capabilities = ParseCapabilities(lines);
    return 1;
}

int CGPop3Dialogue::NegotiateStartTls(const char* host, CGTlsGate& gate) {
    if (ReadCapabilities() < 0)
        return 0;
    if (!Capabilities.Stls) // someone in between may have removed the offer
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
    // What the server said before the switch may have been changed by anyone in between:
    // asked again, encrypted.
    return ReadCapabilities() < 0 ? 0 : 1;
}

int CGPop3Dialogue::Visit(const char* host, int port, int useSSL, const char* user,
                          const char* password, CGTlsGate& gate, const char* bearer) {
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
    } else if (ReadCapabilities() < 0) {
        return Pop3NotReached;
    }
    if (bearer) {
        // A token opens the mailbox for as long as it lives: never in plain text.
        if (!useSSL && !gate.UsedStartTls)
            return Pop3Unencrypted;
        if (!OffersSasl("XOAUTH2"))
            return Pop3NoXoauth2;
        if (!*bearer)
            return Pop3TokenRefused; // no sign-in yet: nothing to send
        if (!LoginXoauth2(user, bearer))
            return Refusal;
    } else if (!Login(user, password)) {
        return Refusal;
    }
    CommitLearned(gate);
    return Pop3LoggedIn;
}

int CGPop3Dialogue::SendLine(const std::string& text) {
    const std::string line = text + "\r\n";
    const int length = static_cast<int>(line.size());
    return Connection.Write(line.data(), length) == length ? 1 : 0;
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
