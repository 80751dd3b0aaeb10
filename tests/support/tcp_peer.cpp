#include "support/tcp_peer.h"

#include "net/socket_platform.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace sp = socket_platform;

CGSocketHandle ListenLoopback(std::uint16_t port, std::uint16_t& boundPort, int backlog) {
    CGSocketHandle s = sp::CreateTcp();
    if (s == InvalidSocket)
        return s;
#ifdef _WIN32
    using Native = SOCKET;
    using Length = int;
#else
    using Native = int;
    using Length = socklen_t;
    int on = 1; // ports of earlier cases may still be in TIME_WAIT
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Length length = sizeof a;
    if (bind(static_cast<Native>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(static_cast<Native>(s), backlog) != 0 ||
        getsockname(static_cast<Native>(s), reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        CloseHandleOf(s);
        return InvalidSocket;
    }
    boundPort = ntohs(a.sin_port);
    return s;
}

std::uint32_t LoopbackAddress() {
    return htonl(INADDR_LOOPBACK);
}

CGSocketHandle ConnectLoopback(std::uint16_t port) {
    CGSocketHandle s = sp::CreateTcp();
    CGSocketAddress a;
    a.Family = AF_INET;
    a.Port = htons(port);
    a.Ip = LoopbackAddress();
    if (sp::Connect(s, a, 10) != 0)
        CloseHandleOf(s);
    return s;
}

bool SendAll(CGSocketHandle s, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        int n = sp::Send(s, bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WaitForQueued(CGSocketHandle s, unsigned long count, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        unsigned long queued = 0;
        if (sp::QueuedBytes(s, queued) == 0 && queued >= count)
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void CloseHandleOf(CGSocketHandle& s) {
    if (s != InvalidSocket)
        sp::CloseSocket(s);
    s = InvalidSocket;
}

int TcpNoDelay(CGSocketHandle s) {
#ifdef _WIN32
    using Native = SOCKET;
    using Length = int;
#else
    using Native = int;
    using Length = socklen_t;
#endif
    int value = 0;
    Length length = sizeof value;
    if (getsockopt(static_cast<Native>(s), IPPROTO_TCP, TCP_NODELAY,
                   reinterpret_cast<char*>(&value), &length) != 0)
        return -1;
    return value != 0 ? 1 : 0;
}
