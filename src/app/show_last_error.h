#pragma once

// The error box for a failed system call: "<text> : <code> (<system description>)".
void ShowLastError(const char* text);
