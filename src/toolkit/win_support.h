#pragma once

#include <windows.h>

// Process-wide pieces the window toolkit shares: the module instance that classes, menus,
// icons and dialogs load from, the message-box seam, and the one error-text buffer.

HINSTANCE ToolkitInstance();
// The entry point keeps its instance here; until then the exe's own module is used.
void SetToolkitInstance(HINSTANCE instance);

// Every box of the program goes through this, so that tests can answer boxes instead of a
// user. A null handler restores MessageBoxA.
using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, unsigned type);
void SetMessageBoxHandler(MessageBoxHandler handler);
int ToolkitMessageBox(HWND owner, const char* text, const char* caption, unsigned type);

// Formats into the toolkit's shared 256-byte error buffer (always terminated, cut when too
// long) and shows it with ToolkitMessageBox. Returns the box's result.
int ShowToolkitError(HWND owner, const char* caption, unsigned type, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
