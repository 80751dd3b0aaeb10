#include "toolkit/link_controls.h"

#include "toolkit/dpi.h"
#include "toolkit/toolkit_seams.h"

#include <commctrl.h>

#include <cstdio>

#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3 // Windows 10 1703 on; the headers give it for those only
#endif

namespace {

LRESULT CALLBACK StaticSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR data) {
    auto* object = reinterpret_cast<CGWindow*>(data);
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, StaticSubclassProc, id);
    LRESULT result = 0;
    try {
        result = object->WindowProc(hwnd, msg, wParam, lParam);
    } catch (...) {
        result = 0;
    }
    return result ? result : DefSubclassProc(hwnd, msg, wParam, lParam);
}

} // namespace

CGCtrlStatic::~CGCtrlStatic() {
    // The window normally went with its dialog; a live one must not call a dead object.
    if (Subclassed && Handle && IsWindow(Handle))
        RemoveWindowSubclass(Handle, StaticSubclassProc, 0);
}

bool CGCtrlStatic::CreateIcon(CGWinCore* parent) {
    Style |= SS_ICON;
    char text[8];
    std::snprintf(text, sizeof text, "#%d", static_cast<int>(IconId));
    if (!Create(text, "Static", parent, CreateDispatch, 2))
        return false;
    Subclassed = SetWindowSubclass(Handle, StaticSubclassProc, 0,
                                   reinterpret_cast<DWORD_PTR>(static_cast<CGWindow*>(this)));
    if (!Subclassed)
        return false;
    ShowWindow(Handle, SW_SHOW);
    UpdateWindow(Handle);
    ReadStyles();
    return true;
}

void CGCtrlSysLink::MakeFont() {
    LOGFONTW font;
    if (!MessageFontForDpi(WindowDpi(Handle), font))
        return;
    font.lfUnderline = 1;
    LinkFont.reset(CreateFontIndirectW(&font));
}

bool CGCtrlSysLink::SetLink(const char* url) {
    MakeFont();
    // A child keeps WS_BORDER from the default style; a link has no frame.
    Style &= ~DWORD(WS_BORDER);
    SetWindowLongA(Handle, GWL_STYLE, static_cast<LONG>(Style));
    SetWindowPos(Handle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    SetWindowTextA(Handle, url ? url : "");
    ShowWindow(Handle, SW_SHOW);
    UpdateWindow(Handle);
    ReadStyles();
    return true;
}

void CGCtrlSysLink::OnMouseMove(WPARAM, int x, int y) {
    if (!GetCapture()) {
        Hot = 1;
        SetCapture(Handle);
        Redraw();
    } else if (x < 0 || x > Width() || y < 0 || y > Height()) {
        Hot = 0;
        ReleaseCapture();
        Redraw();
    }
}

LRESULT CGCtrlSysLink::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_LBUTTONDOWN) {
        CGText text = ReadWindowText(hwnd);
        ToolkitSeams.ShellExecute(nullptr, "open", text.Get(), nullptr, nullptr, SW_SHOW);
    } else if (msg == WM_DPICHANGED_AFTERPARENT && LinkFont) {
        MakeFont(); // the dialog moved to a monitor of another DPI
        Redraw();
    }
    return CGWindow::WindowProc(hwnd, msg, wParam, lParam);
}

void CGCtrlSysLink::OnPaint(HDC dc) {
    HGDIOBJ oldFont =
        SelectObject(dc, LinkFont ? LinkFont.get() : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, 0x00CC0000);
    SetBkMode(dc, TRANSPARENT);
    CGText text = ReadWindowText(Handle);
    RECT area = {0, 0, Width(), Height()};
    DrawTextA(dc, text.Get(), -1, &area, DT_SINGLELINE);
    if (Hot)
        DrawFocusRect(dc, &area);
    SetBkMode(dc, OPAQUE);
    SelectObject(dc, oldFont);
}
