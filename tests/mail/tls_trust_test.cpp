// Certificates and STARTTLS against real peers: those tests/support/tls_peers.py starts
// around this binary. The process's certificate store holds only the test authority.
// Every case goes through the checking thread, so status, line and learned keys are what
// the program shows and stores.
#include "mail/account.h"
#include "support/counting_sink.h"
#include "support/dovecot_peer.h"
#include "support/temp_dir.h"
#include "support/test_authority.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::uint16_t PortOf(const char* name) {
    return static_cast<std::uint16_t>(std::atoi(Env(name).c_str()));
}

// Chosen before the store is first used, whatever this machine trusts.
[[maybe_unused]] const bool TestAuthorityOnly = [] {
    const std::string authority = Env("VARNOCLE_TLS_CACERT");
    TrustOnly(authority.empty() ? "" : PeerPath(authority));
    return true;
}();

struct Peers {
    bool Available = false;
    std::uint16_t SelfTls = 0, SignedTls = 0, SignedPlain = 0, Strict = 0;
    std::uint16_t Mitm = 0, Strip = 0, NoCapa = 0, Inject = 0, Break = 0, HangUp = 0, StlsMitm = 0;
    std::string StrictAddress, SelfCertificate, SignedCertificate;
    std::string MitmLog, StripLog, NoCapaLog, BreakLog, StlsMitmLog;
};

const Peers& P() {
    static const Peers peers = [] {
        Peers p;
        const std::string dir = Env("VARNOCLE_TLS_DIR");
        p.Available = !dir.empty();
        p.SelfTls = PortOf("VARNOCLE_TLS_SELF_TLS_PORT");
        p.SignedTls = PortOf("VARNOCLE_TLS_SIGNED_TLS_PORT");
        p.SignedPlain = PortOf("VARNOCLE_TLS_SIGNED_PLAIN_PORT");
        p.Strict = PortOf("VARNOCLE_TLS_STRICT_PORT");
        p.Mitm = PortOf("VARNOCLE_TLS_MITM_PORT");
        p.Strip = PortOf("VARNOCLE_TLS_STRIP_PORT");
        p.NoCapa = PortOf("VARNOCLE_TLS_NOCAPA_PORT");
        p.Inject = PortOf("VARNOCLE_TLS_INJECT_PORT");
        p.Break = PortOf("VARNOCLE_TLS_BREAK_PORT");
        p.HangUp = PortOf("VARNOCLE_TLS_HANGUP_PORT");
        p.StlsMitm = PortOf("VARNOCLE_TLS_STLSMITM_PORT");
        p.StrictAddress = Env("VARNOCLE_TLS_STRICT_ADDRESS");
        p.SelfCertificate = PeerPath(dir + "/self/cert.pem");
        p.SignedCertificate = PeerPath(dir + "/signed/cert.pem");
        p.MitmLog = PeerPath(Env("VARNOCLE_TLS_MITM_LOG"));
        p.StripLog = PeerPath(Env("VARNOCLE_TLS_STRIP_LOG"));
        p.NoCapaLog = PeerPath(Env("VARNOCLE_TLS_NOCAPA_LOG"));
        p.BreakLog = PeerPath(Env("VARNOCLE_TLS_BREAK_LOG"));
        p.StlsMitmLog = PeerPath(Env("VARNOCLE_TLS_STLSMITM_LOG"));
        return p;
    }();
    return peers;
}

#define SKIP_WITHOUT_PEERS()                                                                       \
    if (!P().Available)                                                                            \
    GTEST_SKIP() << "runs under tests/support/tls_peers.py"

// SHA-256 of the certificate's SubjectPublicKeyInfo in lowercase hex, from the server's own
// file rather than from anything the connection saw.
std::string KeyPin(const std::string& certificateFile) {
    const std::string pem = ReadFileBytes(certificateFile);
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!certificate)
        return "unreadable " + certificateFile;
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(der, static_cast<std::size_t>(length), digest, &size, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    X509_free(certificate);
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        hex += "0123456789abcdef"[digest[i] >> 4];
        hex += "0123456789abcdef"[digest[i] & 15];
    }
    return hex;
}

// Whether a relay's or server's log holds a line the client sent beginning with verb.
bool Sent(const std::string& log, const std::string& verb) {
    const std::string text = "\n" + ReadFileBytes(log);
    return text.find("\n" + verb) != std::string::npos;
}

