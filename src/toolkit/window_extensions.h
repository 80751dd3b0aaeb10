#pragma once

#include "toolkit/window.h"
#include "toolkit/window_extension.h"
#include "toolkit/wm_handler.h"

// A tooltip window for its owner, with one fixed help text per control. The CGWindow part
// is the object of the tooltip's own native window, a child of the owner's.
class CGWEToolTip : public CGWindowExtension, public CGWindow, public CGWMHandler {
public:
    // Creates the tooltip window; 0 when it could not be made (no tooltips then).
    int Attach(CGWinCore* owner) override;
    // Registers the control's whole window as a tool with the given text (copied).
    void AddTool(CGWinCore* control, const char* text);

    int MaxTipWidth = 200; // pixels; 0 keeps the control's default
};

// Shows the busy cursor over its owner while an operation runs.
class CGWEWaitCursor : public CGWindowExtension {
public:
    void SetBusy();
    void ClearBusy();
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    HCURSOR BusyCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
    HCURSOR NormalCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    int Busy = 0;
};

// Lets the user drag the owner by pressing the left button anywhere in it. It takes
// button-down and button-up, so the owner never sees them; double clicks pass through. When
// the owner changes DPI (dragged onto another monitor) it grows or shrinks, and the grab
// point scales with it, so that the same spot stays under the cursor.
class CGWEMouseDrag : public CGWindowExtension {
public:
    int Attach(CGWinCore* owner) override;
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    int GrabX = 0; // client point where the button went down
    int GrabY = 0;
    unsigned Dpi = 96; // the owner's
};
