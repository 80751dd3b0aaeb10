#include "support/pop3_script_server.h"

#include "net/socket_platform.h"
#include "support/tcp_peer.h"

#include <chrono>
#include <cstdlib>

namespace sp = socket_platform;

ScriptedPop3Server::Connection::Connection(CGSocketHandle socket, const std::atomic<bool>& stopping)
    : Socket(socket), Stopping(stopping) {}

ScriptedPop3Server::Connection::~Connection() {
    Close();
}

bool ScriptedPop3Server::Connection::Send(const std::string& bytes, int piece) {
    if (Socket == InvalidSocket)
        return false;
    if (piece <= 0)
        return SendAll(Socket, bytes);
    for (std::size_t at = 0; at < bytes.size(); at += static_cast<std::size_t>(piece)) {
        if (Stopping || !SendAll(Socket, bytes.substr(at, static_cast<std::size_t>(piece))))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool ScriptedPop3Server::Connection::ReadLine(std::string& line, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t lf = Pending.find('\n');
        if (lf != std::string::npos) {
            line = Pending.substr(0, lf);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            Pending.erase(0, lf + 1);
            if (line == "CAPA" && !CapaReply.empty()) {
                if (!Send(CapaReply))
                    return false;
                continue;
            }
            return true;
        }
        if (Socket == InvalidSocket || Stopping || std::chrono::steady_clock::now() > end)
            return false;
        if (sp::WaitReadable(Socket, 0, 50000) <= 0)
            continue;
        char buffer[512];
        const int n = sp::Recv(Socket, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        Pending.append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedPop3Server::Connection::Stall(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!Stopping && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void ScriptedPop3Server::Connection::Close() {
    if (Socket != InvalidSocket) {
        sp::ShutdownBoth(Socket);
        CloseHandleOf(Socket);
    }
}

ScriptedPop3Server::ScriptedPop3Server(Handler handler) : Handle(std::move(handler)) {
    Listener = ListenLoopback(0, BoundPort);
    Acceptor = std::thread([this] { AcceptLoop(); });
}

ScriptedPop3Server::~ScriptedPop3Server() {
    Stop();
}

void ScriptedPop3Server::Stop() {
    Stopping = true;
    if (Acceptor.joinable())
        Acceptor.join();
    Reap(true);
    CloseHandleOf(Listener);
}

void ScriptedPop3Server::Reap(bool all) {
    for (auto it = Workers.begin(); it != Workers.end();) {
        if (all || it->Done->load()) {
            it->Thread.join();
            it = Workers.erase(it);
        } else {
            ++it;
        }
    }
}

void ScriptedPop3Server::AcceptLoop() {
    while (!Stopping) {
        Reap(false);
        if (sp::WaitReadable(Listener, 0, 20000) <= 0)
            continue;
        CGSocketHandle s = sp::Accept(Listener);
        if (s == InvalidSocket)
            continue;
        ++Accepted;
        auto done = std::make_shared<std::atomic<bool>>(false);
        Workers.push_back({std::thread([this, s, done] {
                               {
                                   Connection c(s, Stopping);
                                   Handle(c);
                               }
                               *done = true;
                           }),
                           done});
    }
}

void ScriptedMailbox::SetUidls(std::vector<std::string> uidls) {
    std::lock_guard<std::mutex> lock(Guard);
    Current = std::move(uidls);
}

std::vector<std::string> ScriptedMailbox::Uidls() const {
    std::lock_guard<std::mutex> lock(Guard);
    return Current;
}

void ScriptedMailbox::operator()(ScriptedPop3Server::Connection& c) {
    std::string line;
    if (!Capabilities.empty())
        c.CapaReply = Capabilities;
    if (!c.Send("+OK scripted POP3 ready\r\n") || !c.ReadLine(line))
        return;
    const bool known = User.empty() ? line.rfind("USER ", 0) == 0 : line == "USER " + User;
    if (!known) {
        c.Send("-ERR unknown user\r\n");
        return;
    }
    if (!c.Send("+OK\r\n") || !c.ReadLine(line))
        return;
    if (line != "PASS " + Password) {
        c.Send(Refusal + "\r\n");
        return;
    }
    ++LoginCount;
    if (!c.Send("+OK logged in\r\n") || !c.ReadLine(line) || line != "UIDL")
        return;
    std::string listing = "+OK\r\n";
    int number = 0;
    for (const std::string& uidl : Uidls())
        listing += std::to_string(++number) + " " + uidl + "\r\n";
    listing += ".\r\n";
    c.Send(listing);
    while (c.ReadLine(line, 2000)) {
        if (line.rfind("TOP ", 0) == 0) {
            ++TopCount;
            if (!Top)
                c.Send("-ERR unknown command\r\n");
            else
                Top(c, std::atoi(line.c_str() + 4));
            continue;
        }
        if (line == "QUIT") {
            ++QuitCount;
            c.Send("+OK bye\r\n");
        }
        return;
    }
}

CGServerSettings ScriptedServerAccount(std::uint16_t port, const char* password, int checkMinutes) {
    CGServerSettings s;
    s.Server.Assign("127.0.0.1");
    s.Port = port;
    s.UseSSL = 0;
    s.Username.Assign("user");
    s.Password.Assign(password);
    s.CheckMinutes = checkMinutes;
    return s;
}
