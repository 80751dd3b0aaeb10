#pragma once

// What both settings-store backends share beyond the declarations of profile.h.

// Copies value into buffer the way the platform's reader does: one pair of matching quotes
// (' or ") around the value is removed, and the text is cut to size - 1 characters. A quoted
// value whose text and closing quote fill the buffer exactly loses its last character as
// well; the platform does so, and both backends agree to the byte. Returns the characters
// copied.
int CopyProfileValue(const char* value, char* buffer, int size);
