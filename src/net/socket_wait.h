#pragma once

// The socket calls the OpenSSL connection needs beyond OpenSSL itself, on Winsock or BSD
// sockets. fd is the socket as OpenSSL reports it.

// Waits until a connecting socket is writable: 1, 0 when the time ran out, -1 on failure.
int WaitSocketWritable(long long fd, int milliseconds);
// Bounds every later blocking receive and send on the socket.
void SetSocketTimeouts(long long fd, int readMilliseconds, int writeMilliseconds);
// Shuts both directions down and ends a call blocked on the socket in another thread (on
// Winsock by cancelling the socket's pending I/O).
// The handle stays valid: closing it here could hand its number to a new socket while the
// owner still uses it.
void ShutdownSocket(long long fd);

// Once per process: a write to a connection the peer has closed fails instead of ending the
// process with a signal (POSIX; nothing to do on Winsock).
void IgnoreBrokenPipes();