// The system's resolver, and "mail.other.test" and a preset provider's host for 127.0.0.1:
// names that the certificates of the test servers do not hold.
CGNetEnvironment AnotherName() {
    CGNetEnvironment net;
    net.Resolve = [](const char* host, int port) {
        const bool other =
            std::string(host) == "mail.other.test" || std::string(host) == "pop.gmail.com";
        return DefaultNetEnvironment().Resolve(other ? "127.0.0.1" : host, port);
    };
    return net;
}

// An account checked by its own thread; only check-now starts another attempt.
struct Watched {
    CountingSink Sink; // declared first: it must outlive the account's thread
    CGAccount Account{0x8000};

    Watched(const std::string& host, std::uint16_t port, int tls, const char* pin = "",
            int startTls = 0, const char* password = "secret", int authorities = 1) {
        CGServerSettings s;
        s.Server.Assign(host.c_str());
        s.Username.Assign("user");
        s.Password.Assign(password);
        s.UseSSL = tls;
        s.Port = port;
        s.CheckMinutes = 100000;
        s.CertPin = pin;
        s.StartTls = startTls;
        Account.ApplySettings(s);
        Account.TickMilliseconds = 20;
        Account.Session.Transport.Environment = AnotherName();
        if (!authorities)
            Account.Session.Transport.Environment.HasAuthorities = [] { return 0; };
        Sink.StatusSource = &Account.Status;
        Account.NotifySink = &Sink;
        Account.Start();
    }
    // The status of the attempt numbered n (1 = the first), or 99 when it did not come.
    int Attempt(int n) {
        if (!Sink.WaitFor(n))
            return 99;
        return Sink.SeenStatuses()[static_cast<std::size_t>(n - 1)];
    }
    // The same account pointed elsewhere, as a spoofed name or a hostile network would;
    // returns the status of the check-now that follows.
    int CheckAt(const std::string& host, std::uint16_t port) {
        CGServerSettings s = Account.CopySettings();
        s.Server.Assign(host.c_str());
        s.Port = port;
        Account.ApplySettings(s);
        const int next = Sink.Count() + 1;
        Account.RequestCheckNow();
        return Attempt(next);
    }
    std::string Line() {
        Account.UpdateStatusText();
        return Account.StatusText;
    }
    CGServerSettings Learned() const { return Account.CopySettings(); }
    // True when no attempt follows within twice the five-tick wait after a failed login:
    // a refusal waits for the normal interval.
    bool WaitsTheNormalInterval() {
        const int attempts = Sink.Count();
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * Account.TickMilliseconds));
        return Sink.Count() == attempts;
    }
};

TEST(TlsTrust, SelfSignedKeyIsPinnedOnFirstUseAndAnotherKeyGetsNoPassword) {
    SKIP_WITHOUT_PEERS();
    Watched w("localhost", P().SelfTls, 1);
    ASSERT_EQ(w.Attempt(1), StatusOk);
    EXPECT_EQ(w.Line(), "3 / 3");
    const std::string pin = w.Learned().CertPin;
    EXPECT_EQ(pin, KeyPin(P().SelfCertificate));
    EXPECT_EQ(w.Learned().StartTls, 0);
    EXPECT_EQ(w.Account.TakeNewMail(), 1);
    ASSERT_EQ(w.CheckAt("localhost", P().SelfTls), StatusOk); // the pinned key: a normal check
    EXPECT_EQ(w.Learned().CertPin, pin);

    // The pin of a first use is kept only once the server took the login: a stranger who
    // completes a handshake and hangs up, or refuses the password, plants nothing.
    for (const std::uint16_t port : {P().HangUp, P().SelfTls}) {
        Watched planted("localhost", port, 1, "", 0, "wrong");
        ASSERT_EQ(planted.Attempt(1), port == P().HangUp ? StatusConnectFailed : StatusLoginFailed);
        EXPECT_EQ(planted.Learned().CertPin, "") << port;
    }

    // Without a single authority nothing can verify, so nothing is pinned silently either
    // (a pinned key still works).
    Watched bare("localhost", P().SelfTls, 1, "", 0, "secret", 0);
    ASSERT_EQ(bare.Attempt(1), StatusUntrusted);
    EXPECT_EQ(bare.Learned().CertPin, "");
    Watched barePinned("localhost", P().SelfTls, 1, pin.c_str(), 0, "secret", 0);
    ASSERT_EQ(barePinned.Attempt(1), StatusOk);

    // A preset provider's certificate must verify, even on first use.
    WriteFileBytes(P().MitmLog, "");
    Watched provider("pop.gmail.com", P().Mitm, 1);
    ASSERT_EQ(provider.Attempt(1), StatusUntrusted);
    EXPECT_EQ(provider.Learned().CertPin, "");
    EXPECT_FALSE(Sent(P().MitmLog, "USER")) << ReadFileBytes(P().MitmLog);

    // Somebody in between with a key of their own: stopped before the user name.
    WriteFileBytes(P().MitmLog, "");
    ASSERT_EQ(w.CheckAt("localhost", P().Mitm), StatusUntrusted);
    EXPECT_EQ(w.Line(), "Certificate not trusted");
    EXPECT_EQ(w.Learned().CertPin, pin);
    EXPECT_EQ(w.Account.TakeNewMail(), 0);
    EXPECT_TRUE(w.WaitsTheNormalInterval());
    EXPECT_FALSE(Sent(P().MitmLog, "USER")) << ReadFileBytes(P().MitmLog);
    EXPECT_FALSE(Sent(P().MitmLog, "PASS")) << ReadFileBytes(P().MitmLog);

    // The relay does pass a login on: an account that never met the server pins the
    // relay's key and the relay reads the password. The silence above was the program's.
    Watched fresh("localhost", P().Mitm, 1);
    ASSERT_EQ(fresh.Attempt(1), StatusOk);
    EXPECT_EQ(fresh.Learned().CertPin.size(), 64u);
    EXPECT_NE(fresh.Learned().CertPin, pin);
    EXPECT_TRUE(Sent(P().MitmLog, "PASS secret")) << ReadFileBytes(P().MitmLog);
}

