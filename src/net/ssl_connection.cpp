#include "net/ssl_connection.h"

#include "net/cert_store.h"
#include "net/socket_wait.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace {

int LookUp(const char* host, const char* service, int flags, addrinfo** found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    return getaddrinfo(host, service, &hints, found) == 0 ? 1 : 0;
}

std::vector<CGPeerAddress> ResolveWithSystem(const char* host, int port) {
    std::vector<CGPeerAddress> out;
    if (!BIO_sock_init()) // starts Winsock once, as a lookup needs
        return out;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo* found = nullptr;
    // Only the families this machine has an address for; a literal address is taken as it is
    // even when that leaves none (a machine with nothing but loopback).
    if (!LookUp(host, service, AI_ADDRCONFIG, &found) &&
        !LookUp(host, service, AI_NUMERICHOST, &found))
        return out;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        CGPeerAddress peer;
        peer.Family = a->ai_family;
        peer.Sockaddr.assign(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen);
        out.push_back(std::move(peer));
    }
    return out;
}

} // namespace

CGSslConnection::CGSslConnection() {
    IgnoreBrokenPipes();
    StartOpenSsl();
    SslContext.reset(SSL_CTX_new(TLS_client_method()));
    X509_STORE* store = SharedCertificateStore();
    // No verification mode: the handshake completes and the verdict is read afterwards
    // (DescribePeer), so that a self-signed server can be recognised by its key.
    if (SslContext && store)
        SSL_CTX_set1_cert_store(SslContext.get(), store);
    if (SslContext) {
        // Whatever the library's defaults: nothing older than TLS 1.2, and no renegotiation
        // (a server's request for one is refused), which no mailbox needs.
        SSL_CTX_set_min_proto_version(SslContext.get(), TLS1_2_VERSION);
        SSL_CTX_set_options(SslContext.get(), SSL_OP_NO_RENEGOTIATION);
    }
    ERR_clear_error();
}

CGSslConnection::~CGSslConnection() {
    Close();
}

int CGSslConnection::Connect(const char* host, int port, int useSSL) {
    Close(); // never leave a connection open under a new one
    {
        std::lock_guard<std::mutex> lock(SocketGuard);
        if (Interrupted)
            return 0;
    }
    if (!host)
        host = "";
    if (!ConnectPlainPart(host, port))
        return 0;
    if (useSSL && !Handshake(host))
        return 0;
    ApplySocketTimeouts(Timeouts.ReadMs, Timeouts.WriteMs);
    return 1;
}

int CGSslConnection::StartTls(const char* host) {
    if (!Connection || Ssl)
        return 0;
    // Bytes the server sent with its consent belong to the plain conversation: a reader
    // that buffered them sees a new connection and drops them.
    ++ConnectionSerial;
    if (!Handshake(host ? host : ""))
        return 0;
    ApplySocketTimeouts(Timeouts.ReadMs, Timeouts.WriteMs);
    return 1;
}

int CGSslConnection::ConnectPlainPart(const char* host, int port) {
    // Resolved and connected here rather than by OpenSSL's connect chain: its non-blocking
    // connect never notices a refused connection on Winsock, which reports that as an
    // exception rather than as writable.
    std::vector<CGPeerAddress> addresses;
    try {
        if (host[0] && Environment.Resolve)
            addresses = Environment.Resolve(host, port);
    } catch (...) {
        return 0; // out of memory while resolving: this attempt fails, nothing else
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(Timeouts.ConnectMs);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        // Each address gets its share of what is left, so one that silently drops the
        // connection (a broken IPv6 route, say) cannot use up the time of the others.
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        const auto share = (deadline - now) / static_cast<long long>(addresses.size() - i);
        if (ConnectAddress(addresses[i], now + share)) {
            ERR_clear_error();
            return 1;
        }
    }
    ERR_clear_error();
    return 0;
}

int CGSslConnection::ConnectAddress(const CGPeerAddress& address,
                                    std::chrono::steady_clock::time_point deadline) {
    const int fd = BIO_socket(address.Family, SOCK_STREAM, 0, 0);
    if (fd < 0)
        return 0;
    if (!TrackSocket(fd)) {
        BIO_closesocket(fd); // not tracked, so Interrupt() cannot have closed it
        return 0;
    }
    if (NoDelay)
        BIO_set_tcp_ndelay(fd, 1);
    // The socket address as resolved, so that an IPv6 scope survives.
    int ok = BIO_socket_nbio(fd, 1) &&
             connect(fd, reinterpret_cast<const sockaddr*>(address.Sockaddr.data()),
                     static_cast<int>(address.Sockaddr.size())) == 0;
    if (!ok && BIO_sock_should_retry(-1)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        ok = left > 0 && WaitSocketWritable(fd, static_cast<int>(left)) > 0 &&
             BIO_sock_error(fd) == 0;
    }
    if (ok)
        ok = BIO_socket_nbio(fd, 0);
    CGBioChainPtr chain(ok ? BIO_new_socket(fd, BIO_CLOSE) : nullptr);
    if (!chain) {
        ReleaseSocket(fd);
        return 0;
    }
    Connection = std::move(chain);
    return 1;
}

