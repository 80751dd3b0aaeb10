#pragma once

#include "mail/pop3_reader.h"
#include "net/peer_certificate.h"

#include <cstdint>
#include <functional>
#include <string>

class CGSslConnection;
class CGUidlList;
class CGMessageNumbers;
struct CGMessageHeaders;

// How far a visit to a mailbox got (CGPop3Dialogue::Visit).
enum : int {
    Pop3NotReached = 0,   // no connection, or no positive greeting
    Pop3LoginRefused = 1, // a POP3 server, which did not take the user name and password
    Pop3LoggedIn = 2,
    Pop3Untrusted = 3,    // the certificate did not prove the server: nothing was sent to it
    Pop3Unencrypted = 4,  // encryption is required and was not offered: nothing was sent
    Pop3LoginDelayed = 5, // refused for now: logins come too often for the server
    Pop3LoginBusy = 6,    // refused for now: the mailbox is in use, or the server is in trouble
    Pop3NoXoauth2 = 7,    // signed in, and the server does not take tokens: nothing was sent
    Pop3TokenRefused = 8, // the server refused the access token
};

// What a server said of itself in reply to CAPA (RFC 2449); all 0 when it gave no list.
struct CGPop3Capabilities {
    int Stls = 0;
    int RespCodes = 0;  // RESP-CODES or AUTH-RESP-CODE: a refusal's "[...]" is a code
    int LoginDelay = 0; // seconds the server wants between logins ("LOGIN-DELAY n")
    int Top = 0;
    std::string Sasl; // the mechanisms of the SASL line, as listed
};
// Reads a capability list (the body of a CAPA reply).
CGPop3Capabilities ParseCapabilities(const std::string& lines);

// What a refusal of USER or PASS means (its response code, RFC 2449 and 3206, honoured only
// when the server announced them): Pop3LoginDelayed, Pop3LoginBusy or Pop3LoginRefused.
int ClassifyRefusal(const std::string& line, const CGPop3Capabilities& capabilities);

// Account key values of CGTlsGate::CertPin besides a key pin.
inline constexpr const char* CertPinAuthority = "ca"; // the chain verified against the store

// What an account knows about proving its server, handed to a visit and updated by it.
// Before USER is sent, a visit goes on only when
//   - the certificate verified, or its key is the pinned one, or nothing is pinned yet and
//     first use may pin (trust on first use); a changed key or a failed chain after "ca"
//     stops it;
//   - on a plain connection, the server switched to TLS when it offered to (a refused or
//     failed switch stops it unless the user chose PlainLogin and STARTTLS was never used),
//     or it did not offer and StartTls is not required.
// What a visit learns (CertPin "ca" or a first key, StartTls once used) is kept only once the
// server took the login on that connection: a stranger who completes a handshake and hangs
// up plants nothing.
struct CGTlsGate {
    std::string CertPin; // "", CertPinAuthority or a 64-hex key pin
    int StartTls = 0;    // 1: a plain connection must be switched to TLS
    int PlainLogin = 0;  // the user allows a plain login when the switch fails
    // Only a certificate that verifies will do (a preset provider's host): no first use, no
    // question.
    int AuthorityOnly = 0;
    // Nothing may be pinned silently (there are no authorities to verify against), though
    // the user may still be asked.
    int NoFirstUse = 0;
    // When set, a certificate that neither verifies nor matches the pin is put to it
    // (the probe's user) instead of the rule above: 1 = trust it, and its key becomes the pin
    // at once (the user decided).
    std::function<int(const CGPeerCertificate&)> Ask;

    CGPeerCertificate Peer; // what the last handshake showed
    int UsedStartTls = 0;   // the plain connection was switched to TLS
    int StartTlsFailed = 0; // STLS was offered, then refused or its handshake failed
    int Asked = 0;          // the user was asked about a certificate and said yes
    std::string Pending;    // CertPin to adopt once the login succeeds
    int Learned = 0;        // CertPin or StartTls changed (kept)
};

// Adopts what the visit learned; called once the server took the login.
void CommitLearned(CGTlsGate& gate);

// The certificate rule of CGTlsGate, applied to gate.Peer: 1 = go on (with a new CertPin
// pending, or adopted when the user said yes), 0 = stop.
int JudgeCertificate(CGTlsGate& gate);

