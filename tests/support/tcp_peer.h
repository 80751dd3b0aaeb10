#pragma once

#include "net/socket.h"

#include <cstdint>
#include <string>

// Loopback TCP helpers for socket tests, on Winsock or BSD sockets. The handles are plain
// CGSocketHandle values so a test can hand them to a CGSocket, which then owns them.

// A socket listening on 127.0.0.1:port (0: any free port), or InvalidSocket. boundPort gets
// the port actually taken. With a backlog of 0 one connection fills the accept queue, and
// further ones go unanswered.
CGSocketHandle ListenLoopback(std::uint16_t port, std::uint16_t& boundPort, int backlog = 16);

// A connection to 127.0.0.1:port, or InvalidSocket.
CGSocketHandle ConnectLoopback(std::uint16_t port);

// Sends all of bytes; false when the connection failed first.
bool SendAll(CGSocketHandle s, const std::string& bytes);

// Polls until at least count bytes are queued on s; false when timeoutMs passed first.
bool WaitForQueued(CGSocketHandle s, unsigned long count, int timeoutMs);

// Closes a handle that no CGSocket owns.
void CloseHandleOf(CGSocketHandle& s);

// TCP_NODELAY of s as the system reads it back: 1 set, 0 not, -1 when it cannot be read.
int TcpNoDelay(CGSocketHandle s);

// 127.0.0.1 in network byte order.
std::uint32_t LoopbackAddress();
