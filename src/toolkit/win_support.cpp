#include "toolkit/win_support.h"

#include "toolkit/toolkit_seams.h"

#include <cstdarg>
#include <cstdio>

namespace {

HINSTANCE Instance = nullptr;
// The error boxes all run on the user-interface thread, so one buffer serves them all.
char ErrorText[256];
int Depth = 0;
int PendingClose = 0;
HWND CloseTarget = nullptr; // not owned

void PostPendingClose() {
    if (PendingClose && Depth == 0 && CloseTarget)
        PostMessageA(CloseTarget, WM_CLOSE, 0, 0);
}

BOOL CALLBACK CancelDialog(HWND hwnd, LPARAM count) {
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0)
        return TRUE;
    // The dialog manager's own end for dialogs and boxes; a Cancel as well for a chooser whose
    // loop is not the dialog manager's.
    EndDialog(hwnd, IDCANCEL);
    PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

} // namespace

HINSTANCE ToolkitInstance() {
    return Instance ? Instance : GetModuleHandleA(nullptr);
}

void SetToolkitInstance(HINSTANCE instance) {
    Instance = instance;
}

int ToolkitMessageBox(HWND owner, const char* text, const char* caption, unsigned type) {
    if (PendingClose)
        return IDCANCEL;
    CGModalRun run;
    return ToolkitSeams.ShowMessageBox(owner, text, caption, type);
}

int ShowToolkitError(HWND owner, const char* caption, unsigned type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(ErrorText, sizeof ErrorText, format, args);
    va_end(args);
    ErrorText[sizeof ErrorText - 1] = 0;
    return ToolkitMessageBox(owner, ErrorText, caption, type);
}

CGModalRun::CGModalRun() {
    ++Depth;
}

CGModalRun::~CGModalRun() {
    --Depth;
    PostPendingClose();
}

int ModalDepth() {
    return Depth;
}

void RequestCloseAfterModals(HWND target) {
    PendingClose = 1;
    CloseTarget = target;
    PostPendingClose();
}

int ClosePending() {
    return PendingClose;
}

void ClearPendingClose() {
    PendingClose = 0;
    CloseTarget = nullptr;
}

int CancelThreadDialogs() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CancelDialog, reinterpret_cast<LPARAM>(&count));
    return count;
}
