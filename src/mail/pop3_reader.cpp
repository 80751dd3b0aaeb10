#include "mail/pop3_reader.h"

#include "net/ssl_connection.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr char LimitReply[] = "-ERR Exceeded the login limit";
constexpr std::string_view Limit(LimitReply, sizeof LimitReply - 1); // 29 bytes

// Matches "CR LF . CR LF" one byte at a time; the state is how much of it has been seen.
// Starting at 2 treats the body as if a line had just ended, so that a body made of the end
// line alone ends as well.
constexpr int EndMatchStart = 2;
constexpr int EndMatched = 5;

int EndMatchStep(int state, char c) {
    switch (state) {
    case 1: // CR
        return c == '\n' ? 2 : c == '\r' ? 1 : 0;
    case 2: // CR LF
        return c == '.' ? 3 : c == '\r' ? 1 : 0;
    case 3: // CR LF .
        return c == '\r' ? 4 : 0;
    case 4: // CR LF . CR
        return c == '\n' ? EndMatched : c == '\r' ? 1 : 0;
    default:
        return c == '\r' ? 1 : 0;
    }
}

} // namespace

CGPop3Reader::CGPop3Reader(CGSslConnection& connection)
    : Connection(connection), Serial(connection.Serial()) {}

std::string_view CGPop3Reader::Buffered() const {
    if (Connection.Serial() != Serial)
        return {};
    return std::string_view(Buffer.get() + Begin, Available());
}

bool CGPop3Reader::ConnectionFailed() const {
    return Connection.Serial() == Serial && Broken;
}

void CGPop3Reader::FollowConnection() {
    if (Connection.Serial() == Serial)
        return;
    Serial = Connection.Serial();
    Begin = End = 0;
    Broken = false;
}

int CGPop3Reader::Fill() {
    if (!Buffer)
        Buffer = std::make_unique<char[]>(Capacity);
    if (Begin == End) {
        Begin = End = 0;
    } else if (End == Capacity) {
        std::memmove(Buffer.get(), Buffer.get() + Begin, Available());
        End -= Begin;
        Begin = 0;
    }
    const int n = Connection.Read(Buffer.get() + End, static_cast<int>(Capacity - End));
    if (n <= 0) {
        Broken = true;
        return 0;
    }
    End += static_cast<std::size_t>(n);
    return 1;
}

int CGPop3Reader::ReadStatus(std::string* restOut, bool wholeLine) {
    return ReadReply(restOut, nullptr, wholeLine, std::string::npos);
}

int CGPop3Reader::ReadStatusLine(std::string& line) {
    line = "+OK";
    std::string error;
    const int status = ReadReply(&line, &error, true, MaxReplyText);
    if (status != 0)
        line = std::move(error);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return status;
}

int CGPop3Reader::ReadReply(std::string* okText, std::string* errorText, bool wholeLine,
                            std::size_t limit) {
    FollowConnection();
    while (Available() < 3)
        if (!Fill())
            return -1;
    if (std::memcmp(Buffer.get() + Begin, "+OK", 3) == 0) {
        Begin += 3;
        return ReadRestOfLine(okText, limit);
    }
    bool ended = false;
    const int status = ReadErrorLine(ended, errorText);
    if (wholeLine && !ended && ReadRestOfLine(errorText, limit) != 0)
        return -1;
    return status;
}

int CGPop3Reader::ReadRestOfLine(std::string* restOut, std::size_t limit) {
    for (;;) {
        if (Available() == 0 && !Fill())
            return -1;
        const char* p = Buffer.get() + Begin;
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', Available()));
        const std::size_t taken = lf ? static_cast<std::size_t>(lf - p) + 1 : Available();
        if (restOut && restOut->size() < limit)
            restOut->append(p, std::min(taken, limit - restOut->size()));
        Begin += taken;
        if (lf)
            return 0;
    }
}

int CGPop3Reader::ReadErrorLine(bool& ended, std::string* taken) {
    // Just enough of the line to tell the login limit from the rest, however small the
    // pieces it arrives in: a server that stops in the middle of a plain refusal is not
    // waited for.
    for (;;) {
        std::string_view seen(Buffer.get() + Begin, std::min(Available(), Limit.size()));
        const std::size_t lf = seen.find('\n');
        if (lf != std::string_view::npos)
            seen = seen.substr(0, lf + 1);
        const bool decided = seen.size() == Limit.size() || lf != std::string_view::npos ||
                             Limit.substr(0, seen.size()) != seen;
        if (decided) {
            if (taken)
                taken->append(seen);
            Begin += seen.size();
            ended = lf != std::string_view::npos;
            return seen == Limit ? -2 : -1;
        }
        if (!Fill())
            return -1;
    }
}

int CGPop3Reader::ReadBody(const BodySink& sink, std::size_t limit) {
    FollowConnection();
    std::size_t total = 0;
    int state = EndMatchStart;
    for (;;) {
        if (Available() == 0 && !Fill())
            return 0;
        char* p = Buffer.get() + Begin;
        const std::size_t n = Available();
        std::size_t used = n;
        for (std::size_t i = 0; i < n; ++i) {
            if (p[i] == '\0')
                p[i] = ' ';
            state = EndMatchStep(state, p[i]);
            if (state == EndMatched) {
                used = i + 1;
                break;
            }
        }
        if (used > limit - total)
            return -1; // never hand on more than the bound, whatever the server keeps sending
        total += used;
        Begin += used;
        sink(p, used);
        if (state == EndMatched)
            return 1;
    }
}
