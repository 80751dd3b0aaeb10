#include "net/socket_platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace socket_platform {

namespace {

sockaddr_in ToSockaddr(const CGSocketAddress& a) {
    sockaddr_in s{};
    s.sin_family = a.Family;
    s.sin_port = a.Port;
    s.sin_addr.s_addr = a.Ip;
    return s;
}

// poll() rather than select(): select cannot take descriptors at or above FD_SETSIZE.
int PollFor(int s, short events, long long milliseconds) {
    if (milliseconds < 0)
        milliseconds = 0;
    if (milliseconds > INT_MAX)
        milliseconds = INT_MAX;
    pollfd p{s, events, 0};
    int r;
    do {
        r = poll(&p, 1, static_cast<int>(milliseconds));
    } while (r < 0 && errno == EINTR);
    if (r > 0 && (p.revents & POLLNVAL) != 0)
        return -1;
    return r;
}

int SetBlocking(int s, bool blocking) {
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0)
        return -1;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(s, F_SETFL, flags);
}

} // namespace

CGSocketHandle CreateTcp() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0)
        return InvalidSocket;
    // Requests are single short writes: none waits for the acknowledgement of the last.
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

int Connect(CGSocketHandle s, const CGSocketAddress& address, int timeoutSeconds) {
    if (s == InvalidSocket || SetBlocking(s, false) != 0)
        return -1;
    sockaddr_in peer = ToSockaddr(address);
    int r = connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (r != 0 && errno == EINPROGRESS) {
        r = -1;
        if (PollFor(s, POLLOUT, static_cast<long long>(timeoutSeconds) * 1000) == 1) {
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
                r = 0;
        }
    }
    if (SetBlocking(s, true) != 0)
        return -1;
    return r == 0 ? 0 : -1;
}

CGSocketHandle Accept(CGSocketHandle listener) {
    if (listener == InvalidSocket)
        return InvalidSocket;
    int s;
    do {
        s = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    } while (s < 0 && errno == EINTR);
    return s >= 0 ? s : InvalidSocket;
}

CGSocketHandle ListenLoopback(std::uint16_t& port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0)
        return InvalidSocket;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        listen(s, 8) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        close(s);
        return InvalidSocket;
    }
    port = ntohs(local.sin_port);
    return s;
}

int ShutdownBoth(CGSocketHandle s) {
    return shutdown(s, SHUT_RDWR);
}

int CloseSocket(CGSocketHandle s) {
    return close(s);
}

int Send(CGSocketHandle s, const char* data, int length) {
    if (s == InvalidSocket || length < 0)
        return -1;
    // No SIGPIPE: a peer that has gone away is a failed send, not the end of the process.
    ssize_t n = send(s, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    return n >= 0 ? static_cast<int>(n) : -1;
}

int Recv(CGSocketHandle s, char* buffer, int size) {
    if (s == InvalidSocket || size < 0)
        return -1;
    ssize_t n = recv(s, buffer, static_cast<size_t>(size), 0);
    return n >= 0 ? static_cast<int>(n) : -1;
}

int QueuedBytes(CGSocketHandle s, unsigned long& count) {
    count = 0;
    if (s == InvalidSocket)
        return -1;
    int queued = 0;
    if (ioctl(s, FIONREAD, &queued) != 0)
        return -1;
    count = queued > 0 ? static_cast<unsigned long>(queued) : 0;
    return 0;
}

int WaitReadable(CGSocketHandle s, int seconds, int microseconds) {
    if (s == InvalidSocket)
        return -1;
    long long ms = static_cast<long long>(seconds) * 1000 + microseconds / 1000;
    int r = PollFor(s, POLLIN, ms);
    return r > 0 ? 1 : r;
}

std::uint16_t HostToNetwork16(std::uint16_t value) {
    return htons(value);
}

int ResolveIPv4(const char* host, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
        return 0;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return 1;
}

} // namespace socket_platform
