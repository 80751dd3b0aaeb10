#include "update/socket_http.h"

#include "update/version_file.h"

#include "base/scan.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

const char VersionPath[] = "/version.txt";

} // namespace

int CGSocketHTTP::FetchVersionFile() {
    std::uint32_t address = 0;
    if (!ResolveHostIPv4(Host.c_str(), address))
        return 0;
    if (!Connect(address))
        return 0;
    int result = SendRequest() ? ReadReply() : 0;
    Close();
    return result;
}

int CGSocketHTTP::SendRequest() {
    int length = std::snprintf(Buffer, BufferSize, "GET %s HTTP/1.1\nHost:%s\n\n", VersionPath,
                               Host.c_str());
    if (length <= 0 || length >= BufferSize)
        return 0; // a cut request would ask for something else
    return Write(Buffer, length) == length ? 1 : 0;
}

int CGSocketHTTP::ReadReply() {
    // A reply that trickles in must still end: one deadline for header and body together.
    Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ReplyTimeLimitMs);
    int contentLength = 0;
    if (!ReadHeader(contentLength))
        return 0;
    // Negative lengths included: the body and its terminator must fit the buffer.
    if (contentLength < 1 || contentLength > BufferSize - 1)
        return 0;
    return ReadBody(contentLength);
}

int CGSocketHTTP::ReadHeader(int& contentLength) {
    contentLength = 0;
    int used = 0;
    for (int total = 1; total <= MaxHeaderBytes && !PastDeadline(); ++total) {
        char byte = 0;
        if (Read(&byte, 1) != 1)
            return 0; // closed or silent before the empty line: not a complete reply
        if (byte == '\r')
            continue;
        if (byte == '\n') {
            Buffer[used] = 0;
            if (ParseHeaderLine(Buffer, contentLength) == 0)
                return 1;
            used = 0;
        } else if (used < BufferSize - 1) {
            Buffer[used++] = byte;
        }
    }
    return 0;
}

int CGSocketHTTP::ReadBody(int length) {
    // The body may come in more than one piece; each Read waits for the next one.
    int received = 0;
    while (received < length) {
        int n = PastDeadline() ? 0 : Read(Buffer + received, length - received);
        if (n <= 0)
            return 0; // shorter than announced
        received += n;
    }
    Buffer[length] = 0;
    return 1;
}

int CGSocketHTTP::ParseHeaderLine(char* line, int& contentLength) {
    while (*line == ' ')
        ++line;
    if (*line == 0)
        return 0;
    const char* value = nullptr;
    // Every colon ends the text before it; the value is what follows the last one.
    for (char* p = line; *p != 0; ++p) {
        if (*p != ':')
            continue;
        *p = 0;
        while (p[1] == ' ')
            ++p;
        value = p + 1;
    }
    if (value != nullptr && EqualsIgnoringCase(line, "Content-Length"))
        contentLength = ParseLeadingInt(value);
    return 1;
}
