#include "mail/pop3_session.h"

#include "base/chunk_buffer.h"
#include "base/scan.h"

#include <algorithm>
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

// The last five bytes of a body as it arrives: all that the test for its end looks at, so
// the test costs the same however long the body grows.
class BodyTail {
public:
    void Add(const char* piece, std::size_t length) {
        const std::size_t taken = std::min(length, sizeof Bytes);
        const std::size_t kept = std::min(Length, sizeof Bytes - taken);
        std::memmove(Bytes, Bytes + Length - kept, kept);
        std::memcpy(Bytes + kept, piece + length - taken, taken);
        Length = kept + taken;
    }
    std::string_view View() const { return std::string_view(Bytes, Length); }

private:
    char Bytes[5] = {};
    std::size_t Length = 0;
};

// Calls f(uidl) for the UIDL of every matching line of body, in listing order.
template <class F> void ForEachListingLine(const char* body, F&& f) {
    const char* p = body;
    while (*p) {
        const char* eol = std::strchr(p, '\n');
        const char* end = eol ? eol : p + std::strlen(p);
        const std::string_view uidl = ScanLine(p, end);
        if (!uidl.empty())
            f(uidl);
        p = eol ? eol + 1 : end;
    }
}

} // namespace

int ScanListing(const char* body, CGUidlList& out) {
    // Room for exactly the lines that hold a UIDL, counted first: one allocation for the
    // table rather than one per doubling, and a listing of blank lines claims nothing.
    std::size_t matching = 0;
    ForEachListingLine(body, [&](std::string_view) { ++matching; });
    out.Reserve(out.Count() + matching);
    int added = 0;
    ForEachListingLine(body, [&](std::string_view uidl) {
        out.Push(uidl);
        ++added;
    });
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

int CGPOP3Session::ReadMultiLine(CGChunkBuffer& chunks, std::size_t limit) {
    BodyTail tail;
    std::size_t total = 0;
    char piece[1025];
    for (;;) {
        const int n = Transport.Read(piece, 1024);
        if (n <= 0)
            return 0;
        const std::size_t length = static_cast<std::size_t>(n);
        if (length > limit - total)
            return -1; // never hold more than the bound, whatever the server keeps sending
        total += length;
        // A UIDL is printable; a NUL is taken as the blank that ends a word, so it can hide
        // neither the lines after it nor the end of the listing.
        std::replace(piece, piece + length, '\0', ' ');
        piece[length] = 0;
        chunks.AppendText(piece);
        tail.Add(piece, length);
        if ((total == 3 && tail.View() == ".\r\n") || tail.View() == "\r\n.\r\n")
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
    if (ReadMultiLine(chunks) != 1)
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
