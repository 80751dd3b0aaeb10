#pragma once

#include <cstdint>

// A blocking TCP byte stream over Winsock (Windows) or BSD sockets. Used by the update check
// only; the mail checker talks through OpenSSL's connection chains instead.

#ifdef _WIN32
using CGSocketHandle = std::uintptr_t; // SOCKET
#else
using CGSocketHandle = int;
#endif
// All bits set, as INVALID_SOCKET and -1 are.
inline constexpr CGSocketHandle InvalidSocket = static_cast<CGSocketHandle>(-1);

// An IPv4 peer in the layout of sockaddr_in: 16 bytes, port and address in network order.
struct CGSocketAddress {
    std::uint16_t Family = 0;
    std::uint16_t Port = 0;
    std::uint32_t Ip = 0;
    std::uint8_t Zero[8] = {};
};
static_assert(sizeof(CGSocketAddress) == 16);

// An abstract byte stream.
class CGComms {
public:
    virtual ~CGComms() = default;
    // Sets the wait used by Read; returns 1.
    virtual int SetTimeout(int seconds, int milliseconds) = 0;
    // One send; the bytes sent or -1. Callers compare the result with length.
    virtual int Write(const char* data, int length) = 0;
    // One wait, then what has already arrived: 1 to size bytes, 0 when the wait ran out,
    // -1 when the peer has closed or the wait failed.
    virtual int Read(char* buffer, int size) = 0;
    // Establishes the connection again; 1 on success.
    virtual int Open() = 0;
    // Throws away what has already arrived; 0 when nothing is left.
    virtual int Discard() = 0;
    virtual int IsOpen() = 0;
};

class CGSocket : public CGComms {
public:
    CGSocket() = default;
    CGSocket(const CGSocket&) = delete;
    CGSocket& operator=(const CGSocket&) = delete;
    ~CGSocket() override { Close(); }

    // Shuts the socket down, drains what is already queued (bounded) and closes it.
    // Returns the close result, or -1 when no socket was held.
    int Close();

    int SetTimeout(int seconds, int milliseconds) override;
    int Write(const char* data, int length) override;
    int Read(char* buffer, int size) override;
    // Accepts the next connection of Listener; 0 when there is no listener.
    int Open() override;
    int Discard() override;
    int IsOpen() override { return Socket != InvalidSocket ? 1 : 0; }

    CGSocketHandle Socket = InvalidSocket; // owned
    std::int32_t TimeoutMicroseconds = 500000;
    std::int32_t TimeoutSeconds = 0;
    CGSocketAddress Address;      // the peer CGSocketClient last connected to
    CGSocket* Listener = nullptr; // not owned: the listening socket Open() accepts from
};

// The client side: always port 80, the only client being the HTTP version check.
class CGSocketClient : public CGSocket {
public:
    // Connects to an IPv4 address (network byte order) on port 80; 1 on success. On failure
    // no socket is held.
    int Connect(std::uint32_t address);
    // Connects again to the address of the last Connect.
    int Open() override;

    // A peer that never answers must not hold the caller longer than this.
    int ConnectTimeoutSeconds = 10;

private:
    int ConnectStored();
};

// The first IPv4 address of host in network byte order; 1 when the name resolved.
int ResolveHostIPv4(const char* host, std::uint32_t& address);