TEST(TlsTrust, AuthorityVerifiedServerIsRememberedAsSuch) {
    SKIP_WITHOUT_PEERS();
    Watched w("localhost", P().SignedTls, 1);
    ASSERT_EQ(w.Attempt(1), StatusOk);
    EXPECT_EQ(w.Line(), "3 / 3");
    EXPECT_EQ(w.Learned().CertPin, "ca");

    // A self-signed certificate is no longer good enough for this account, even on first
    // sight of that key.
    WriteFileBytes(P().MitmLog, "");
    ASSERT_EQ(w.CheckAt("localhost", P().Mitm), StatusUntrusted);
    EXPECT_EQ(w.Line(), "Certificate not trusted");
    EXPECT_EQ(w.Learned().CertPin, "ca");
    EXPECT_FALSE(Sent(P().MitmLog, "USER")) << ReadFileBytes(P().MitmLog);
    EXPECT_FALSE(Sent(P().MitmLog, "PASS")) << ReadFileBytes(P().MitmLog);
    // Nor is the right key behind a name or an address that its certificate does not hold.
    ASSERT_EQ(w.CheckAt("mail.other.test", P().SignedTls), StatusUntrusted);
    ASSERT_EQ(w.CheckAt("127.0.0.1", P().SignedTls), StatusUntrusted);

    // New accounts reaching it so: not verified, so its key is pinned.
    for (const char* host : {"mail.other.test", "127.0.0.1"}) {
        Watched other(host, P().SignedTls, 1);
        ASSERT_EQ(other.Attempt(1), StatusOk) << host;
        EXPECT_EQ(other.Learned().CertPin, KeyPin(P().SignedCertificate)) << host;
    }
}

