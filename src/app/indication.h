#pragma once

#include "toolkit/dpi.h"
#include "toolkit/handles.h"

#include <windows.h>

#include <string>
#include <vector>

// The arithmetic of the new-mail indication, apart from the window so it can be checked on
// its own.

// The tray tooltip: the lines joined with CR LF, cut to the 255 characters the joining
// buffer holds, then to the 63 characters the shell's tip holds.
std::string TrayTip(const std::vector<std::string>& lines);

// The floating window's margins at 96 DPI: beside the status lines, and above and below them.
inline constexpr int SideMargin = 10;
inline constexpr int TopMargin = 5;

// The floating window's size for lines measured at the given extents: the widest line plus
// 20 (never below 75) by the summed heights plus 10, those margins at 96 DPI scaled to dpi.
SIZE FloatingSize(const std::vector<SIZE>& extents, unsigned dpi = DefaultDpi);

// The floating window's font at dpi. None (the window's default, the system font) at 96 DPI
// on a system of 96 DPI. Elsewhere the system font would be too small or too large, and as a
// bitmap font it does not scale: the message font's face, bold like the system font and as
// tall as it is at 96 DPI, scaled to dpi.
CGFont FloatingFont(unsigned dpi);
