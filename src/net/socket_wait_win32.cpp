#include "net/socket_wait.h"

#include <winsock2.h> // brings windows.h (CancelIoEx) in the order Winsock needs

int WaitSocketWritable(long long fd, int milliseconds) {
    SOCKET s = static_cast<SOCKET>(fd);
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed); // Winsock reports a refused non-blocking connect here
    timeval t{milliseconds / 1000, (milliseconds % 1000) * 1000};
    int r = select(0, nullptr, &writable, &failed, &t);
    // A refused connect shows only in the failed set and never turns writable: it is a
    // failure, not a socket ready to use.
    if (r > 0 && FD_ISSET(s, &failed))
        return -1;
    return r > 0 ? 1 : (r == 0 ? 0 : -1);
}

void SetSocketTimeouts(long long fd, int readMilliseconds, int writeMilliseconds) {
    DWORD r = static_cast<DWORD>(readMilliseconds);
    DWORD w = static_cast<DWORD>(writeMilliseconds);
    SOCKET s = static_cast<SOCKET>(fd);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&r), sizeof r);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&w), sizeof w);
}

void ShutdownSocket(long long fd) {
    const SOCKET s = static_cast<SOCKET>(fd);
    shutdown(s, SD_BOTH);
    // Winsock leaves a receive that is already waiting to run to its time-out; cancelling
    // the socket's pending I/O ends it now. Later calls fail at once on the shut socket.
    CancelIoEx(reinterpret_cast<HANDLE>(s), nullptr);
}

void IgnoreBrokenPipes() {}
