#pragma once

// What both settings-store backends share beyond the declarations of profile.h.

// Copies value into buffer the way the platform's reader does: one pair of matching quotes
// (' or ") around the value is removed, and the text is cut to size - 1 characters. Where
// the value fills the buffer exactly, the platform drops the closing quote's place as well;
// this is kept so that both backends agree to the byte. Returns the characters copied.
int CopyProfileValue(const char* value, char* buffer, int size);
