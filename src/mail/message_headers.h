#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Who wrote a new message and about what, as its headers say (the reply to "TOP n 0").
struct CGMessageHeaders {
    std::string Sender;  // the From's display name, else its address; UTF-8, may be empty
    std::string Subject; // UTF-8, may be empty
};

// What the last listing announced as new: how many messages, and the headers of the newest
// of them that could be read, newest first (none when the server offers no TOP, when the
// user wants no details, or when a reply was refused or too long).
struct CGNewMailNote {
    int Count = 0;
    std::vector<CGMessageHeaders> Headers;
};

// The longest Sender and Subject kept, in bytes: a line of a notification shows far less.
inline constexpr std::size_t MaxHeaderText = 256;

// Reads the header block of a message as TOP n 0 returns it: lines up to an empty line, a line
// holding only "." or the end; lines starting with "." lose it (dot-stuffing); folded lines
// are unfolded (RFC 5322). The first From and Subject count; encoded-words are decoded and
// the texts cleaned (encoded_words.h).
CGMessageHeaders ParseMessageHeaders(std::string_view block);

// The body of the first header field called name (any case), unfolded, or empty.
std::string HeaderField(std::string_view block, std::string_view name);

// The sender a From field names, for display: the display name of its first mailbox
// (quoted or not, encoded-words decoded, an old-style "(comment)" name as well), else its
// address.
std::string SenderName(std::string_view from);
