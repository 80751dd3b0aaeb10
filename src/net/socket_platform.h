#pragma once

#include "net/socket.h"

// The few calls where Winsock and BSD sockets differ; socket_win32.cpp and socket_posix.cpp
// implement them. Every function accepts InvalidSocket and then fails.
namespace socket_platform {

// A new blocking IPv4 TCP socket with TCP_NODELAY set, or InvalidSocket.
CGSocketHandle CreateTcp();
// 0 when connected within timeoutSeconds, -1 otherwise. The socket is blocking afterwards.
int Connect(CGSocketHandle s, const CGSocketAddress& address, int timeoutSeconds);
CGSocketHandle Accept(CGSocketHandle listener);
// A listening TCP socket on 127.0.0.1 and a port the system picks (port receives it, in host
// order), which no other socket may share; InvalidSocket on failure.
CGSocketHandle ListenLoopback(std::uint16_t& port);
int ShutdownBoth(CGSocketHandle s);
int CloseSocket(CGSocketHandle s);
int Send(CGSocketHandle s, const char* data, int length);
int Recv(CGSocketHandle s, char* buffer, int size);
// The count of bytes queued for reading; returns 0, or the failing call's result.
int QueuedBytes(CGSocketHandle s, unsigned long& count);
// Waits until the socket is readable: 1, 0 when the time ran out, -1 on failure.
int WaitReadable(CGSocketHandle s, int seconds, int microseconds);
std::uint16_t HostToNetwork16(std::uint16_t value);
int ResolveIPv4(const char* host, std::uint32_t& address);

} // namespace socket_platform
