#pragma once

#include "toolkit/win_core.h"

// CreateFlags bits.
enum : DWORD {
    CreateOwnClass = 1,   // the class is the toolkit's own, registered on demand
    CreateDispatch = 2,   // messages no extension took go to HandleMessage
    CreateOwnPainting = 4 // WM_PAINT runs the extensions' and the window's OnPaint
};

// A window object that creates its own native window (the floating window, tooltips,
// static and link controls). Dialogs derive from CGWinCore directly.
class CGWindow : public CGWinCore {
public:
    // Creates the native window; see the .cpp for the default geometry. title may be null
    // (the class name is then the window text). Returns false after an error box.
    bool Create(const char* title, const char* className, CGWinCore* parent, DWORD flags, int id);

    // Virtual operations added to CGWinCore's, in this order.
    virtual void OnAttach() {}
    virtual void OnChar(WPARAM ch) { (void)ch; }
    virtual void OnKeyDown(WPARAM key) { (void)key; }
    virtual void OnKeyUp(WPARAM key) { (void)key; }
    virtual void OnLButtonDown(int x, int y) { (void)x, (void)y; }
    virtual void OnLButtonUp(int x, int y) { (void)x, (void)y; }
    virtual void OnLButtonDblClk(WPARAM keys, int x, int y) { (void)keys, (void)x, (void)y; }
    virtual void OnRButtonDown(int x, int y) { (void)x, (void)y; }
    virtual void OnRButtonUp(int x, int y) { (void)x, (void)y; }
    virtual void OnRButtonDblClk(WPARAM keys, int x, int y) { (void)keys, (void)x, (void)y; }
    virtual void OnMouseMove(WPARAM keys, int x, int y) { (void)keys, (void)x, (void)y; }
    virtual void OnMouseWheel(int delta, WPARAM keys, int x, int y) {
        (void)delta, (void)keys, (void)x, (void)y;
    }
    virtual void OnScroll(int horizontal, int code, int position, HWND scrollBar) {
        (void)horizontal, (void)code, (void)position, (void)scrollBar;
    }
    // Colours of a control inside a dialog; null keeps the defaults.
    virtual HBRUSH OnCtlColor(HDC dc) {
        (void)dc;
        return nullptr;
    }
    // Every message of a toolkit-class window: extensions, painting, then HandleMessage.
    // Zero means "not handled": the window procedure then does default processing.
    virtual LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void OnPaint(HDC dc) { (void)dc; }
    // Adjusts the class just before the toolkit registers it.
    virtual void OnRegisterClass(WNDCLASSEXA& windowClass) { (void)windowClass; }

    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    DWORD CreateFlags = 0;
    int BackgroundColourIndex = COLOR_WINDOW;

private:
    bool RegisterOwnClass(const char* className);
    void DefaultGeometry(int width, int height);
};

// The window procedure of every toolkit class.
LRESULT CALLBACK ToolkitWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
