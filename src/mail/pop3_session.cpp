#include "mail/pop3_session.h"

#include "base/chunk_buffer.h"
#include "base/scan.h"

#include <cstring>
#include <string_view>

namespace {

constexpr char LimitReply[] = "-ERR Exceeded the login limit";
constexpr std::size_t LimitReplyLength = sizeof LimitReply - 1; // 29
// A command line holds 255 characters with its CR LF (the longest a POP3 server must take).
constexpr std::size_t MaxCommandText = 253;
// Longest UIDL kept from a listing line (the standard allows 70).
constexpr std::size_t MaxUidl = 1023;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "<number> <word>" in [p, end): the word, or an empty view when the line does not match.
std::string_view ScanLine(const char* p, const char* end) {
    while (p < end && IsSpace(*p))
        ++p;
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    if (p == end || !IsDigit(*p))
        return {};
    while (p < end && IsDigit(*p))
        ++p;
    while (p < end && IsSpace(*p))
        ++p;
    const char* word = p;
    while (p < end && !IsSpace(*p))
        ++p;
    std::size_t length = static_cast<std::size_t>(p - word);
    return std::string_view(word, length < MaxUidl ? length : MaxUidl);
}

} // namespace

int ScanListing(const char* body, CGUidlList& out) {
    std::size_t lines = 1;
    for (const char* lf = std::strchr(body, '\n'); lf; lf = std::strchr(lf + 1, '\n'))
        ++lines;
    out.Reserve(out.Count() + lines); // one allocation for the table, not one per doubling
    int added = 0;
    const char* p = body;
    while (*p) {
        const char* eol = std::strchr(p, '\n');
        const char* end = eol ? eol : p + std::strlen(p);
        std::string_view uidl = ScanLine(p, end);
        if (!uidl.empty()) {
            out.Push(uidl);
            ++added;
        }
        p = eol ? eol + 1 : end;
    }
    return added;
}

CGPOP3Session::CGPOP3Session(std::mutex* guard) : GuardPtr(guard ? guard : &OwnGuard) {}

int CGPOP3Session::ReadReply(std::string* restOut) {
    char head[3];
    int got = 0;
    while (got < 3) {
        int n = Transport.Read(head + got, 3 - got);
        if (n <= 0)
            return -1;
        got += n;
    }
    if (std::memcmp(head, "+OK", 3) == 0) {
        for (;;) {
            char c;
            if (Transport.Read(&c, 1) <= 0)
                return -1;
            if (restOut)
                restOut->push_back(c);
            if (c == '\n')
                return 0;
        }
    }
    // An error line: gather just enough of it to tell the login limit from the rest, however
    // small the pieces it arrives in. What is left unread is abandoned with the connection.
    std::string text(head, 3);
    const std::string_view limit(LimitReply, LimitReplyLength);
    while (text.size() < LimitReplyLength && text.find('\n') == std::string::npos &&
           limit.substr(0, text.size()) == text) {
        char piece[LimitReplyLength];
        int n = Transport.Read(piece, static_cast<int>(LimitReplyLength - text.size()));
        if (n <= 0)
            break;
        text.append(piece, static_cast<std::size_t>(n));
    }
    return text.compare(0, LimitReplyLength, limit) == 0 ? -2 : -1;
}

int CGPOP3Session::SendCommand(const char* verb, const char* argument) {
    std::string line = verb ? verb : "";
    if (argument) {
        line += ' ';
        line += argument;
    }
    // An overlong line is cut, but always ends with CR LF: a line without its end would
    // leave the server waiting for the rest.
    if (line.size() > MaxCommandText)
        line.resize(MaxCommandText);
    line += "\r\n";
    const int length = static_cast<int>(line.size());
    return Transport.Write(line.data(), length) == length ? 1 : 0;
}

int CGPOP3Session::ReadMultiLine(CGChunkBuffer& chunks) {
    // Only the last five characters gathered decide whether the body is complete, so the
    // test costs the same however long the listing grows.
    char tail[5];
    std::size_t tailLength = 0;
    std::size_t total = 0;
    char piece[1025];
    for (;;) {
        int n = Transport.Read(piece, 1024);
        if (n <= 0)
            return 0;
        piece[n] = 0;
        chunks.AppendText(piece); // text mode: a NUL ends what is kept of the piece
        const std::size_t length = std::strlen(piece);
        total += length;
        for (std::size_t i = 0; i < length; ++i) {
            if (tailLength == sizeof tail) {
                std::memmove(tail, tail + 1, sizeof tail - 1);
                --tailLength;
            }
            tail[tailLength++] = piece[i];
        }
        const std::string_view end(tail, tailLength);
        if ((total == 3 && end == ".\r\n") || end == "\r\n.\r\n")
            return 1;
    }
}

