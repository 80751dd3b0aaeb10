#pragma once

#include <windows.h>

class CGWindowExtension;

// Root of every window object of the toolkit. An object is bound one-to-one to a native
// window through the window's GWLP_USERDATA slot; it never owns that window (destroying
// the object leaves the window alone), so its owner keeps it alive until the window is gone.
class CGWinCore {
public:
    CGWinCore() = default;
    CGWinCore(const CGWinCore&) = delete;
    CGWinCore& operator=(const CGWinCore&) = delete;
    virtual ~CGWinCore() = default;

    // Virtual operations, in the order every window object relies on.
    virtual void Redraw();
    virtual int OnMenuCommand(int id);
    virtual int OnAccelerator(int id);
    // On the parent, for WM_NOTIFY and for WM_COMMAND from a control.
    virtual void OnChildNotify(HWND hwndFrom, UINT code, NMHDR* header);
    // On the control's own object, right after its parent's OnChildNotify.
    virtual void OnReflectedNotify(UINT code, NMHDR* header);
    virtual void OnDestroy();
    virtual void OnTimer(UINT_PTR id);
    virtual int OnSize(int width, int height);
    // WM_CLOSE and WM_ENDSESSION.
    virtual void OnClose();
    // On an owner-drawn control's own object, for its parent's WM_DRAWITEM.
    virtual void OnDrawItem(DRAWITEMSTRUCT* drawItem);
    virtual LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // The object bound to a native window, or null.
    static CGWinCore* FromHandle(HWND hwnd);
    // Binds this object to hwnd's GWLP_USERDATA slot.
    void Bind(HWND hwnd);

    // Links the extension at the head of the list (moving it there when already linked) and
    // sets its Owner. Does not attach it.
    void AddExtension(CGWindowExtension* extension);
    // Attach(this) on every extension in list order.
    void AttachExtensions();

    void MoveTo(int x, int y);
    void SetSize(int width, int height);
    void SetBounds(const RECT& rectangle);
    // Bounds from the native window; in the parent's client coordinates when Parent is set.
    void RefreshBounds();
    void ReadStyles();
    // Centres on the native parent, or on the desktop when there is none or when forced.
    void CentreOnParent(int forceDesktop);

    int Width() const {
        return static_cast<int>(static_cast<unsigned>(Bounds.right) - Bounds.left);
    }
    int Height() const {
        return static_cast<int>(static_cast<unsigned>(Bounds.bottom) - Bounds.top);
    }

    CGWinCore* Parent = nullptr; // not owned; null for a top-level window
    HWND Handle = nullptr;       // not owned
    DWORD Style = WS_OVERLAPPEDWINDOW;
    DWORD ExStyle = 0;
    // Screen coordinates, or the parent's client coordinates when Parent is set.
    RECT Bounds = {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
    CGWindowExtension* Extensions = nullptr; // head of the list; not owned

private:
    void ApplyBounds();
};
