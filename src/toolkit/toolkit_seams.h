#pragma once

#include <windows.h>

#include <commdlg.h>

// The system calls behind the toolkit's message boxes, choosers and link control, reached
// through pointers so that tests can answer them without a user. The program runs with
// DefaultToolkitSeams(); a test saves ToolkitSeams, replaces what it answers itself and puts
// the saved struct back.
struct CGToolkitSeams {
    int (*ShowMessageBox)(HWND owner, const char* text, const char* caption, unsigned type);
    BOOL(WINAPI* GetOpenFileName)(OPENFILENAMEA* request);
    BOOL(WINAPI* ChooseColor)(CHOOSECOLORA* request);
    HINSTANCE(WINAPI* ShellExecute)
    (HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
     INT show);
};

// The seams in use. Set before any code runs (a box may be shown during static start-up).
extern CGToolkitSeams ToolkitSeams;
// The system's own functions.
CGToolkitSeams DefaultToolkitSeams();