int CGSslConnection::Handshake(const char* typed) {
    // "pop.example.com." names the same server as "pop.example.com", but a server name in the
    // handshake carries no trailing dot, and certificates never do.
    std::string host = typed;
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    // The handshake's reads and writes share the connect time-out.
    ApplySocketTimeouts(Timeouts.ConnectMs, Timeouts.ConnectMs);
    CGBioChainPtr sslBio(BIO_new_ssl(SslContext.get(), 1));
    if (!sslBio) {
        ERR_clear_error();
        return 0;
    }
    BIO_get_ssl(sslBio.get(), &Ssl);
    SSL_set_mode(Ssl, SSL_MODE_AUTO_RETRY);
    // Servers that route TLS by name refuse a handshake without one. The certificate must
    // name the host the user typed, or the address when that is what was typed.
    // OpenSSL's host check ignores ASCII case, as names do.
    if (!host.empty() && !IsAddressLiteral(host.c_str())) {
        SSL_set_tlsext_host_name(Ssl, host.c_str());
        if (ExaminePeer) {
            SSL_set_hostflags(Ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            SSL_set1_host(Ssl, host.c_str());
        }
    } else if (!host.empty() && ExaminePeer) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(Ssl), host.c_str());
    }
    // The TLS link goes on top of the socket link and the chain owns both from here.
    BIO_push(sslBio.get(), Connection.release());
    Connection = std::move(sslBio);
    if (BIO_do_handshake(Connection.get()) <= 0) {
        ERR_clear_error();
        return 0;
    }
    if (ExaminePeer)
        PeerSeen = DescribePeer(Ssl);
    ERR_clear_error();
    return 1;
}

void CGSslConnection::ApplySocketTimeouts(int readMs, int writeMs) {
    std::lock_guard<std::mutex> lock(SocketGuard);
    if (Socket >= 0)
        SetSocketTimeouts(Socket, readMs, writeMs);
}

int CGSslConnection::Read(char* buffer, int size) {
    if (!Connection || size <= 0)
        return -1;
    int n = BIO_read(Connection.get(), buffer, size);
    if (n <= 0) {
        if (!BIO_should_retry(Connection.get()))
            n = 0;
        ERR_clear_error();
    }
    return n;
}

int CGSslConnection::Write(const char* data, int length) {
    if (!Connection)
        return -1;
    int n = BIO_write(Connection.get(), data, length);
    if (n <= 0) {
        if (!BIO_should_retry(Connection.get()))
            n = 0;
        ERR_clear_error();
    }
    return n;
}

int CGSslConnection::CanVerify() const {
    return Environment.HasAuthorities ? Environment.HasAuthorities()
                                      : CertificateStoreHasAuthorities();
}

void CGSslConnection::Close() {
    std::lock_guard<std::mutex> lock(SocketGuard);
    Connection.reset(); // closes the socket and frees the TLS object with it
    Ssl = nullptr;
    Socket = -1;
    ++ConnectionSerial;
    PeerSeen = CGPeerCertificate();
}

void CGSslConnection::Interrupt() {
    std::lock_guard<std::mutex> lock(SocketGuard);
    Interrupted = true;
    if (Socket >= 0)
        ShutdownSocket(Socket);
}

void CGSslConnection::ReleaseSocket(int fd) {
    std::lock_guard<std::mutex> lock(SocketGuard);
    BIO_closesocket(fd);
    Socket = -1;
}

int CGSslConnection::TrackSocket(int fd) {
    std::lock_guard<std::mutex> lock(SocketGuard);
    if (fd < 0 || Interrupted)
        return 0;
    Socket = fd;
    return 1;
}

void CGSslConnection::Attach(BIO* chain) {
    Close();
    Connection.reset(chain);
}

CGNetEnvironment DefaultNetEnvironment() {
    CGNetEnvironment environment;
    environment.Resolve = ResolveWithSystem;
    return environment;
}

bool IsAddressLiteral(const char* host) {
    if (!host || !host[0])
        return false;
    ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host);
    if (!ip)
        return false;
    ASN1_OCTET_STRING_free(ip);
    return true;
}
