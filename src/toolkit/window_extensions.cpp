#include "toolkit/window_extensions.h"

#include "toolkit/dpi.h"
#include "toolkit/win_support.h"

#include <commctrl.h>

int CGWEToolTip::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    Style = WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX;
    ExStyle = WS_EX_TOPMOST;
    if (Handle) {
        SetWindowLongA(Handle, GWL_STYLE, static_cast<LONG>(Style));
        SetWindowLongA(Handle, GWL_EXSTYLE, static_cast<LONG>(ExStyle));
    }
    if (!Create("", TOOLTIPS_CLASSA, owner, CreateDispatch, 0))
        return 0;
    if (MaxTipWidth)
        SendMessageA(Handle, TTM_SETMAXTIPWIDTH, 0, MaxTipWidth);
    SendMessageA(Handle, TTM_ACTIVATE, 1, 0);
    return 1;
}

void CGWEToolTip::AddTool(CGWinCore* control, const char* text) {
    if (!Owner || !control)
        return;
    TOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = Owner->Handle;
    info.uId = reinterpret_cast<UINT_PTR>(control->Handle);
    info.hinst = ToolkitInstance();
    info.lpszText = const_cast<char*>(text);
    SendMessageA(Handle, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

void CGWEWaitCursor::SetBusy() {
    Busy = 1;
    SetCursor(BusyCursor);
}

void CGWEWaitCursor::ClearBusy() {
    Busy = 0;
    SetCursor(NormalCursor);
}

LRESULT CGWEWaitCursor::OnMessage(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_SETCURSOR && Busy) {
        SetCursor(BusyCursor);
        return 1;
    }
    return 0;
}

int CGWEMouseDrag::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    Dpi = WindowDpi(owner->Handle);
    return 1;
}

LRESULT CGWEMouseDrag::OnMessage(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (msg) {
    case WM_DPICHANGED: {
        const unsigned dpi = HIWORD(wParam);
        if (dpi && Dpi) {
            GrabX = MulDiv(GrabX, static_cast<int>(dpi), static_cast<int>(Dpi));
            GrabY = MulDiv(GrabY, static_cast<int>(dpi), static_cast<int>(Dpi));
            Dpi = dpi;
        }
        return 0; // the owner resizes itself
    }
    case WM_LBUTTONDOWN:
        GrabX = x;
        GrabY = y;
        SetCapture(Owner->Handle);
        return 1;
    case WM_MOUSEMOVE: {
        if (GetCapture() != Owner->Handle)
            return 0;
        POINT p = {x, y};
        ClientToScreen(Owner->Handle, &p);
        Owner->MoveTo(p.x - GrabX, p.y - GrabY);
        return 1;
    }
    case WM_LBUTTONUP:
        ReleaseCapture();
        return 1;
    default:
        return 0;
    }
}
