#include "toolkit/toolkit_seams.h"

#include <shellapi.h>

namespace {

// Wrappers of our own: the address of an imported function is known only at run time, and
// the seams must be in place before any constructor runs.
int SystemMessageBox(HWND owner, const char* text, const char* caption, unsigned type) {
    return MessageBoxA(owner, text, caption, type);
}

BOOL WINAPI SystemGetOpenFileName(OPENFILENAMEA* request) {
    return GetOpenFileNameA(request);
}

BOOL WINAPI SystemChooseColor(CHOOSECOLORA* request) {
    return ChooseColorA(request);
}

HINSTANCE WINAPI SystemShellExecute(HWND owner, const char* verb, const char* file,
                                    const char* parameters, const char* directory, INT show) {
    return ShellExecuteA(owner, verb, file, parameters, directory, show);
}

constexpr CGToolkitSeams SystemSeams = {SystemMessageBox, SystemGetOpenFileName, SystemChooseColor,
                                        SystemShellExecute};

} // namespace

constinit CGToolkitSeams ToolkitSeams = SystemSeams;

CGToolkitSeams DefaultToolkitSeams() {
    return SystemSeams;
}
