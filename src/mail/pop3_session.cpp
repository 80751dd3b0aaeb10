#include "mail/pop3_session.h"

#include "base/chunk_buffer.h"

#include <string>

CGPOP3Session::CGPOP3Session(std::mutex* guard) : GuardPtr(guard ? guard : &OwnGuard) {}

int CGPOP3Session::ReadMultiLine(CGChunkBuffer& chunks, std::size_t limit) {
    std::string text;
    return Dialogue.Reader.ReadBody(
        [&](const char* piece, std::size_t n) {
            text.assign(piece, n); // the chunks take text ending at its NUL
            chunks.AppendText(text.c_str());
        },
        limit);
}

int CGPOP3Session::ListUidls(int withHeaders) {
    const int reply = Dialogue.RequestListing();
    if (reply != 0)
        return reply;
    {
        std::lock_guard<std::mutex> lock(Guard());
        Book.ClearNewMail();
    }
    // The listing of the last successful check stays until a new one has fully arrived, so
    // that a mark-as-read during the read (or after a failed one) still marks what the user
    // was shown.
    CGUidlList current(CGUidlList::Unindexed); // only walked through, never asked
    CGMessageNumbers numbers;
    if (Dialogue.ReceiveListing(current, CGPop3Reader::MaxBodyBytes, &numbers) != 1)
        return -1;
    // The headers are read before the listing is applied, so that the new mail is announced
    // once, with them.
    std::vector<CGUidlBookkeeping::Fetched> headers;
    if (withHeaders && Dialogue.Capabilities.Top) {
        std::vector<std::size_t> newest;
        {
            std::lock_guard<std::mutex> lock(Guard());
            newest = Book.NewestToAnnounce(current, MaxNoteHeaders);
        }
        headers = ReadNewHeaders(current, numbers, newest);
    }
    std::lock_guard<std::mutex> lock(Guard());
    return Book.Apply(std::move(current), std::move(headers));
}

std::vector<CGUidlBookkeeping::Fetched>
CGPOP3Session::ReadNewHeaders(const CGUidlList& current, const CGMessageNumbers& numbers,
                              const std::vector<std::size_t>& at) {
    std::vector<CGUidlBookkeeping::Fetched> read;
    for (std::size_t position : at) {
        const std::uint64_t number = numbers.At(current.Count() - 1 - position);
        if (number == 0)
            continue; // the server gave no usable number: that message counts without a sender
        CGMessageHeaders headers;
        // A refusal means no TOP for us after all; a reply past the bound leaves the
        // conversation out of step. Either way the rest count without a sender.
        if (Dialogue.ReadHeaders(number, headers) != 1)
            break;
        read.push_back({position, std::move(headers)});
    }
    return read;
}

int CGPOP3Session::ApplyListing(const char* body, std::vector<CGUidlBookkeeping::Fetched> headers) {
    CGUidlList current(CGUidlList::Unindexed);
    ScanListing(body, current);
    std::lock_guard<std::mutex> lock(Guard());
    return Book.Apply(std::move(current), std::move(headers));
}

void CGPOP3Session::MarkAllSeen() {
    std::lock_guard<std::mutex> lock(Guard());
    Book.MarkAllSeen();
}

void CGPOP3Session::LoadSeenList(std::FILE* file) {
    ReplaceSeenUidls(ReadSeenFile(file));
}

int CGPOP3Session::WriteSeenList(std::FILE* file) const {
    return WriteSeenFile(file, CopySeenUidls());
}

int CGPOP3Session::MessageCount() const {
    std::lock_guard<std::mutex> lock(Guard());
    return Book.MessageCount();
}

int CGPOP3Session::UnreadCount() const {
    std::lock_guard<std::mutex> lock(Guard());
    return Book.UnreadCount();
}

int CGPOP3Session::NewMail() const {
    std::lock_guard<std::mutex> lock(Guard());
    return Book.NewMail();
}

int CGPOP3Session::TakeNewMail(CGNewMailNote* note) {
    std::lock_guard<std::mutex> lock(Guard());
    return Book.TakeNewMail(note);
}

CGUidlList CGPOP3Session::CopySeenUidls() const {
    std::lock_guard<std::mutex> lock(Guard());
    return Book.Seen();
}

CGUidlList CGPOP3Session::CopyCurrentUidls() const {
    std::lock_guard<std::mutex> lock(Guard());
    return Book.Current();
}

CGUidlList CGPOP3Session::CopyNotifiedUidls() const {
    std::lock_guard<std::mutex> lock(Guard());
    return Book.Notified();
}

void CGPOP3Session::ReplaceSeenUidls(CGUidlList seen) {
    std::lock_guard<std::mutex> lock(Guard());
    Book.ReplaceSeen(std::move(seen));
}
