#include "net/ssl_connection.h"

#include "net/socket_wait.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <sys/socket.h>
#endif

namespace {

std::vector<CGPeerAddress> ResolveWithSystem(const char* host, int port) {
    std::vector<CGPeerAddress> out;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    BIO_ADDRINFO* found = nullptr;
    if (!BIO_lookup_ex(host, service, BIO_LOOKUP_CLIENT, AF_UNSPEC, SOCK_STREAM, 0, &found)) {
        ERR_clear_error();
        return out;
    }
    const std::unique_ptr<BIO_ADDRINFO, decltype(&BIO_ADDRINFO_free)> owner(found,
                                                                            BIO_ADDRINFO_free);
    for (const BIO_ADDRINFO* a = found; a; a = BIO_ADDRINFO_next(a)) {
        const BIO_ADDR* address = BIO_ADDRINFO_address(a);
        std::size_t length = 0;
        if (!BIO_ADDR_rawaddress(address, nullptr, &length) || length > 16)
            continue;
        CGPeerAddress peer;
        peer.Family = BIO_ADDR_family(address);
        peer.Bytes.resize(length);
        BIO_ADDR_rawaddress(address, peer.Bytes.data(), &length);
        peer.Port = ntohs(BIO_ADDR_rawport(address));
        out.push_back(std::move(peer));
    }
    return out;
}

} // namespace

CGSslConnection::CGSslConnection() {
    IgnoreBrokenPipes();
    // The library initialises itself once per process; asking again is harmless.
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    SslContext = SSL_CTX_new(TLS_client_method());
    if (SslContext) {
        // Loaded for users who keep one, but it never decides anything: no verification
        // mode is set, so self-signed and expired certificates are accepted.
        SSL_CTX_load_verify_locations(SslContext, "cacert.pem", nullptr);
    }
    ERR_clear_error(); // a missing "cacert.pem" leaves an error that is not ours to report
}

CGSslConnection::~CGSslConnection() {
    Close();
    if (SslContext) {
        SSL_CTX_free(SslContext);
        SslContext = nullptr;
    }
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
    const std::unique_ptr<BIO_ADDR, decltype(&BIO_ADDR_free)> peer(BIO_ADDR_new(), BIO_ADDR_free);
    if (!peer ||
        !BIO_ADDR_rawmake(peer.get(), address.Family, address.Bytes.data(), address.Bytes.size(),
                          htons(static_cast<unsigned short>(address.Port))))
        return 0;
    const int fd = BIO_socket(address.Family, SOCK_STREAM, 0, 0);
    if (fd < 0)
        return 0;
    if (!TrackSocket(fd)) {
        BIO_closesocket(fd); // not tracked, so Interrupt() cannot have closed it
        return 0;
    }
    int ok = BIO_connect(fd, peer.get(), BIO_SOCK_NONBLOCK);
    if (!ok && BIO_sock_should_retry(-1)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        ok = left > 0 && WaitSocketWritable(fd, static_cast<int>(left)) > 0 &&
             BIO_sock_error(fd) == 0;
    }
    if (ok)
        ok = BIO_socket_nbio(fd, 0);
    BIO* chain = ok ? BIO_new_socket(fd, BIO_CLOSE) : nullptr;
    if (!chain) {
        ReleaseSocket(fd);
        return 0;
    }
    Connection = chain;
    return 1;
}

int CGSslConnection::Handshake(const char* host) {
    // The handshake's reads and writes share the connect time-out.
    ApplySocketTimeouts(Timeouts.ConnectMs, Timeouts.ConnectMs);
    BIO* sslBio = BIO_new_ssl(SslContext, 1);
    if (!sslBio) {
        ERR_clear_error();
        return 0;
    }
    BIO_get_ssl(sslBio, &Ssl);
    SSL_set_mode(Ssl, SSL_MODE_AUTO_RETRY);
    // Servers that route TLS by name refuse a handshake without one.
    if (host[0] && !IsAddressLiteral(host))
        SSL_set_tlsext_host_name(Ssl, host);
    Connection = BIO_push(sslBio, Connection);
    if (BIO_do_handshake(Connection) <= 0) {
        ERR_clear_error();
        return 0;
    }
    (void)SSL_get_verify_result(Ssl); // consulted by no one: every certificate is accepted
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
    int n = BIO_read(Connection, buffer, size);
    if (n <= 0) {
        if (!BIO_should_retry(Connection))
            n = 0;
        ERR_clear_error();
    }
    return n;
}

int CGSslConnection::Write(const char* data, int length) {
    if (!Connection)
        return -1;
    int n = BIO_write(Connection, data, length);
    if (n <= 0) {
        if (!BIO_should_retry(Connection))
            n = 0;
        ERR_clear_error();
    }
    return n;
}

void CGSslConnection::Close() {
    std::lock_guard<std::mutex> lock(SocketGuard);
    if (Connection) {
        BIO_free_all(Connection); // closes the socket and frees the TLS object with it
        Connection = nullptr;
    }
    Ssl = nullptr;
    Socket = -1;
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
    Connection = chain;
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
