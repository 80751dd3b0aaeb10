#include "toolkit/win_core.h"

#include "toolkit/window_extension.h"

namespace {

// Bounds may hold CW_USEDEFAULT (the most negative int) before creation, so sums and
// differences are taken modulo 2^32 like the native code they mirror.
LONG AddWrapped(LONG a, int b) {
    return static_cast<LONG>(static_cast<unsigned long>(a) + static_cast<unsigned>(b));
}

} // namespace

void CGWinCore::Redraw() {
    RedrawWindow(Handle, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE);
}

int CGWinCore::OnMenuCommand(int) {
    return 0;
}

int CGWinCore::OnAccelerator(int id) {
    return OnMenuCommand(id);
}

void CGWinCore::OnChildNotify(HWND, UINT, NMHDR*) {}

void CGWinCore::OnReflectedNotify(UINT, NMHDR*) {}

void CGWinCore::OnDestroy() {
    if (!Parent)
        PostQuitMessage(0);
}

void CGWinCore::OnTimer(UINT_PTR) {}

int CGWinCore::OnSize(int, int) {
    return 0;
}

void CGWinCore::OnClose() {
    DestroyWindow(Handle);
}

void CGWinCore::OnDrawItem(DRAWITEMSTRUCT*) {}

LRESULT CGWinCore::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_CLOSE:
    case WM_ENDSESSION:
        OnClose();
        break;
    case WM_DRAWITEM: {
        auto* drawItem = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        // Owner-drawn menu items carry a menu handle, not a window.
        if (drawItem && drawItem->CtlType != ODT_MENU) {
            if (CGWinCore* item = FromHandle(drawItem->hwndItem))
                item->OnDrawItem(drawItem);
        }
        break;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (!header)
            break;
        HWND from = header->hwndFrom;
        UINT code = header->code;
        OnChildNotify(from, code, header);
        if (CGWinCore* control = FromHandle(from))
            control->OnReflectedNotify(code, header);
        break;
    }
    case WM_COMMAND:
        if (lParam) {
            HWND control = reinterpret_cast<HWND>(lParam);
            NMHDR header;
            header.hwndFrom = hwnd;
            header.idFrom = LOWORD(wParam);
            header.code = HIWORD(wParam);
            OnChildNotify(control, header.code, &header);
            if (CGWinCore* object = FromHandle(control))
                object->OnReflectedNotify(header.code, &header);
        } else if (HIWORD(wParam) == 0) {
            OnMenuCommand(LOWORD(wParam));
        } else if (HIWORD(wParam) == 1) {
            OnAccelerator(LOWORD(wParam));
        }
        break;
    case WM_TIMER:
        OnTimer(wParam);
        break;
    default:
        break;
    }
    return 0;
}

CGWinCore* CGWinCore::FromHandle(HWND hwnd) {
    if (!hwnd)
        return nullptr;
    // Another process's window may carry anything in its user data.
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if (process != GetCurrentProcessId())
        return nullptr;
    return reinterpret_cast<CGWinCore*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void CGWinCore::Bind(HWND hwnd) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void CGWinCore::AddExtension(CGWindowExtension* extension) {
    if (!extension)
        return;
    for (CGWindowExtension** link = &Extensions; *link; link = &(*link)->Next) {
        if (*link == extension) {
            *link = extension->Next;
            break;
        }
    }
    extension->Next = Extensions;
    extension->Owner = this;
    Extensions = extension;
}

void CGWinCore::AttachExtensions() {
    for (CGWindowExtension* e = Extensions; e; e = e->Next)
        e->Attach(this);
}

void CGWinCore::ApplyBounds() {
    if (Handle)
        SetWindowPos(Handle, nullptr, Bounds.left, Bounds.top, Width(), Height(), SWP_NOZORDER);
}

void CGWinCore::MoveTo(int x, int y) {
    int width = Width();
    int height = Height();
    Bounds.left = x;
    Bounds.top = y;
    Bounds.right = AddWrapped(x, width);
    Bounds.bottom = AddWrapped(y, height);
    ApplyBounds();
}

void CGWinCore::SetSize(int width, int height) {
    if (Width() == width && Height() == height)
        return;
    Bounds.right = AddWrapped(Bounds.left, width);
    Bounds.bottom = AddWrapped(Bounds.top, height);
    ApplyBounds();
}

void CGWinCore::SetBounds(const RECT& rectangle) {
    Bounds = rectangle;
    ApplyBounds();
}

void CGWinCore::RefreshBounds() {
    if (!Handle)
        return;
    GetWindowRect(Handle, &Bounds);
    if (Parent) {
        POINT origin = {0, 0};
        ClientToScreen(Parent->Handle, &origin);
        OffsetRect(&Bounds, -origin.x, -origin.y);
    }
}

void CGWinCore::ReadStyles() {
    if (!Handle)
        return;
    Style = static_cast<DWORD>(GetWindowLongA(Handle, GWL_STYLE));
    ExStyle = static_cast<DWORD>(GetWindowLongA(Handle, GWL_EXSTYLE));
}

void CGWinCore::CentreOnParent(int forceDesktop) {
    RefreshBounds();
    HWND reference = GetParent(Handle);
    if (!reference || forceDesktop)
        reference = GetDesktopWindow();
    RECT area, own;
    GetWindowRect(reference, &area);
    GetWindowRect(Handle, &own);
    int w = own.right - own.left;
    int h = own.bottom - own.top;
    MoveTo(area.left + (area.right - area.left - w) / 2,
           area.top + (area.bottom - area.top - h) / 2);
}
