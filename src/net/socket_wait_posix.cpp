#include "net/socket_wait.h"

#include <csignal>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

int WaitSocketWritable(long long fd, int milliseconds) {
    pollfd p{};
    p.fd = static_cast<int>(fd);
    p.events = POLLOUT;
    int r = poll(&p, 1, milliseconds);
    return r > 0 ? 1 : (r == 0 ? 0 : -1);
}

void SetSocketTimeouts(long long fd, int readMilliseconds, int writeMilliseconds) {
    timeval r{readMilliseconds / 1000, (readMilliseconds % 1000) * 1000};
    timeval w{writeMilliseconds / 1000, (writeMilliseconds % 1000) * 1000};
    setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r);
    setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_SNDTIMEO, &w, sizeof w);
}

void ShutdownSocket(long long fd) {
    shutdown(static_cast<int>(fd), SHUT_RDWR);
}

void IgnoreBrokenPipes() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}