int CGPOP3Session::ListUidls() {
    if (!SendCommand("UIDL", nullptr))
        return -1;
    const int reply = ReadReply();
    if (reply != 0)
        return reply;
    {
        std::lock_guard<std::mutex> lock(Guard());
        NewMailValue = 0;
    }
    // The listing of the last successful check stays until a new one has fully arrived, so
    // that a mark-as-read during the read (or after a failed one) still marks what the user
    // was shown.
    CGChunkBuffer chunks;
    if (!ReadMultiLine(chunks))
        return -1;
    std::unique_ptr<char[]> body = chunks.Flatten();
    chunks.Free();
    return ApplyListing(body.get());
}

int CGPOP3Session::ApplyListing(const char* body) {
    CGUidlList current;
    ScanListing(body, current);

    std::lock_guard<std::mutex> lock(Guard());
    int unread = 0;
    int total = 0;
    NewMailValue = 0;
    current.ForEach([&](std::string_view uidl) {
        if (!SeenUidls.Contains(uidl)) {
            ++unread;
            if (!NotifiedUidls.Contains(uidl)) {
                NotifiedUidls.Push(uidl);
                NewMailValue = 1;
            }
        }
        ++total;
    });
    SeenUidls.KeepOnly(current); // what the user read and has since left the server
    CurrentUidls = std::move(current);
    UnreadCountValue = unread;
    MessageCountValue = total;
    return total;
}

void CGPOP3Session::MarkAllSeen() {
    std::lock_guard<std::mutex> lock(Guard());
    CurrentUidls.ForEach([&](std::string_view uidl) {
        if (!SeenUidls.Contains(uidl))
            SeenUidls.Push(uidl);
    });
    NotifiedUidls.Clear();
    UnreadCountValue = 0;
}

void CGPOP3Session::LoadSeenList(std::FILE* file) {
    CGUidlList seen;
    char line[1024];
    while (std::fgets(line, sizeof line, file)) {
        std::size_t length = std::strlen(line);
        if (length > 0 && line[length - 1] == '\n') {
            line[--length] = 0;
        } else if (length == sizeof line - 1) {
            // A line of exactly 1023 characters is one entry, not that and an empty one.
            const int next = std::fgetc(file);
            if (next != '\n' && next != EOF)
                std::ungetc(next, file);
        }
        seen.Push(std::string_view(line, length));
    }
    ReplaceSeenUidls(std::move(seen));
}

int CGPOP3Session::WriteSeenList(std::FILE* file) const {
    const CGUidlList seen = CopySeenUidls();
    int ok = 1;
    seen.ForEach([&](std::string_view uidl) {
        if (std::fprintf(file, "%.*s\n", static_cast<int>(uidl.size()), uidl.data()) < 0)
            ok = 0;
    });
    return ok;
}

int CGPOP3Session::MessageCount() const {
    std::lock_guard<std::mutex> lock(Guard());
    return MessageCountValue;
}

int CGPOP3Session::UnreadCount() const {
    std::lock_guard<std::mutex> lock(Guard());
    return UnreadCountValue;
}

int CGPOP3Session::NewMail() const {
    std::lock_guard<std::mutex> lock(Guard());
    return NewMailValue;
}

int CGPOP3Session::TakeNewMail() {
    std::lock_guard<std::mutex> lock(Guard());
    const int value = NewMailValue;
    NewMailValue = 0;
    return value;
}

CGUidlList CGPOP3Session::CopySeenUidls() const {
    std::lock_guard<std::mutex> lock(Guard());
    return SeenUidls;
}

CGUidlList CGPOP3Session::CopyCurrentUidls() const {
    std::lock_guard<std::mutex> lock(Guard());
    return CurrentUidls;
}

CGUidlList CGPOP3Session::CopyNotifiedUidls() const {
    std::lock_guard<std::mutex> lock(Guard());
    return NotifiedUidls;
}

void CGPOP3Session::ReplaceSeenUidls(CGUidlList seen) {
    std::lock_guard<std::mutex> lock(Guard());
    SeenUidls = std::move(seen);
}
