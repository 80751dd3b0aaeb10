#pragma once

#include <cstdint>
#include <string_view>

// The character classes and the number scanner that every reader of outside text shares.

// White space as the C library knows it in the "C" locale: space, tab, LF, VT, FF, CR.
bool IsSpace(char c);
// The two blanks that may stand around a field of a list: space and tab.
bool IsBlank(char c);
// The letter in lower case for A to Z; any other byte as it is (no locale).
char LowerAscii(char c);
// Equal but for the case of ASCII letters, as names in settings files and protocol keywords
// are compared (no locale: "I" and "i" alike everywhere).
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The line of text that starts at at, without its LF or CR LF; at moves past it. False once
// at is at the end of text.
bool NextLine(std::string_view text, std::size_t& at, std::string_view& line);

// A decimal number at the start of a text, as the C library scans one: white space, an
// optional sign, digits; the scan stops at the first other character.
struct CGLeadingNumber {
    bool Found = false; // at least one digit
    bool Negative = false;
    bool Huge = false;         // the magnitude is beyond 2^31
    uint64_t Magnitude = 0;    // exact while not Huge
    uint32_t Low = 0;          // the magnitude modulo 2^32, always exact
    const char* End = nullptr; // the first character after the digits (or where the scan gave up)
};
CGLeadingNumber ScanLeadingNumber(const char* text);

// Like atoi, but values beyond the 32-bit range saturate instead of overflowing; an empty,
// null or wordy text is 0.
int32_t ParseLeadingInt(const char* text);
