#include "toolkit/window.h"

#include "toolkit/handles.h"
#include "toolkit/win_support.h"
#include "toolkit/window_extension.h"

#include <algorithm>
#include <cstdint>

namespace {

// One axis of the default geometry. low and high are Bounds' left/right or top/bottom;
// extent is the reference width or height (screen or parent client area).
void DefaultAxis(LONG& low, LONG& high, unsigned extent) {
    const unsigned fallback = std::min(extent * 2 / 3, 1024u);
    if (low == CW_USEDEFAULT) {
        // A caller that leaves the start at CW_USEDEFAULT may keep a wanted extent in high.
        unsigned size = (static_cast<uint32_t>(high) - static_cast<uint32_t>(low)) & 0xFFFF;
        if (size == 0)
            size = fallback;
        low = static_cast<LONG>(extent - size) / 2;
        high = low + static_cast<LONG>(size);
    }
    if (static_cast<int64_t>(high) - low <= 0)
        high = low + static_cast<LONG>(fallback);
}

} // namespace

void CGWindow::DefaultGeometry(int width, int height) {
    DefaultAxis(Bounds.left, Bounds.right, static_cast<uint16_t>(width));
    DefaultAxis(Bounds.top, Bounds.bottom, static_cast<uint16_t>(height));
}

bool CGWindow::RegisterOwnClass(const char* className) {
    HINSTANCE instance = ToolkitInstance();
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, className, &existing))
        return true;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = ToolkitWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(BackgroundColourIndex + 1));
    wc.lpszClassName = className;
    OnRegisterClass(wc);
    if (RegisterClassExA(&wc))
        return true;
    ToolkitMessageBox(Handle, "Can't register Window Class", className, MB_OK);
    return false;
}

bool CGWindow::Create(const char* title, const char* className, CGWinCore* parent, DWORD flags,
                      int id) {
    CreateFlags = flags;
    if ((flags & CreateOwnClass) && !RegisterOwnClass(className))
        return false;
    if (parent)
        Style = (Style & ~DWORD(0x004F0000)) | WS_CHILD;
    Parent = parent;

    if (parent) {
        RECT client = {};
        GetClientRect(parent->Handle, &client);
        DefaultGeometry(client.right - client.left, client.bottom - client.top);
    } else {
        CGWindowDC screen(nullptr);
        DefaultGeometry(GetDeviceCaps(screen.Get(), HORZRES), GetDeviceCaps(screen.Get(), VERTRES));
    }

    SetLastError(0);
    HWND hwnd = CreateWindowExA(ExStyle, className, title ? title : className, Style, Bounds.left,
                                Bounds.top, Width(), Height(), parent ? parent->Handle : nullptr,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                ToolkitInstance(), static_cast<CGWinCore*>(this));
    Handle = hwnd;
    if (!hwnd) {
        DWORD error = GetLastError();
        if (error)
            ShowToolkitError(Handle, "Error", MB_OK, "CreateWindow Error %lu",
                             static_cast<unsigned long>(error));
        else
            ShowToolkitError(Handle, "Error", MB_OK, "WndProc MUST call DefWndProc");
        return false;
    }
    // System classes never see our window procedure, so bind them here.
    if (!(flags & CreateOwnClass))
        Bind(hwnd);
    RefreshBounds();
    ReadStyles();
    AttachExtensions();
    return true;
}

LRESULT CGWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    for (CGWindowExtension* e = Extensions; e; e = e->Next) {
        if (LRESULT r = e->OnMessage(hwnd, msg, wParam, lParam))
            return r;
    }
    if (msg == WM_PAINT && (CreateFlags & CreateOwnPainting)) {
        CGPaintDC dc(hwnd);
        for (CGWindowExtension* e = Extensions; e; e = e->Next)
            e->OnPaint(dc.Get());
        OnPaint(dc.Get());
        return 0;
    }
    if (CreateFlags & CreateDispatch)
        return HandleMessage(hwnd, msg, wParam, lParam);
    return 0;
}

LRESULT CGWindow::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (msg) {
    case WM_KEYDOWN:
        OnKeyDown(wParam);
        break;
    case WM_KEYUP:
        OnKeyUp(wParam);
        break;
    case WM_CHAR:
        OnChar(wParam);
        break;
    case WM_HSCROLL:
    case WM_VSCROLL:
        OnScroll(msg == WM_HSCROLL ? 1 : 0, LOWORD(wParam), HIWORD(wParam),
                 reinterpret_cast<HWND>(lParam));
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(wParam, x, y);
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(x, y);
        break;
    case WM_LBUTTONUP:
        OnLButtonUp(x, y);
        break;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(wParam, x, y);
        break;
    case WM_RBUTTONDOWN:
        OnRButtonDown(x, y);
        break;
    case WM_RBUTTONUP:
        OnRButtonUp(x, y);
        break;
    case WM_RBUTTONDBLCLK:
        OnRButtonDblClk(wParam, x, y);
        break;
    case WM_MOUSEWHEEL:
        OnMouseWheel(static_cast<short>(HIWORD(wParam)), wParam, x, y);
        break;
    default:
        break;
    }
    return CGWinCore::HandleMessage(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ToolkitWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The object is always stored as its CGWinCore part; windows of toolkit classes are
    // always CGWindow objects, so the downcast is sound.
    CGWinCore* core;
    if (msg == WM_NCCREATE) {
        core = static_cast<CGWinCore*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (core) {
            core->Bind(hwnd);
            core->Handle = hwnd; // handlers of creation messages may already use it
        }
    } else {
        core = CGWinCore::FromHandle(hwnd);
    }
    if (!core)
        return 0;
    // No C++ exception may cross the system's frames: a failing handler counts as "not
    // handled" and the message gets default processing.
    LRESULT result = 0;
    try {
        result = static_cast<CGWindow*>(core)->WindowProc(hwnd, msg, wParam, lParam);
    } catch (...) {
        result = 0;
    }
    return result ? result : DefWindowProcA(hwnd, msg, wParam, lParam);
}