TEST(StartTls, PlainPortThatRefusesPlainLoginsIsReachedThroughStls) {
    SKIP_WITHOUT_PEERS();
    // Dovecot refuses the password there until STLS (before: "Bad username/password").
    Watched w(P().StrictAddress, P().Strict, 0);
    ASSERT_EQ(w.Attempt(1), StatusOk);
    EXPECT_EQ(w.Line(), "3 / 3");
    EXPECT_EQ(w.Learned().StartTls, 1);
    EXPECT_EQ(w.Learned().UseSSL, 0);
    // The same rule for the certificate: the instance's self-signed key, pinned.
    EXPECT_EQ(w.Learned().CertPin, KeyPin(P().SelfCertificate));

    // Somebody in between answers STLS with a key of their own: stopped before USER.
    WriteFileBytes(P().StlsMitmLog, "");
    ASSERT_EQ(w.CheckAt("127.0.0.1", P().StlsMitm), StatusUntrusted);
    EXPECT_TRUE(Sent(P().StlsMitmLog, "STLS")) << ReadFileBytes(P().StlsMitmLog);
    EXPECT_FALSE(Sent(P().StlsMitmLog, "USER")) << ReadFileBytes(P().StlsMitmLog);
    EXPECT_EQ(w.Learned().CertPin, KeyPin(P().SelfCertificate));

    // A relay hides STLS from CAPA: the account that used it stops before USER.
    WriteFileBytes(P().StripLog, "");
    ASSERT_EQ(w.CheckAt("127.0.0.1", P().Strip), StatusUnencrypted);
    EXPECT_EQ(w.Line(), "Encryption unavailable");
    EXPECT_EQ(w.Learned().StartTls, 1);
    EXPECT_TRUE(w.WaitsTheNormalInterval());
    EXPECT_TRUE(Sent(P().StripLog, "CAPA")) << ReadFileBytes(P().StripLog);
    EXPECT_FALSE(Sent(P().StripLog, "USER")) << ReadFileBytes(P().StripLog);
    EXPECT_FALSE(Sent(P().StripLog, "PASS")) << ReadFileBytes(P().StripLog);

    // An account that never used STLS logs in as before through the same relay.
    Watched plain("127.0.0.1", P().Strip, 0);
    ASSERT_EQ(plain.Attempt(1), StatusOk);
    EXPECT_EQ(plain.Learned().StartTls, 0);
    EXPECT_EQ(plain.Learned().CertPin, "");
    EXPECT_TRUE(Sent(P().StripLog, "PASS secret")) << ReadFileBytes(P().StripLog);

    // A hang-up right after the server's consent to STLS gets no password in plain text,
    // unless the user chose that for this server.
    WriteFileBytes(P().BreakLog, "");
    Watched reset("127.0.0.1", P().Break, 0);
    ASSERT_EQ(reset.Attempt(1), StatusUnencrypted);
    EXPECT_TRUE(Sent(P().BreakLog, "STLS")) << ReadFileBytes(P().BreakLog);
    EXPECT_FALSE(Sent(P().BreakLog, "USER")) << ReadFileBytes(P().BreakLog);
    CGServerSettings chosen = reset.Learned();
    chosen.PlainLogin = 1;
    reset.Account.ReplaceEditedSettings(chosen, true);
    ASSERT_EQ(reset.CheckAt("127.0.0.1", P().Break), StatusOk);
    EXPECT_TRUE(Sent(P().BreakLog, "PASS secret")) << ReadFileBytes(P().BreakLog);
    EXPECT_EQ(reset.Learned().StartTls, 0);

    // A reply slipped in behind the server's consent to STLS is not taken for one of the
    // encrypted conversation.
    Watched injected("127.0.0.1", P().Inject, 0);
    ASSERT_EQ(injected.Attempt(1), StatusOk);
    EXPECT_EQ(injected.Line(), "3 / 3");
    EXPECT_EQ(injected.Learned().StartTls, 1);

    // STLS to a server of the test authority: verified by name.
    Watched signedServer("localhost", P().SignedPlain, 0);
    ASSERT_EQ(signedServer.Attempt(1), StatusOk);
    EXPECT_EQ(signedServer.Learned().StartTls, 1);
    EXPECT_EQ(signedServer.Learned().CertPin, "ca");
}

TEST(StartTls, ServerWithoutCapaLogsInPlainUnlessStlsWasUsedBefore) {
    SKIP_WITHOUT_PEERS();
    WriteFileBytes(P().NoCapaLog, "");
    Watched w("127.0.0.1", P().NoCapa, 0);
    ASSERT_EQ(w.Attempt(1), StatusOk);
    EXPECT_EQ(w.Line(), "3 / 3");
    EXPECT_EQ(w.Learned().StartTls, 0);
    EXPECT_EQ(w.Learned().CertPin, "");
    EXPECT_EQ(ReadFileBytes(P().NoCapaLog).rfind("CAPA\nUSER user\nPASS secret\nUIDL\n", 0), 0u)
        << ReadFileBytes(P().NoCapaLog);

    WriteFileBytes(P().NoCapaLog, "");
    Watched learned("127.0.0.1", P().NoCapa, 0, "", 1);
    ASSERT_EQ(learned.Attempt(1), StatusUnencrypted);
    EXPECT_FALSE(Sent(P().NoCapaLog, "USER")) << ReadFileBytes(P().NoCapaLog);
}

} // namespace
