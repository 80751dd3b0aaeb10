// The OpenSSL connection against a small TLS server of our own, which records the server
// name the client sends and can ask for old protocols or a renegotiation.
#include "net/cert_store.h"
#include "net/socket_platform.h"
#include "net/ssl_connection.h"
#include "support/tcp_peer.h"
#include "support/temp_dir.h"
#include "support/test_authority.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Before this process's first OpenSSL call, as at the program's start: a configuration file
// that would lower the TLS policy, where OpenSSL looks first. It must not be read.
const bool LoweredPolicyOffered = [] {
    static const TempDir folder;
    const std::string path = folder.File("openssl.cnf");
    WriteFileBytes(path, "openssl_conf = start\n[start]\nssl_conf = ssl\n"
                         "[ssl]\nsystem_default = policy\n"
                         "[policy]\nMinProtocol = TLSv1\nCipherString = DEFAULT@SECLEVEL=0\n");
#ifdef _WIN32
    _putenv_s("OPENSSL_CONF", path.c_str());
#else
    setenv("OPENSSL_CONF", path.c_str(), 1);
#endif
    StartOpenSsl();
    return true;
}();

struct ServerSetup {
    const TestCertificate* Identity = nullptr; // null: a self-signed one for "test"
    int MaxVersion = 0;                        // 0: the newest
    bool Renegotiate = false;                  // asks for it once the greeting is sent
};

// Accepts one TLS connection, notes the server name, sends a greeting, then reads until the
// client goes.
class OneShotTlsServer {
public:
    explicit OneShotTlsServer(ServerSetup setup = {}) : Setup(setup) {
        const TestCertificate& identity = Setup.Identity ? *Setup.Identity : Own;
        Ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(Ctx, identity.Cert);
        SSL_CTX_use_PrivateKey(Ctx, identity.Key);
        if (Setup.MaxVersion) {
            SSL_CTX_set_min_proto_version(Ctx, 0);
            SSL_CTX_set_max_proto_version(Ctx, Setup.MaxVersion);
            SSL_CTX_set_security_level(Ctx, 0); // TLS 1.1 signs with SHA-1
        }
        Listener = ListenLoopback(0, Port);
        Worker = std::thread([this] { Serve(); });
    }
    ~OneShotTlsServer() {
        if (Worker.joinable())
            Worker.join();
        CloseHandleOf(Listener);
        SSL_CTX_free(Ctx);
    }
    // The name the client sent, "" when none; after the client has gone.
    std::string ServerName() {
        Worker.join();
        return Name;
    }
    // Whether the renegotiation asked for completed; after the client has gone.
    bool Renegotiated() {
        Worker.join();
        return RenegotiationDone;
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
            if (Setup.Renegotiate && SSL_renegotiate(ssl))
                SSL_do_handshake(ssl);
            SSL_write(ssl, "+OK hi\r\n", 8);
        }
        char c;
        while (SSL_read(ssl, &c, 1) > 0) // until the client goes
            RenegotiationDone = Setup.Renegotiate && !SSL_renegotiate_pending(ssl);
        SSL_free(ssl);
        CloseHandleOf(s);
    }

    ServerSetup Setup;
    TestCertificate Own{"test"};
    SSL_CTX* Ctx = nullptr;
    CGSocketHandle Listener = InvalidSocket;
    std::thread Worker;
    std::string Name = "(no handshake)";
    bool RenegotiationDone = false;
};

// The socket under the connection's chain.
CGSocketHandle SocketOf(CGSslConnection& c) {
    int fd = -1;
    BIO_get_fd(c.Connection.get(), &fd);
    return static_cast<CGSocketHandle>(fd);
}

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
        EXPECT_EQ(TcpNoDelay(SocketOf(c)), 1) << "commands are not held back";
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

TEST(SslConnection, ANameVerifiesWhateverItsCaseAndTrailingDot) {
    const TestCertificate authority("Test Authority", nullptr, true);
    const TestCertificate certificate("pop.example.com", &authority);
    const CGCertStorePtr store(X509_STORE_new());
    X509_STORE_add_cert(store.get(), authority.Cert);
    struct Case {
        const char* Typed;
        int Problem;
        const char* Sent; // as server name
    };
    for (const Case& k : {Case{"pop.example.com", CertVerified, "pop.example.com"},
                          Case{"Pop.Example.COM.", CertVerified, "Pop.Example.COM"},
                          Case{"mail.example.com", CertNameMismatch, "mail.example.com"}}) {
        OneShotTlsServer server({&certificate});
        CGSslConnection c;
        SSL_CTX_set1_cert_store(c.SslContext.get(), store.get());
        c.Environment.Resolve = [](const char*, int port) {
            return DefaultNetEnvironment().Resolve("127.0.0.1", port);
        };
        ASSERT_EQ(c.Connect(k.Typed, server.Port, 1), 1) << k.Typed;
        EXPECT_EQ(c.Peer().Present, 1) << k.Typed;
        EXPECT_EQ(c.Peer().Problem, k.Problem) << k.Typed;
        c.Close();
        EXPECT_EQ(server.ServerName(), k.Sent);
    }
}

TEST(SslConnection, PolicyHoldsWhateverAConfigurationFileSays) {
    ASSERT_TRUE(LoweredPolicyOffered);
    // The file's security level 0 did not reach the context.
    CGSslConnection c;
    EXPECT_GE(SSL_CTX_get_security_level(c.SslContext.get()), 1);

    // Nothing older than TLS 1.2, even at a security level that would allow it.
    OneShotTlsServer old({nullptr, TLS1_1_VERSION});
    SSL_CTX_set_security_level(c.SslContext.get(), 0);
    EXPECT_EQ(c.Connect("127.0.0.1", old.Port, 1), 0);
    c.Close();

    // A server's request to renegotiate is refused; the connection itself goes on.
    OneShotTlsServer renegotiating({nullptr, TLS1_2_VERSION, true});
    CGSslConnection r;
    ASSERT_EQ(r.Connect("127.0.0.1", renegotiating.Port, 1), 1);
    EXPECT_EQ(Greeting(r), "+OK hi\r\n");
    EXPECT_EQ(r.Write("QUIT\r\n", 6), 6);
    r.Close();
    EXPECT_FALSE(renegotiating.Renegotiated());
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
    EXPECT_EQ(TcpNoDelay(SocketOf(c)), 1);
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
