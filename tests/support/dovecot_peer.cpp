#include "support/dovecot_peer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Body(int seq) {
    return "From: sender" + std::to_string(seq) + "@example.com\r\nTo: user@example.com\r\n" +
           "Subject: message " + std::to_string(seq) + "\r\n\r\nbody " + std::to_string(seq) +
           "\r\n";
}

} // namespace

std::string PeerPath(const std::string& unixPath) {
    // Wine shows the Linux root as drive Z:.
#ifdef _WIN32
    std::string p = "Z:" + unixPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
#else
    return unixPath;
#endif
}

DovecotPeer DovecotPeer::FromEnvironment() {
    DovecotPeer peer;
    const std::string dir = Env("VARNOCLE_DOVECOT_DIR");
    if (dir.empty())
        return peer;
    peer.Dir = PeerPath(dir);
    peer.PlainPort =
        static_cast<std::uint16_t>(std::atoi(Env("VARNOCLE_DOVECOT_PLAIN_PORT").c_str()));
    peer.TlsPort = static_cast<std::uint16_t>(std::atoi(Env("VARNOCLE_DOVECOT_TLS_PORT").c_str()));
    peer.Available = peer.PlainPort != 0 && peer.TlsPort != 0;
    return peer;
}

std::string DovecotPeer::Maildir(const std::string& user) const {
    return (std::filesystem::path(Dir) / "mail" / user / "Maildir").string();
}

void DovecotPeer::AddMessages(const std::string& user, int first, int count) const {
    for (int seq = first; seq < first + count; ++seq)
        Deliver(user, seq, Body(seq));
}

void DovecotPeer::AddMessage(const std::string& user, int seq, const std::string& headers) const {
    Deliver(user, seq, headers + "\r\nbody " + std::to_string(seq) + "\r\n");
}

void DovecotPeer::Deliver(const std::string& user, int seq, const std::string& body) const {
    // new/ rather than cur/: names there carry no ":2," part, which Windows file names
    // cannot hold. Dovecot moves them to cur/ when it next looks.
    const auto folder = std::filesystem::path(Maildir(user)) / "new";
    const long long now = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    char name[128];
    std::snprintf(name, sizeof name, "%lld.M%dP0.test,S=%zu,W=%zu", now, seq, body.size(),
                  body.size());
    const auto temporary = std::filesystem::path(Maildir(user)) / "tmp" / name;
    {
        std::ofstream out(temporary, std::ios::binary);
        out << body;
    }
    std::filesystem::rename(temporary, folder / name);
}

bool DovecotPeer::RemoveMessage(const std::string& user, int seq) const {
    const std::string mark = ".M" + std::to_string(seq) + "P";
    for (const char* sub : {"cur", "new"}) {
        std::error_code ec;
        for (const auto& e :
             std::filesystem::directory_iterator(std::filesystem::path(Maildir(user)) / sub, ec)) {
            if (e.path().filename().string().find(mark) != std::string::npos)
                return std::filesystem::remove(e.path(), ec);
        }
    }
    return false;
}
