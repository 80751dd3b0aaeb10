#pragma once

#include <cstdint>
#include <string>

// The private Dovecot that tests/support/dovecot_peer.py runs around a test binary, as the
// binary finds it in its environment. Natively and under Wine (paths become Z:\...).
struct DovecotPeer {
    bool Available = false;
    std::string Dir;
    std::uint16_t PlainPort = 0;
    std::uint16_t TlsPort = 0;

    static DovecotPeer FromEnvironment();

    std::string Maildir(const std::string& user) const;
    // Delivers messages numbered first .. first + count - 1 into the user's Maildir/new.
    void AddMessages(const std::string& user, int first, int count) const;
    // Delivers message number seq with the given header lines (each ending in CR LF).
    void AddMessage(const std::string& user, int seq, const std::string& headers) const;
    // Removes the message numbered seq; false when there is none.
    bool RemoveMessage(const std::string& user, int seq) const;

private:
    void Deliver(const std::string& user, int seq, const std::string& message) const;
};

// A path of the machine's file system as this process sees it (Z:\... under Wine).
std::string PeerPath(const std::string& unixPath);

#define SKIP_WITHOUT_DOVECOT(peer)                                                                 \
    if (!(peer).Available)                                                                         \
    GTEST_SKIP() << "runs under tests/support/dovecot_peer.py"
