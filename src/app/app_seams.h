#pragma once

#include <windows.h>

#include <shellapi.h>

class CAccountList;
class CGWinCore;

// The sound and the dialogs the main window reaches through pointers, so that tests can count
// sounds and answer the dialogs without a user or a speaker (programs are opened through the
// toolkit's shell "open", ToolkitSeams). The
// program runs with DefaultAppSeams(); a test saves AppSeams, replaces what it answers itself
// and puts the saved struct back.
struct CAppSeams {
    BOOL (*PlaySound)(const char* sound, HMODULE module, DWORD flags);
    // The accounts dialog: edits the list and the new-mail options, modally.
    void (*RunAccountsDialog)(CAccountList& list, CGWinCore* owner);
    // The About dialog, modally.
    void (*RunAboutDialog)(CGWinCore* owner);
    // The shell's notification area (Shell_NotifyIconA).
    BOOL (*NotifyIcon)(DWORD message, NOTIFYICONDATAA* data);
};

// The seams in use.
extern CAppSeams AppSeams;
// The system's sound and the program's own dialogs.
CAppSeams DefaultAppSeams();
