#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Header text as a person reads it. Everything here takes whatever bytes a server sends and
// gives back UTF-8 that can be shown on one line.

// The text of an unstructured header (a Subject, the name in a From) with its RFC 2047
// encoded-words ("=?charset?B|Q?text?=") decoded to UTF-8. The blanks between two adjacent
// encoded-words go, and adjacent words of one charset are joined before conversion, so a
// character split across two words survives. A word that is malformed, or whose charset is
// not one we know, stays as it stands. Not cleaned: see CleanDisplayText.
std::string DecodeEncodedWords(std::string_view text);

// Converts bytes in charset (UTF-8, US-ASCII, ISO-8859-1, ISO-8859-15, Windows-1252 and their
// usual aliases, any case, an RFC 2231 "*language" suffix ignored) to UTF-8. False for a
// charset we do not know; out is then unchanged.
bool CharsetToUtf8(std::string_view charset, std::string_view bytes, std::string& out);

// Text fit for one line of a notification: UTF-8 kept where valid (any other byte read as
// Windows-1252), control and direction-changing characters dropped, every run of blanks,
// tabs and line ends made one blank, no blank at either end, and at most maxBytes (cut
// between characters).
std::string CleanDisplayText(std::string_view text, std::size_t maxBytes);
