#pragma once

#include "mail/pop3_dialogue.h"
#include "mail/uidl_bookkeeping.h"
#include "net/ssl_connection.h"

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class CGChunkBuffer;

// One POP3 mailbox as an account keeps it: its connection, the dialogue over it and the
// bookkeeping that turns a UIDL listing into how many messages are unread and whether any is
// new since the user was last told. The three pieces live in pop3_reader.h, pop3_dialogue.h
// and uidl_bookkeeping.h; this class puts them together under one lock.
//
// The checking thread runs the dialogue; the user-interface thread marks mail as read,
// reads and clears NewMail and saves the seen list. The bookkeeping is guarded by one
// mutex (the account's, when the session lives in an account): network I/O runs outside
// it, and a listing's results are applied under it in one step.
class CGPOP3Session {
public:
    // guard: the mutex that protects the bookkeeping; null means the session's own.
    explicit CGPOP3Session(std::mutex* guard = nullptr);
    CGPOP3Session(const CGPOP3Session&) = delete;
    CGPOP3Session& operator=(const CGPOP3Session&) = delete;

    // Transport (owned by the thread that runs the dialogue).
    int Connect(const char* host, int port, int useSSL) {
        return Dialogue.Connect(host, port, useSSL);
    }
    void Close() { Transport.Close(); }
    CGSslConnection Transport;
    CGPop3Dialogue Dialogue{Transport};

    // One status reply: 0 = "+OK", -2 = "-ERR Exceeded the login limit...", -1 = any other
    // reply or a connection that failed before the reply was complete. restOut, when given,
    // receives the rest of a "+OK" line.
    int ReadReply(std::string* restOut = nullptr) { return Dialogue.Reader.ReadStatus(restOut); }
    // Sends "verb argument\r\n" (or "verb\r\n" for a null argument); 1 when all was written.
    int SendCommand(const char* verb, const char* argument) {
        return Dialogue.SendCommand(verb, argument);
    }
    // The most a listing may hold, terminating line included.
    static constexpr std::size_t MaxListingBytes = CGPop3Reader::MaxBodyBytes;

    // Gathers a multi-line body up to and including the terminating "." line, whatever bytes
    // it holds (a NUL is kept as a blank). 1 when it arrived, 0 when the connection failed
    // first, -1 when the body grew past limit bytes without ending.
    int ReadMultiLine(CGChunkBuffer& chunks, std::size_t limit = MaxListingBytes);
    // Runs UIDL and updates the bookkeeping, the listing streaming into a fresh table as it
    // arrives. MessageCount (0 or more) on success, -1 on a failed command, reply or listing
    // (an overlong listing included), -2 when the server refused with the login limit. After
    // a failure the bookkeeping of the last good listing stays. With withHeaders, and when
    // the server offers TOP, the headers of the newest messages the listing announces (at
    // most MaxNoteHeaders) are read first, and go with the note of the new mail.
    int ListUidls(int withHeaders = 0);
    static constexpr std::size_t MaxNoteHeaders = 5;

    // Bookkeeping of a listing that has fully arrived (the body, terminating line included),
    // with the headers read of its new messages. Returns the message count. Tests and
    // benchmarks call it directly.
    int ApplyListing(const char* body, std::vector<CGUidlBookkeeping::Fetched> headers = {});

    // Every UIDL of the last listing joins the seen list; nothing is announced any more.
    void MarkAllSeen();
    // Replaces the seen list with the lines of an open text file (lines over 1023
    // characters come as several entries).
    void LoadSeenList(std::FILE* file);
    // Writes the seen list, one entry per line from the head, as one consistent snapshot.
    // 1 when every line was written.
    int WriteSeenList(std::FILE* file) const;

    // Reads of the bookkeeping (each under the guard).
    int MessageCount() const;
    int UnreadCount() const;
    int NewMail() const;
    // The same, for a caller that holds Guard() already.
    int MessageCountUnlocked() const { return Book.MessageCount(); }
    int UnreadCountUnlocked() const { return Book.UnreadCount(); }
    // Reads NewMail and clears it, in one step; what the listing announced moves to note
    // when given.
    int TakeNewMail(CGNewMailNote* note = nullptr);
    CGUidlList CopySeenUidls() const;
    CGUidlList CopyCurrentUidls() const;
    CGUidlList CopyNotifiedUidls() const;
    void ReplaceSeenUidls(CGUidlList seen);

    std::mutex& Guard() const { return *GuardPtr; }

private:
    // TOP for the entries of current at the given positions from the head, while the server
    // answers; what was read, by position.
    std::vector<CGUidlBookkeeping::Fetched> ReadNewHeaders(const CGUidlList& current,
                                                           const CGMessageNumbers& numbers,
                                                           const std::vector<std::size_t>& at);

    mutable std::mutex OwnGuard;
    std::mutex* GuardPtr;   // not owned when handed in: the account's
    CGUidlBookkeeping Book; // guarded by *GuardPtr
};
