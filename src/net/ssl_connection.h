#pragma once

#include "net/net_environment.h"
#include "net/peer_certificate.h"
#include "net/ssl_holders.h"

#include <chrono>
#include <mutex>

// OpenSSL's type, declared here so that users of the transport need not include OpenSSL.
typedef struct ssl_st SSL;

// Time-outs of the network steps, in milliseconds. A step that runs out fails like any
// other failure of that step.
struct CGNetTimeouts {
    // Name resolution aside: the TCP connect (shared among the host's addresses), then the
    // TLS handshake.
    int ConnectMs = 30000;
    int ReadMs = 60000;  // silence allowed on one read
    int WriteMs = 60000; // one write waiting for room
};

// One mailbox connection through OpenSSL I/O chains: a connect chain, with a TLS chain on
// top for encrypted connections, so that its users never need to know which kind they have.
// Every object owns its own client context (TLS 1.2 or newer, no renegotiation), which
// shares the process's one certificate store (net/cert_store.h). A handshake completes
// whatever the certificate, since users of self-signed servers rely on that; what the chain
// and the host name proved is left in Peer, and the caller decides whether to go on before
// it sends anything that matters.
class CGSslConnection {
public:
    CGSslConnection();
    ~CGSslConnection();
    CGSslConnection(const CGSslConnection&) = delete;
    CGSslConnection& operator=(const CGSslConnection&) = delete;

    // Connects to host (a name or an address) on port, with a TLS handshake when useSSL is non-zero
    // (sending the host as server name unless it is an address; a name's trailing dot is not part
    // of it there nor in the certificate check). 1 = connected, 0 = failed; after a failure the
    // failed chain stays until Close().
    int Connect(const char* host, int port, int useSSL);
    // Makes the TLS handshake over the plain connection that is open (after a server agreed
    // to STARTTLS). 1 = encrypted from here on; 0 = failed (the connection is then unusable).
    // Nothing that arrived before the handshake is read through the encrypted connection.
    int StartTls(const char* host);
    // Blocking read of 1 to size bytes; 0 when the peer closed, negative on an error or
    // time-out.
    int Read(char* buffer, int size);
    // Blocking write; the bytes written, 0 or less on failure or time-out.
    int Write(const char* data, int length);
    // Frees the whole chain (no TLS close notification); harmless without a connection.
    void Close();
    // Callable from any thread: makes a step blocked on this connection fail (at once with
    // BSD sockets, at the latest at its time-out under Winsock) and every later Connect fail;
    // the owner is going away. The owner still closes.
    void Interrupt();
    bool IsOpen() const { return Connection != nullptr; }
    // 1 when a certificate can verify at all (Environment, else the process's store).
    int CanVerify() const;

    // Takes over an already built chain (for example a memory BIO), as if Connect had made
    // it. Used to feed recorded or generated server replies to the session.
    void Attach(BIO* chain);
    // Changes with every Connect, Attach and Close: a reader that buffers what it read can
    // tell that its bytes belong to a connection that is gone.
    unsigned long long Serial() const { return ConnectionSerial; }
    // What the last handshake of this connection showed; cleared by Connect and Close.
    const CGPeerCertificate& Peer() const { return PeerSeen; }

    CGNetTimeouts Timeouts;
    // False skips the host check and the look at the certificate, leaving Peer empty (so
    // that nothing trusts the connection): only for measuring what they cost.
    bool ExaminePeer = true;
    // False leaves Nagle's algorithm on the socket: only for measuring what it costs. Our
    // commands are single short lines, and a line held back until the server acknowledges the
    // last one waits for its delayed acknowledgement (40 ms after a TLS 1.3 handshake).
    bool NoDelay = true;
    CGNetEnvironment Environment = DefaultNetEnvironment();

    CGBioChainPtr Connection;   // null when nothing is open
    CGSslContextPtr SslContext; // for the object's whole life
    SSL* Ssl = nullptr;         // not owned: inside Connection, freed with it

private:
    int ConnectPlainPart(const char* host, int port);
    int ConnectAddress(const CGPeerAddress& address,
                       std::chrono::steady_clock::time_point deadline);
    // Closes the socket of a failed attempt and forgets it.
    void ReleaseSocket(int fd);
    int Handshake(const char* host);
    void ApplySocketTimeouts(int readMs, int writeMs);
    // Remembers the socket so that Interrupt() can reach it; 0 when interrupted already.
    int TrackSocket(int fd);

    std::mutex SocketGuard;                  // Interrupt() against Close() replacing the socket
    unsigned long long ConnectionSerial = 0; // the owner's thread only
    long long Socket = -1; // the chain's socket while a connection is open, else -1
    bool Interrupted = false;
    CGPeerCertificate PeerSeen;
};

// True when host is a literal IPv4 or IPv6 address rather than a name.
bool IsAddressLiteral(const char* host);
