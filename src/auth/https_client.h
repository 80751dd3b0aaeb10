#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

// What came back from one HTTPS request.
struct CGHttpsReply {
    long Status = 0; // the HTTP status; 0 when no reply arrived
    std::string Body;
    std::string ContentType;
};

// How a request ended (CGHttpsClient::PostForm).
enum : int {
    HttpsDone = 1,   // a reply arrived whole, whatever its status
    HttpsFailed = 0, // no reply: no connection, a certificate that does not prove the host,
                     // a time-out, a reply that is no HTTP
    HttpsCancelled = -1,
    HttpsTooLarge = -2, // the body grew past MaxBody
};

// Requests to the providers' token endpoints, through libcurl: HTTPS only, no redirects, and
// the certificate verified against the process's one store of authorities, as the mail
// servers' certificates are (never trusted on first use). One request at a time per object;
// Cancel() may come from any thread.
class CGHttpsClient {
public:
    // POSTs form (application/x-www-form-urlencoded) to url and waits for the reply.
    int PostForm(const std::string& url, const std::string& form, CGHttpsReply& reply);
    // Ends the request in progress at once, and every later one, with HttpsCancelled.
    void Cancel();

    int TimeoutMs = 30000; // the whole request
    // Token replies are a few kilobytes; anything far beyond is not one.
    std::size_t MaxBody = 64 * 1024;

private:
    std::mutex Guard;      // Cancel() against the end of a request
    void* Multi = nullptr; // the CURLM of the request in progress, guarded
    std::atomic<bool> Cancelled{false};
};
