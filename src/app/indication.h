#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The arithmetic of the new-mail indication, apart from the window so it can be checked on
// its own.

// The tray tooltip: the lines joined with CR LF, cut to the 255 characters the joining
// buffer holds, then to the 63 characters the shell's tip holds.
std::string TrayTip(const std::vector<std::string>& lines);

// The floating window's size for lines measured at the given extents: the widest line plus
// 20 (never below 75) by the summed heights plus 10.
SIZE FloatingSize(const std::vector<SIZE>& extents);
