#pragma once

#include "build_config.h"
#include "net/socket.h"

#include <chrono>
#include <string>

// Fetches the version file from the update host over plain HTTP on port 80.
class CGSocketHTTP : public CGSocketClient {
public:
    static constexpr int BufferSize = 256;
    // A reply header above this size is refused: a peer that never ends it must not keep
    // the check busy.
    static constexpr int MaxHeaderBytes = 65536;

    explicit CGSocketHTTP(const char* host = VARNOCLE_UPDATE_HOST) : Host(host ? host : "") {}

    // 1 when a body of the announced length (1 to 255 bytes) was read into Buffer as a
    // zero-terminated text, 0 otherwise. Closes the connection before returning.
    int FetchVersionFile();
    // Reads the reply from the connected stream: the header line by line, then the body.
    // 1 with the body in Buffer; 0 for an incomplete reply or an unusable length.
    int ReadReply();
    // Looks at one header line (cut in place at its colons). 0 for an empty line, the end
    // of the header; else 1, with a "Content-Length" value stored into contentLength.
    static int ParseHeaderLine(char* line, int& contentLength);

    // The request, then each reply line, then the body. A header line longer than the
    // buffer is cut at BufferSize - 1 characters; the rest of it is dropped.
    char Buffer[BufferSize] = {};
    std::string Host;
    // The whole reply must have arrived within this time.
    int ReplyTimeLimitMs = 30000;

private:
    int SendRequest();
    int ReadHeader(int& contentLength);
    int ReadBody(int length);
    bool PastDeadline() const { return std::chrono::steady_clock::now() > Deadline; }

    std::chrono::steady_clock::time_point Deadline;
};
