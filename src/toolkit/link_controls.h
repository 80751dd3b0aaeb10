#pragma once

#include "toolkit/controls.h"
#include "toolkit/handles.h"

// A static control that shows an icon resource. It creates its own window and subclasses it,
// so the window's messages reach this object.
class CGCtrlStatic : public CGCommonControl {
public:
    CGCtrlStatic() {
        SetSize(100, 25);
        Style = (Style | SS_CENTERIMAGE) & ~DWORD(WS_BORDER);
    }
    ~CGCtrlStatic() override;

    // Creates the icon window as item 2 of parent. False when it could not be created or
    // subclassed (Create has shown its own box).
    bool CreateIcon(CGWinCore* parent);

    int32_t IconId = 0;

private:
    bool Subclassed = false;
};

// A hyperlink drawn by the toolkit (window class "GSYSLINK"): blue, underlined, a focus
// rectangle while the mouse is over it, and a click opens the link.
class CGCtrlSysLink : public CGWindow {
public:
    CGCtrlSysLink() { BackgroundColourIndex = COLOR_BTNFACE; }

    // Shows url with the underlined message font at the DPI of the link's monitor (again when
    // that changes). Call after Create.
    bool SetLink(const char* url);

    void OnMouseMove(WPARAM keys, int x, int y) override;
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnPaint(HDC dc) override;

    int Hot = 0;
    CGFont LinkFont;
    const char* Url = nullptr; // not owned

private:
    void MakeFont();
};
