#include "net/socket.h"

#include "net/socket_platform.h"

#include <climits>

namespace sp = socket_platform;

namespace {

constexpr int ScratchSize = 256;
constexpr std::uint16_t HttpPort = 80;
constexpr std::uint16_t FamilyIPv4 = 2; // AF_INET on both platforms
// Close drains at most this much: a peer that keeps sending must not hold the caller.
constexpr int MaxDrainBytes = 65536;

// Reads and drops what is queued right now, never waiting, at most MaxDrainBytes.
void DrainQueued(CGSocketHandle s) {
    char scratch[ScratchSize];
    for (int drained = 0; drained < MaxDrainBytes;) {
        if (sp::WaitReadable(s, 0, 0) != 1)
            return;
        int n = sp::Recv(s, scratch, ScratchSize);
        if (n <= 0)
            return;
        drained += n;
    }
}

} // namespace

int CGSocket::Close() {
    if (Socket == InvalidSocket)
        return -1;
    // Shutting down first lets the peer see an orderly end; the drain empties what had
    // already arrived so that closing does not answer it with a reset.
    sp::ShutdownBoth(Socket);
    DrainQueued(Socket);
    int result = sp::CloseSocket(Socket);
    Socket = InvalidSocket;
    return result;
}

int CGSocket::SetTimeout(int seconds, int milliseconds) {
    long long micro = static_cast<long long>(milliseconds) * 1000;
    if (micro > INT_MAX)
        micro = INT_MAX;
    if (micro < INT_MIN)
        micro = INT_MIN;
    TimeoutSeconds = seconds;
    TimeoutMicroseconds = static_cast<std::int32_t>(micro);
    return 1;
}

int CGSocket::Write(const char* data, int length) {
    return sp::Send(Socket, data, length);
}

int CGSocket::Read(char* buffer, int size) {
    int ready = sp::WaitReadable(Socket, TimeoutSeconds, TimeoutMicroseconds);
    if (ready <= 0)
        return ready;
    // One wait only: from here on take what is queued and return.
    int received = 0;
    while (received < size) {
        unsigned long queued = 0;
        if (sp::QueuedBytes(Socket, queued) != 0)
            break;
        if (queued == 0) {
            if (received == 0)
                return -1; // readable with nothing to read: the peer has closed
            break;
        }
        unsigned long room = static_cast<unsigned long>(size - received);
        int count = static_cast<int>(queued >= room ? room : queued);
        int n = sp::Recv(Socket, buffer + received, count);
        if (n <= 0)
            break;
        received += n;
    }
    return received;
}

int CGSocket::Open() {
    if (Listener == nullptr)
        return 0;
    Close();
    Socket = sp::Accept(Listener->Socket);
    return Socket != InvalidSocket ? 1 : 0;
}

int CGSocket::Discard() {
    char scratch[ScratchSize];
    for (;;) {
        unsigned long queued = 0;
        int result = sp::QueuedBytes(Socket, queued);
        if (result != 0)
            return result;
        if (queued == 0)
            return 0;
        int n = Read(scratch, queued < ScratchSize ? static_cast<int>(queued) : ScratchSize);
        if (n <= 0)
            return n == 0 ? -1 : n; // queued bytes that cannot be read: do not spin
    }
}

int CGSocketClient::Connect(std::uint32_t address) {
    Close();
    Address = CGSocketAddress{};
    Address.Family = FamilyIPv4;
    Address.Port = sp::HostToNetwork16(HttpPort);
    Address.Ip = address;
    return ConnectStored();
}

int CGSocketClient::Open() {
    Close();
    return ConnectStored();
}

int CGSocketClient::ConnectStored() {
    Socket = sp::CreateTcp();
    if (Socket == InvalidSocket)
        return 0;
    if (sp::Connect(Socket, Address, ConnectTimeoutSeconds) == 0)
        return 1;
    Close();
    return 0;
}

int ResolveHostIPv4(const char* host, std::uint32_t& address) {
    if (host == nullptr || *host == 0)
        return 0;
    return sp::ResolveIPv4(host, address);
}
