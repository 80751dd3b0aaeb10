#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

// Owning holders for the window system's handles: each frees its handle when it goes, so no
// code frees one by hand. A raw handle elsewhere is one its holder does not own.

struct CGGdiObjectFree {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct CGIconFree {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct CGMenuFree {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
struct CGLocalFree {
    void operator()(void* memory) const { LocalFree(memory); }
};

using CGBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, CGGdiObjectFree>;
using CGFont = std::unique_ptr<std::remove_pointer_t<HFONT>, CGGdiObjectFree>;
using CGIcon = std::unique_ptr<std::remove_pointer_t<HICON>, CGIconFree>;
using CGMenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, CGMenuFree>;
// Memory the system allocated for the caller with LocalAlloc (FormatMessage's text).
using CGLocalText = std::unique_ptr<char, CGLocalFree>;

// The device context of a window (null: the screen) for as long as the object lives.
class CGWindowDC {
public:
    explicit CGWindowDC(HWND window) : Window(window), Dc(GetDC(window)) {}
    ~CGWindowDC() {
        if (Dc)
            ReleaseDC(Window, Dc);
    }
    CGWindowDC(const CGWindowDC&) = delete;
    CGWindowDC& operator=(const CGWindowDC&) = delete;

    HDC Get() const { return Dc; }

private:
    HWND Window; // not owned
    HDC Dc;
};

// A GDI object selected into a device context for as long as the holder lives (null selects
// nothing); the context's previous object is selected back.
class CGSelection {
public:
    CGSelection(HDC dc, HGDIOBJ object)
        : Dc(dc), Old(object ? SelectObject(dc, object) : nullptr) {}
    ~CGSelection() {
        if (Old)
            SelectObject(Dc, Old);
    }
    CGSelection(const CGSelection&) = delete;
    CGSelection& operator=(const CGSelection&) = delete;

private:
    HDC Dc;      // not owned
    HGDIOBJ Old; // not owned: the context's own
};

// A window's painting, from BeginPaint to EndPaint.
class CGPaintDC {
public:
    explicit CGPaintDC(HWND window) : Window(window), Dc(BeginPaint(window, &Paint)) {}
    ~CGPaintDC() { EndPaint(Window, &Paint); }
    CGPaintDC(const CGPaintDC&) = delete;
    CGPaintDC& operator=(const CGPaintDC&) = delete;

    HDC Get() const { return Dc; }

private:
    HWND Window; // not owned
    PAINTSTRUCT Paint = {};
    HDC Dc;
};
