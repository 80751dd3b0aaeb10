#include "toolkit/win_support.h"

#include <cstdarg>
#include <cstdio>

namespace {

HINSTANCE Instance = nullptr;
MessageBoxHandler BoxHandler = nullptr;
// The error boxes all run on the user-interface thread, so one buffer serves them all.
char ErrorText[256];

} // namespace

HINSTANCE ToolkitInstance() {
    return Instance ? Instance : GetModuleHandleA(nullptr);
}

void SetToolkitInstance(HINSTANCE instance) {
    Instance = instance;
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    BoxHandler = handler;
}

int ToolkitMessageBox(HWND owner, const char* text, const char* caption, unsigned type) {
    if (BoxHandler)
        return BoxHandler(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}

int ShowToolkitError(HWND owner, const char* caption, unsigned type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(ErrorText, sizeof ErrorText, format, args);
    va_end(args);
    ErrorText[sizeof ErrorText - 1] = 0;
    return ToolkitMessageBox(owner, ErrorText, caption, type);
}
