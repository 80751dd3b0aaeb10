#pragma once

#include <windows.h>

class CAccountList;
class CGWinCore;

// The system calls and dialogs the main window reaches through pointers, so that tests can
// count sounds and opened programs, and answer the dialogs, without a user or a speaker.
struct CAppSeams {
    BOOL (*PlaySound)(const char* sound, HMODULE module, DWORD flags);
    HINSTANCE (*ShellExecute)
    (HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
     int show);
    // The accounts dialog: edits the list and the new-mail options, modally.
    void (*RunAccountsDialog)(CAccountList& list, CGWinCore* owner);
    // The About dialog, modally.
    void (*RunAboutDialog)(CGWinCore* owner);
};

extern CAppSeams AppSeams;
// The seams as the program uses them.
CAppSeams DefaultAppSeams();
