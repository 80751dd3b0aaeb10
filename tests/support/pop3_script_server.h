#pragma once

#include "mail/thread_pop3.h"
#include "net/socket.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A POP3 server of our own on 127.0.0.1, for what a real server will not do on request:
// refusals, drops in the middle of a listing, stalls, replies in tiny pieces, malformed
// lines. Every connection runs a handler on its own thread.
class ScriptedPop3Server {
public:
    class Connection {
    public:
        Connection(CGSocketHandle socket, const std::atomic<bool>& stopping);
        ~Connection();
        // Sends bytes in pieces of at most piece bytes (0: all at once), pausing between
        // pieces so that they arrive as separate reads. false when the client has gone.
        bool Send(const std::string& bytes, int piece = 0);
        // One line from the client without its CR LF; false when it closed, the server is
        // stopping, or timeoutMs passed. A "CAPA" line is answered with CapaReply and skipped,
        // as by a server that predates capabilities, unless CapaReply is empty.
        bool ReadLine(std::string& line, int timeoutMs = 10000);
        std::string CapaReply = "-ERR unknown command\r\n";
        // Says nothing until the server stops or ms have passed.
        void Stall(int ms);
        // Drops the connection.
        void Close();

    private:
        CGSocketHandle Socket;
        const std::atomic<bool>& Stopping;
        std::string Pending;
    };
    using Handler = std::function<void(Connection&)>;

    explicit ScriptedPop3Server(Handler handler);
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    std::uint16_t Port() const { return BoundPort; }
    int Connections() const { return Accepted.load(); }
    void Stop();

private:
    void AcceptLoop();

    Handler Handle;
    CGSocketHandle Listener = InvalidSocket;
    std::uint16_t BoundPort = 0;
    std::atomic<bool> Stopping{false};
    std::atomic<int> Accepted{0};
    std::thread Acceptor;
    struct Worker {
        std::thread Thread;
        std::shared_ptr<std::atomic<bool>> Done;
    };
    // Joins the workers that have finished, so a long run does not pile them up.
    void Reap(bool all);

    std::vector<Worker> Workers; // used by the accepting thread only, until Stop()
};

// A well-behaved mailbox for ScriptedPop3Server: greeting, CAPA answered with Capabilities
// (refused while that is empty), USER/PASS checked against User and Password (a wrong
// password gets Refusal), UIDL listing the current Uidls, "TOP n 0" answered by Top (refused
// while that is empty), QUIT answered. The lists may change between connections.
class ScriptedMailbox {
public:
    void operator()(ScriptedPop3Server::Connection& c);
    void SetUidls(std::vector<std::string> uidls);
    std::vector<std::string> Uidls() const;
    int Logins() const { return LoginCount.load(); }
    int Quits() const { return QuitCount.load(); }

    std::string User = "user"; // empty: every user name is taken
    std::string Password = "secret";
    std::string Capabilities; // a whole CAPA reply, e.g. "+OK\r\nRESP-CODES\r\n.\r\n"
    std::string Refusal = "-ERR invalid password";
    // The whole reply to "TOP n 0" for message number n (1 = the first listed); it may
    // stall or drop the connection itself.
    std::function<void(ScriptedPop3Server::Connection&, int n)> Top;
    int TopRequests() const { return TopCount.load(); }

private:
    mutable std::mutex Guard;
    std::vector<std::string> Current;
    std::atomic<int> LoginCount{0};
    std::atomic<int> QuitCount{0};
    std::atomic<int> TopCount{0};
};

// A plain-POP3 account of "user" on a scripted server at 127.0.0.1:port.
CGServerSettings ScriptedServerAccount(std::uint16_t port, const char* password, int checkMinutes);