// The client's side of a POP3 conversation, as explicit steps over one connection: connect,
// greeting, USER and PASS, UIDL and its listing. The checking thread and the server probe
// both go through it. Never sends QUIT: closing the connection ends the conversation.
class CGPop3Dialogue {
public:
    explicit CGPop3Dialogue(CGSslConnection& connection);

    // The steps, in the order a visit takes them.
    // Connects (with a TLS handshake when useSSL is non-zero); 1 when connected.
    int Connect(const char* host, int port, int useSSL);
    // 1 when the server greeted with "+OK".
    int ReadGreeting();
    // USER, then PASS; 1 when both were accepted, else 0 with Refusal saying why (a
    // Pop3Login... value). Null texts go as bare verbs.
    int Login(const char* user, const char* password);
    // SASL XOAUTH2 with an access token, in the two-line form (the token after the server's
    // "+"), which Microsoft's POP server requires. 1 when accepted; else 0 with Refusal:
    // Pop3NoXoauth2 when the server refused the mechanism itself, Pop3TokenRefused (or a
    // Pop3Login... value given by a response code) when it refused the token.
    int LoginXoauth2(const char* user, const char* token);
    // Whether the last CAPA listed mechanism among the SASL ones.
    bool OffersSasl(const char* mechanism) const;
    // CAPA: 1 when the server listed its capabilities (now in Capabilities), 0 when it
    // refused, -1 when the connection failed.
    int ReadCapabilities();
    // After a completed conversation: QUIT, and its reply awaited (at most the reply
    // time-out), so that the server ends the session its own way.
    void Quit();
    // Sends UIDL and reads the reply: 0 = the listing follows, -2 = refused with the login
    // limit, -1 = anything else.
    int RequestListing();
    // Streams the listing into into (a fresh table), each line's message number into numbers
    // when given: 1 when it arrived whole, 0 when the connection failed first, -1 when it grew
    // past limit bytes.
    int ReceiveListing(CGUidlList& into, std::size_t limit = CGPop3Reader::MaxBodyBytes,
                       CGMessageNumbers* numbers = nullptr);
    // TOP number 0: the message's headers, never its body. 1 = read into headers, 0 = refused
    // (the conversation goes on), -1 = the connection failed or the reply grew past
    // MaxHeaderBytes (the conversation is out of step).
    int ReadHeaders(std::uint64_t number, CGMessageHeaders& headers);
    static constexpr std::size_t MaxHeaderBytes = 64 * 1024;

    // Judges the certificate of the handshake just made (the rule of CGTlsGate); 1 = go on.
    int AcceptCertificate(CGTlsGate& gate);
    // After the greeting on a plain connection: CAPA, and STLS with a handshake when the
    // server offers it. 1 = go on, 0 = the connection failed, StartTlsBroken = the server
    // agreed but the handshake failed (the connection is unusable), Pop3Untrusted or
    // Pop3Unencrypted = stop.
    static constexpr int StartTlsBroken = -1;
    int NegotiateStartTls(const char* host, CGTlsGate& gate);

    // Connect, certificate and encryption, greeting and login: how far it got
    // (Pop3NotReached ...). With a bearer (access) token the login is XOAUTH2, only inside
    // TLS and only when the server offers it; the password is never sent then. An empty
    // token goes nowhere (Pop3TokenRefused): the server and its certificate are checked.
    int Visit(const char* host, int port, int useSSL, const char* user, const char* password,
              CGTlsGate& gate, const char* bearer = nullptr);

    // What the steps are made of.
    // Sends "verb argument\r\n" (or "verb\r\n" for a null argument); 1 when all was written.
    // An overlong line is cut, but keeps its CR LF.
    int SendCommand(const char* verb, const char* argument);
    // Sends text and CR LF whatever its length (a SASL response is no command); 1 when written.
    int SendLine(const std::string& text);
    CGPop3Reader Reader;
    // What the last CAPA of this connection said (empty after Connect).
    CGPop3Capabilities Capabilities;
    int Refusal = Pop3LoginRefused; // why the last Login failed

private:
    CGSslConnection& Connection; // not owned: the session's or the probe's transport
};
