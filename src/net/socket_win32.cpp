#include "net/socket_platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace socket_platform {

namespace {

// Winsock 2.0 is started before any socket can exist and cleaned up at exit.
struct WinsockLibrary {
    WinsockLibrary() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 0), &data);
    }
    ~WinsockLibrary() { WSACleanup(); }
};
const WinsockLibrary Library;

SOCKET Native(CGSocketHandle s) {
    return static_cast<SOCKET>(s);
}

sockaddr_in ToSockaddr(const CGSocketAddress& a) {
    sockaddr_in s{};
    s.sin_family = a.Family;
    s.sin_port = a.Port;
    s.sin_addr.s_addr = a.Ip;
    return s;
}

timeval ToTimeval(long long microseconds) {
    if (microseconds < 0)
        microseconds = 0;
    if (microseconds > 0x7fffffffLL * 1000000)
        microseconds = 0x7fffffffLL * 1000000;
    timeval t;
    t.tv_sec = static_cast<long>(microseconds / 1000000);
    t.tv_usec = static_cast<long>(microseconds % 1000000);
    return t;
}

int SetBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0 ? 0 : -1;
}

// Waits for the end of a non-blocking connect; Winsock reports a failed one in the
// exception set.
int FinishConnect(SOCKET s, int timeoutSeconds) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval t = ToTimeval(static_cast<long long>(timeoutSeconds) * 1000000);
    if (select(0, nullptr, &writable, &failed, &t) <= 0 || FD_ISSET(s, &failed))
        return -1;
    int error = 0;
    int length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return -1;
    return error == 0 ? 0 : -1;
}

} // namespace

CGSocketHandle CreateTcp() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return InvalidSocket;
    // Requests are single short writes: none waits for the acknowledgement of the last.
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<CGSocketHandle>(s);
}

int Connect(CGSocketHandle handle, const CGSocketAddress& address, int timeoutSeconds) {
    SOCKET s = Native(handle);
    if (handle == InvalidSocket || SetBlocking(s, false) != 0)
        return -1;
    sockaddr_in peer = ToSockaddr(address);
    int r = connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (r != 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        r = FinishConnect(s, timeoutSeconds);
    if (SetBlocking(s, true) != 0)
        return -1;
    return r == 0 ? 0 : -1;
}

CGSocketHandle Accept(CGSocketHandle listener) {
    if (listener == InvalidSocket)
        return InvalidSocket;
    SOCKET s = accept(Native(listener), nullptr, nullptr);
    return s != INVALID_SOCKET ? static_cast<CGSocketHandle>(s) : InvalidSocket;
}

CGSocketHandle ListenLoopback(std::uint16_t& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return InvalidSocket;
    // Without it another program could bind the same port and take the redirect.
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof local;
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        listen(s, 8) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        closesocket(s);
        return InvalidSocket;
    }
    port = ntohs(local.sin_port);
    return static_cast<CGSocketHandle>(s);
}

int ShutdownBoth(CGSocketHandle s) {
    return shutdown(Native(s), SD_BOTH);
}

int CloseSocket(CGSocketHandle s) {
    return closesocket(Native(s));
}

int Send(CGSocketHandle s, const char* data, int length) {
    if (s == InvalidSocket || length < 0)
        return -1;
    return send(Native(s), data, length, 0);
}

int Recv(CGSocketHandle s, char* buffer, int size) {
    if (s == InvalidSocket || size < 0)
        return -1;
    return recv(Native(s), buffer, size, 0);
}

int QueuedBytes(CGSocketHandle s, unsigned long& count) {
    count = 0;
    if (s == InvalidSocket)
        return SOCKET_ERROR;
    u_long queued = 0;
    int r = ioctlsocket(Native(s), FIONREAD, &queued);
    if (r != 0)
        return r;
    count = queued;
    return 0;
}

int WaitReadable(CGSocketHandle s, int seconds, int microseconds) {
    if (s == InvalidSocket)
        return -1;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(s), &readable);
    timeval t = ToTimeval(static_cast<long long>(seconds) * 1000000 + microseconds);
    int r = select(0, &readable, nullptr, nullptr, &t);
    return r > 0 ? 1 : r == 0 ? 0 : -1;
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
