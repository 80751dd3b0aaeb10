// The OpenSSL connection against a small TLS server of our own, which records the server
// name the client sends.
#include "net/cert_store.h"
#include "net/socket_platform.h"
#include "net/ssl_connection.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// A self-signed certificate made in memory.
struct SelfSigned {
    EVP_PKEY* Key = EVP_EC_gen("P-256");
    X509* Cert = X509_new();

    SelfSigned() {
        X509_set_version(Cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(Cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(Cert), 0);
        X509_gmtime_adj(X509_getm_notAfter(Cert), 3600);
        X509_set_pubkey(Cert, Key);
        X509_NAME* name = X509_get_subject_name(Cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("test"), -1, -1, 0);
        X509_set_issuer_name(Cert, name);
        X509_sign(Cert, Key, EVP_sha256());
    }
    ~SelfSigned() {
        X509_free(Cert);
        EVP_PKEY_free(Key);
    }
};

// Accepts one TLS connection, notes the server name, sends a greeting.
class OneShotTlsServer {
public:
    OneShotTlsServer() {
        Ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(Ctx, Identity.Cert);
        SSL_CTX_use_PrivateKey(Ctx, Identity.Key);
        Listener = ListenLoopback(0, Port);
        Worker = std::thread([this] { Serve(); });
    }
    ~OneShotTlsServer() {
        if (Worker.joinable())
            Worker.join();
        CloseHandleOf(Listener);
        SSL_CTX_free(Ctx);
    }
    // The name the client sent, "" when none; after the client has read the greeting.
    std::string ServerName() {
        Worker.join();
        return Name;
    }

    std::uint16_t Port = 0;

private:
    void Serve() {
        if (socket_platform::WaitReadable(Listener, 10, 0) <= 0)
            return;
        CGSocketHandle s = socket_platform::Accept(Listener);
        SSL* ssl = SSL_new(Ctx);
        SSL_set_fd(ssl, static_cast<int>(s));
        if (SSL_accept(ssl) == 1) {
            const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
            Name = name ? name : "";
            SSL_write(ssl, "+OK hi\r\n", 8);
        }
        char c;
        SSL_read(ssl, &c, 1); // until the client goes
        SSL_free(ssl);
        CloseHandleOf(s);
    }

    SelfSigned Identity;
    SSL_CTX* Ctx = nullptr;
    CGSocketHandle Listener = InvalidSocket;
    std::thread Worker;
    std::string Name = "(no handshake)";
};

std::string Greeting(CGSslConnection& c) {
    char buffer[16] = {};
    int got = 0;
    while (got < 8) {
        int n = c.Read(buffer + got, 8 - got);
        if (n <= 0)
            break;
        got += n;
    }
    return std::string(buffer, static_cast<std::size_t>(got));
}

TEST(SslConnection, ServerNameIsSentForNamesOnly) {
    struct Case {
        const char* Host;
        const char* Expected;
    };
    for (const Case& k : {Case{"localhost", "localhost"}, Case{"127.0.0.1", ""}}) {
        OneShotTlsServer server;
        CGSslConnection c;
        ASSERT_EQ(c.Connect(k.Host, server.Port, 1), 1) << k.Host;
        EXPECT_EQ(Greeting(c), "+OK hi\r\n");
        c.Close();
        EXPECT_EQ(server.ServerName(), k.Expected) << k.Host;
    }
    EXPECT_TRUE(IsAddressLiteral("::1"));
    EXPECT_TRUE(IsAddressLiteral("10.0.0.1"));
    EXPECT_FALSE(IsAddressLiteral("pop.example.com"));
    EXPECT_FALSE(IsAddressLiteral("10.0.0"));
    EXPECT_FALSE(IsAddressLiteral(""));
}

TEST(SslConnection, EachObjectHasItsOwnContext) {
    auto first = std::make_unique<CGSslConnection>();
    CGSslConnection second;
    ASSERT_NE(first->SslContext, nullptr);
    EXPECT_NE(first->SslContext, second.SslContext);
    // ...around the process's one certificate store, read once.
    EXPECT_NE(SharedCertificateStore(), nullptr);
    EXPECT_EQ(SSL_CTX_get_cert_store(first->SslContext.get()), SharedCertificateStore());
    EXPECT_EQ(SSL_CTX_get_cert_store(second.SslContext.get()), SharedCertificateStore());
    first.reset(); // never connected: nothing but the context to free
    OneShotTlsServer server;
    ASSERT_EQ(second.Connect("127.0.0.1", server.Port, 1), 1);
    EXPECT_EQ(Greeting(second), "+OK hi\r\n");
    second.Close(); // the server waits for the client to go
}

TEST(SslConnection, SilenceEndsAReadAtTheTimeOut) {
    std::uint16_t port = 0;
    CGSocketHandle listener = ListenLoopback(0, port);
    CGSslConnection c;
    c.Timeouts.ReadMs = 200;
    ASSERT_EQ(c.Connect("127.0.0.1", port, 0), 1); // the backlog accepts for us
    char byte;
    EXPECT_LE(c.Read(&byte, 1), 0);
    // A TLS handshake with a peer that never answers fails the same way.
    c.Timeouts.ConnectMs = 200;
    EXPECT_EQ(c.Connect("127.0.0.1", port, 1), 0);
    CloseHandleOf(listener);
}

TEST(SslConnection, EachAddressGetsItsShareOfTheConnectTime) {
    // A listener whose accept queue is full lets connections go unanswered, as a broken
    // route does.
    std::uint16_t silentPort = 0;
    std::uint16_t goodPort = 0;
    CGSocketHandle silent = ListenLoopback(0, silentPort, 0);
    CGSocketHandle filler = ConnectLoopback(silentPort);
    CGSocketHandle good = ListenLoopback(0, goodPort);
    ASSERT_NE(filler, InvalidSocket);
    const CGNetEnvironment system = DefaultNetEnvironment();
    const std::vector<CGPeerAddress> silentAt = system.Resolve("127.0.0.1", silentPort);
    const std::vector<CGPeerAddress> goodAt = system.Resolve("127.0.0.1", goodPort);
    ASSERT_EQ(silentAt.size(), 1u);
    ASSERT_EQ(goodAt.size(), 1u);
    const CGPeerAddress silentAddress = silentAt[0];
    const CGPeerAddress goodAddress = goodAt[0];

    CGSslConnection c;
    c.Timeouts.ConnectMs = 2000;
    auto timeToConnect = [&](std::vector<CGPeerAddress> addresses, int expected) {
        c.Environment.Resolve = [addresses](const char*, int) { return addresses; };
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.Connect("pop.example", 110, 0), expected);
        c.Close();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
    // The silent first address has half the time; the second is reached within the budget.
    const auto reached = timeToConnect({silentAddress, goodAddress}, 1);
    EXPECT_GE(reached, 900);
    EXPECT_LT(reached, 1900);
    // Addresses that all stay silent still end the connect at its budget.
    const auto failed = timeToConnect({silentAddress, silentAddress, silentAddress}, 0);
    EXPECT_GE(failed, 1900);
    EXPECT_LT(failed, 2500);

    CloseHandleOf(good);
    CloseHandleOf(filler);
    CloseHandleOf(silent);
}

} // namespace
