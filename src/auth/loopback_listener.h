#pragma once

#include "net/socket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>

// How the wait for the redirect ended (CGLoopbackListener::WaitForCode).
enum : int {
    RedirectCode = 1, // the redirect came with the state and a code
    RedirectTimedOut = 0,
    RedirectCancelled = -1,
    RedirectRefused = -2, // the redirect came with the state and an error (consent declined)
    RedirectFailed = -3,  // no listener
};

// The head of an HTTP request as the redirect brings it ("GET /?code=...&state=... HTTP/1.1"):
// 1 with the path and the query's decoded pairs (the first of a repeated name), 0 when it is
// no GET request line.
int ParseRedirectRequest(const std::string& head, std::string& path,
                         std::map<std::string, std::string>& query);

// Where the provider sends the browser back after a sign-in (RFC 8252 section 7.3): a
// listener on the loopback address only, on a port the system picks. It takes exactly one
// redirect: the one carrying the state this sign-in sent. Any other request gets an error
// page and the wait goes on.
class CGLoopbackListener {
public:
    CGLoopbackListener() = default;
    CGLoopbackListener(const CGLoopbackListener&) = delete;
    CGLoopbackListener& operator=(const CGLoopbackListener&) = delete;
    ~CGLoopbackListener() { Close(); }

    // Starts listening; 1 on success.
    int Open();
    // "http://localhost:<port>/", as registered with the providers (any port).
    std::string RedirectUri() const;
    // Serves requests until the redirect with state arrives (its code, or the provider's
    // error in problem), limit passes or Cancel() is called.
    int WaitForCode(const std::string& state, std::chrono::milliseconds limit, std::string& code,
                    std::string& problem);
    // From any thread: the wait ends within a tenth of a second, and every later one at once.
    void Cancel() { Cancelled = true; }
    void Close();

    std::uint16_t Port = 0;

private:
    // One request: 1 = the redirect with its code, RedirectRefused = with an error, 0 = some
    // other request (answered, the wait goes on).
    int Serve(CGSocketHandle client, const std::string& state, std::string& code,
              std::string& problem);
    // The request's head, read within a few seconds; empty when none came.
    std::string ReadHead(CGSocketHandle client);

    CGSocketHandle Socket = InvalidSocket; // owned
    std::atomic<bool> Cancelled{false};
};
