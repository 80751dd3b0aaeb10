#pragma once

#include "mail/message_headers.h"
#include "mail/uidl_list.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The message number of every line of a listing, by the line's position (0 = the first line),
// kept as runs: a server numbers its messages 1, 2, 3 ..., so a listing usually takes one
// entry, never a second copy. A number that is not a plain positive decimal is unknown (0),
// and so is every number after MaxRuns runs (a server that numbers at random).
class CGMessageNumbers {
public:
    // Lines are noted in order.
    void Note(std::size_t position, std::uint64_t number);
    // The number of the line at position, or 0 when unknown.
    std::uint64_t At(std::size_t position) const;

    static constexpr std::size_t MaxRuns = 4096;

private:
    struct Run {
        std::size_t Position;
        std::uint64_t Number; // of the run's first line; 0: the run's numbers are unknown
    };
    std::vector<Run> Runs;
    std::size_t GaveUpAt = SIZE_MAX; // from this position on nothing is noted
};

// Picks the UIDL out of every "<number> <uidl>" line of a listing as its bytes arrive, in
// pieces cut anywhere, and adds it to a table in listing order (so the last line ends up at
// the head). Lines that do not match are skipped; a UIDL is cut to 1023 bytes. Only the line
// being read is held, and of it only the UIDL. With numbers, each added UIDL's message number
// is noted there.
class CGListingScanner {
public:
    explicit CGListingScanner(CGUidlList& into, CGMessageNumbers* numbers = nullptr)
        : Into(into), Numbers(numbers) {}

    void Add(const char* piece, std::size_t length);
    // Takes the last line when the listing ended without a line end. Returns the number of
    // UIDLs added in all.
    int Finish();

private:
    enum class Phase { Lead, Sign, Digits, Gap, Word, Skip };
    void Step(char c);
    void EndWord();

    CGUidlList& Into;          // not owned: the table being filled
    CGMessageNumbers* Numbers; // not owned; may be null
    Phase At = Phase::Lead;
    std::string Word;
    void AddDigit(char c);

    std::uint64_t Number = 0; // of the line being read
    bool NumberBad = false;   // the line's number cannot be a message number
    int Added = 0;
};

// Adds the UIDL of every "<number> <uidl>" line of a listing body (a text ending at its NUL)
// to out, as CGListingScanner does. Returns the number added.
int ScanListing(const char* body, CGUidlList& out);

// What a mailbox's listings mean to the user: the last listing, the messages marked read
// (the seen list), those announced already, and the counts shown. Not locked itself: its
// owner guards it.
class CGUidlBookkeeping {
public:
    // Takes a listing that has fully arrived: counts it against the seen list, announces
    // what is new (NewMail, and a note of it), and drops from the seen list what has left the
    // server. headers: what was read of new messages before, by their position from the
    // listing's head; the note keeps those that this listing announces. Returns the message
    // count.
    struct Fetched {
        std::size_t Position; // from the head: 0 is the listing's last line
        CGMessageHeaders Headers;
    };
    int Apply(CGUidlList current, std::vector<Fetched> headers = {});
    // The positions from the head (newest first) of at most max entries of current that
    // Apply would announce now.
    std::vector<std::size_t> NewestToAnnounce(const CGUidlList& current, std::size_t max) const;
    // Every UIDL of the last listing joins the seen list; nothing is announced any more.
    void MarkAllSeen();

    int MessageCount() const { return MessageCountValue; }
    int UnreadCount() const { return UnreadCountValue; }
    int NewMail() const { return NewMailValue; }
    // Lowers NewMail; its note goes with it.
    void ClearNewMail() {
        NewMailValue = 0;
        Note = CGNewMailNote();
    }
    // Reads NewMail and clears it; the note moves to note when given.
    int TakeNewMail(CGNewMailNote* note);

    const CGUidlList& Seen() const { return SeenUidls; }
    const CGUidlList& Current() const { return CurrentUidls; }
    const CGUidlList& Notified() const { return NotifiedUidls; }
    void ReplaceSeen(CGUidlList seen) { SeenUidls = std::move(seen); }

private:
    int MessageCountValue = 0;
    CGUidlList CurrentUidls;  // the last successful listing
    CGUidlList SeenUidls;     // marked as read by the user
    CGUidlList NotifiedUidls; // unread and already announced
    int UnreadCountValue = 0;
    int NewMailValue = 0;
    CGNewMailNote Note; // of the listing that raised NewMail
};

// The seen file: one entry per line (lines over 1023 characters come as several entries).
CGUidlList ReadSeenFile(std::FILE* file);
// Writes one entry per line from the head; 1 when every line was written.
int WriteSeenFile(std::FILE* file, const CGUidlList& seen);
