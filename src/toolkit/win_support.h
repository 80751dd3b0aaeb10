#pragma once

#include <windows.h>

// Process-wide pieces the window toolkit shares: the module instance that classes, menus,
// icons and dialogs load from, the message box, and the one error-text buffer.

HINSTANCE ToolkitInstance();
// The entry point keeps its instance here; until then the exe's own module is used.
void SetToolkitInstance(HINSTANCE instance);

// Every box of the program goes through this and the toolkit's seams (toolkit_seams.h), so
// that tests can answer boxes instead of a user. While a close of the program is pending no
// box is shown and the result is IDCANCEL.
int ToolkitMessageBox(HWND owner, const char* text, const char* caption, unsigned type);

// Formats into the toolkit's shared 256-byte error buffer (always terminated, cut when too
// long) and shows it with ToolkitMessageBox. Returns the box's result.
int ShowToolkitError(HWND owner, const char* caption, unsigned type, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Modal loops of the user-interface thread (the toolkit is used from that thread only). Every
// dialog, message box and chooser of the toolkit counts itself while it runs, so that closing
// the program can wait until each loop has returned instead of destroying windows under it.
class CGModalRun {
public:
    CGModalRun();
    // When the outermost loop ends while a close is pending, the close target gets WM_CLOSE.
    ~CGModalRun();
    CGModalRun(const CGModalRun&) = delete;
    CGModalRun& operator=(const CGModalRun&) = delete;
};
// How many modal loops are running now (nested ones each count).
int ModalDepth();

// A close that waits for the modal loops: from now on boxes, dialogs and choosers end as
// cancelled at once, and target (not owned) receives WM_CLOSE when the outermost loop has
// returned (at once when none runs). The request stays until ClearPendingClose.
void RequestCloseAfterModals(HWND target);
int ClosePending();
void ClearPendingClose();
// Ends every dialog of the calling thread as cancelled, message boxes and the system's
// choosers included. Returns how many it ended.
int CancelThreadDialogs();
