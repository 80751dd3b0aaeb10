#pragma once

// UTF-8 <-> UTF-16 conversion of NUL-terminated texts. On Windows the platform converts
// (MultiByteToWideChar / WideCharToMultiByte with CP_UTF8); elsewhere our own code does,
// with the same results on valid text. Invalid input becomes U+FFFD rather than an error.

// Like MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, outUnits): with outUnits 0 returns the
// units needed including the terminator; otherwise converts and returns the units written
// including the terminator, or 0 when they do not fit.
int Utf8ToUtf16(const char* utf8, char16_t* out, int outUnits);

// Like WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, outBytes, NULL, NULL).
int Utf16ToUtf8(const char16_t* wide, char* out, int outBytes);
