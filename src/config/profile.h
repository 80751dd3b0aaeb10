#pragma once

// The settings store: an INI file accessed one value at a time, with the semantics of the
// Win32 private-profile functions (the Windows build calls them; elsewhere our own reader
// and writer behave the same): section and key names match without regard to case, blanks
// around names and values are dropped, one pair of matching quotes around a value is
// removed, the first occurrence wins, writing creates file, section and key as needed, and
// writing a null value deletes the key. Natively, whether a write waits for the disk is
// ConfigSeams'.

// Copies the value (or defaultValue when the file, section or key is absent) into buffer,
// cut to size - 1 characters and always terminated. Returns the characters copied.
// A null path reads as the empty path (no file).
int ProfileReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                      int size, const char* path);

// Writes value, or deletes the key when value is null. Returns 1 on success, 0 on failure.
int ProfileWriteString(const char* section, const char* key, const char* value, const char* path);
