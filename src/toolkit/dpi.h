#pragma once

#include <windows.h>

// Dots per inch of the screens the program draws on. The program's pixel sizes are written
// for 96 DPI and scaled from there. Windows 10 (from version 1607) gives each monitor its own
// DPI; older systems have one for all screens, which their screen's device context tells.

constexpr unsigned DefaultDpi = 96;

// The DPI of the monitor the window is on.
unsigned WindowDpi(HWND window);
// The DPI the session started with: the one Windows scales programs unaware of DPI by.
unsigned SystemDpi();
// A size given at 96 DPI, at dpi (rounded).
int ScaleToDpi(int value, unsigned dpi);
// The system's message font (the dialogs' font) at dpi; false when the system gives none.
bool MessageFontForDpi(unsigned dpi, LOGFONTW& font);
