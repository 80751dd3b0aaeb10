// Feeds arbitrary bytes to the version check's reply reader (header lines, Content-Length,
// body) as if they came from the update host, then to the version body parse.
#include "update/socket_http.h"
#include "update/version_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Hands out the fuzz input in pieces of a size chosen by the input, then reports a close.
class FuzzReply : public CGSocketHTTP {
public:
    FuzzReply(const uint8_t* data, size_t size, int piece) : Data(data), Size(size), Piece(piece) {}

    int Read(char* buffer, int size) override {
        if (Used >= Size)
            return -1;
        size_t n = std::min({Size - Used, static_cast<size_t>(size), static_cast<size_t>(Piece)});
        std::memcpy(buffer, Data + Used, n);
        Used += n;
        return static_cast<int>(n);
    }

private:
    const uint8_t* Data;
    size_t Size;
    size_t Used = 0;
    int Piece;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    FuzzReply reply(data + 1, size - 1, 1 + data[0] % 64);
    int major = 0, minor = 0, build = 0;
    if (reply.ReadReply() == 1) {
        if (std::strlen(reply.Buffer) >= CGSocketHTTP::BufferSize)
            __builtin_trap();
        ParseVersionBody(reply.Buffer, major, minor, build);
    }

    // Each line on its own, and the whole input as a body.
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        line = line.c_str();
        int length = 0;
        CGSocketHTTP::ParseHeaderLine(line.data(), length);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    ParseVersionBody(text.c_str(), major, minor, build);
    VersionKey(major, minor, build, 0);
    return 0;
}
