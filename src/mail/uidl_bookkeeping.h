#pragma once

#include "mail/uidl_list.h"

#include <cstddef>
#include <cstdio>
#include <string>

// Picks the UIDL out of every "<number> <uidl>" line of a listing as its bytes arrive, in
// pieces cut anywhere, and adds it to a table in listing order (so the last line ends up at
// the head). Lines that do not match are skipped; a UIDL is cut to 1023 bytes. Only the line
// being read is held, and of it only the UIDL.
class CGListingScanner {
public:
    explicit CGListingScanner(CGUidlList& into) : Into(into) {}

    void Add(const char* piece, std::size_t length);
    // Takes the last line when the listing ended without a line end. Returns the number of
    // UIDLs added in all.
    int Finish();

private:
    enum class Phase { Lead, Sign, Digits, Gap, Word, Skip };
    void Step(char c);
    void EndWord();

    CGUidlList& Into; // not owned: the table being filled
    Phase At = Phase::Lead;
    std::string Word;
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
    // what is new (NewMail), and drops from the seen list what has left the server. Returns
    // the message count.
    int Apply(CGUidlList current);
    // Every UIDL of the last listing joins the seen list; nothing is announced any more.
    void MarkAllSeen();

    int MessageCount() const { return MessageCountValue; }
    int UnreadCount() const { return UnreadCountValue; }
    int NewMail() const { return NewMailValue; }
    void ClearNewMail() { NewMailValue = 0; }

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
};

// The seen file: one entry per line (lines over 1023 characters come as several entries).
CGUidlList ReadSeenFile(std::FILE* file);
// Writes one entry per line from the head; 1 when every line was written.
int WriteSeenFile(std::FILE* file, const CGUidlList& seen);
