#pragma once

#include "base/comma_list.h"

#include <cstdint>
#include <string>

// A Windows colour value: red in the low byte, then green, then blue.
using ColourRef = uint32_t;
constexpr ColourRef MakeColour(int r, int g, int b) {
    return static_cast<ColourRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr ColourRef DefaultNewMailColour = MakeColour(95, 255, 95);

// Builds "<data folder>\varnocle[\baseName][.extension]" (cut at 259 bytes, never inside a
// UTF-8 character) into path, creating the data folder. Either part may be null. The data
// folder is ConfigSeams'.
void MakeDataPath(const char* extension, const char* baseName, std::string& path);

// "true", "1", "y", "yes" (any case) are true; anything else is false. Missing: defaultValue.
int ReadProfileBool(const char* section, const char* key, int defaultValue, const char* path);
// Leading blanks, optional sign, digits; no digits gives 0. Missing: defaultValue.
int ReadProfileInt(const char* section, const char* key, int defaultValue, const char* path);
// A text value, whole up to 2047 bytes; missing gives the empty text.
std::string ReadProfileText(const char* section, const char* key, const char* path);
// "r,g,b", each number keeping its low 8 bits; fewer than three numbers give 95,255,95.
ColourRef ReadNewMailColour(const char* path);
// 1 and a copy of "main"/"accounts" in list when that value is not empty; else 0.
int ReadAccountNames(const char* path, CGCommaList& list);

// Writers. Every text written reads back byte for byte up to its first line end: a value
// that begins or ends with a blank or a quote character is written inside one extra pair of
// double quotes, which the reader removes; other values are written as they are. Each returns
// 1 when the file was written.
int WriteProfileText(const char* section, const char* key, const char* value, const char* path);
int WriteProfileInt(const char* section, const char* key, int value, const char* path);
int WriteProfileBool(const char* section, const char* key, int value, const char* path);
// Removes a whole section with every key in it.
int DeleteProfileSection(const char* section, const char* path);
// "newmail"/"newmailcolour" as "r,g,b".
int WriteNewMailColour(ColourRef colour, const char* path);
// A long text value (a protected token), whole up to 16383 bytes; missing gives the empty
// text.
std::string ReadProfileLongText(const char* section, const char* key, const char* path);
