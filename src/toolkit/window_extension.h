#pragma once

#include <windows.h>

class CGWinCore;

// A pluggable behaviour of a window object: it sees every message of its owner before the
// owner does, may paint into it, and is attached once the owner's native window exists.
// Extensions live as members of their owner (or beside it) and are linked into the owner's
// list with CGWinCore::AddExtension; the list does not own them.
class CGWindowExtension {
public:
    CGWindowExtension() = default;
    CGWindowExtension(const CGWindowExtension&) = delete;
    CGWindowExtension& operator=(const CGWindowExtension&) = delete;
    virtual ~CGWindowExtension() = default;

    // Called for each extension once the owner's native window exists. Returns 1 on success.
    virtual int Attach(CGWinCore* owner) {
        Owner = owner;
        return 1;
    }
    // Non-zero means handled: later extensions, the owner and default processing are skipped
    // and the value is the message's result.
    virtual LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        (void)hwnd, (void)msg, (void)wParam, (void)lParam;
        return 0;
    }
    // Inside the owner's WM_PAINT handling, before the owner's own OnPaint.
    virtual void OnPaint(HDC dc) { (void)dc; }

    CGWinCore* Owner = nullptr;        // not owned
    CGWindowExtension* Next = nullptr; // not owned: the next extension of the owner's list
};
