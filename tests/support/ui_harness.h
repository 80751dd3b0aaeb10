#pragma once

// Helpers for in-process tests of windows (Windows builds only, run under Wine and Xvfb).

#include "support/scoped_seams.h"
#include "toolkit/toolkit_seams.h"

#include <windows.h>

#include <string>
#include <vector>

// Runs every message waiting for this thread; a quit message is taken out of the queue and
// reported instead of ending anything.
inline bool PumpMessages() {
    bool quit = false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return quit;
}

// Answers every box of the toolkit with IDOK and remembers what it showed, so that no test
// ever waits for a user.
struct BoxRecord {
    std::string Text;
    std::string Caption;
    unsigned Type;
};

class BoxRecorder {
public:
    BoxRecorder() {
        Boxes().clear();
        Seams->ShowMessageBox = &Record;
    }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    static std::vector<BoxRecord>& Boxes() {
        static std::vector<BoxRecord> boxes;
        return boxes;
    }

private:
    ScopedSeams<CGToolkitSeams> Seams{ToolkitSeams};

    static int Record(HWND, const char* text, const char* caption, unsigned type) {
        Boxes().push_back({text ? text : "", caption ? caption : "", type});
        return IDOK;
    }
};

inline int ScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}
inline int ScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}
