#include "support/ui_harness.h"
#include "toolkit/window_extensions.h"
#include "toolkit/window_probe.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

RECT WindowRect(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

LPARAM ClientPointOf(HWND hwnd, int screenX, int screenY) {
    POINT p = {screenX, screenY};
    ScreenToClient(hwnd, &p);
    return MAKELPARAM(p.x, p.y);
}

} // namespace

TEST(MouseDrag, GrabPointStaysUnderTheCursor) {
    CallLog log;
    ProbeWindow w(&log);
    CGWEMouseDrag drag;
    w.AddExtension(&drag);
    w.Style = WS_POPUP | WS_VISIBLE;
    w.SetBounds({0, 0, 100, 30});
    ASSERT_TRUE(w.Create(nullptr, "vt_drag", nullptr, 7, 0));
    log.clear();

    SendMessageA(w.Handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
    EXPECT_EQ(GetCapture(), w.Handle);
    SendMessageA(w.Handle, WM_MOUSEMOVE, MK_LBUTTON, ClientPointOf(w.Handle, 500, 300));
    RECT r = WindowRect(w.Handle);
    EXPECT_EQ(r.left, 490);
    EXPECT_EQ(r.top, 295);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 30);
    // A point left and above the screen origin moves the window off the screen.
    SendMessageA(w.Handle, WM_MOUSEMOVE, MK_LBUTTON, ClientPointOf(w.Handle, 3, 2));
    EXPECT_EQ(WindowRect(w.Handle).left, -7);
    EXPECT_EQ(WindowRect(w.Handle).top, -3);
    SendMessageA(w.Handle, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
    EXPECT_EQ(GetCapture(), nullptr);

    // Without the capture a move is the window's own; double clicks always are.
    SendMessageA(w.Handle, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(WindowRect(w.Handle).left, -7);
    SendMessageA(w.Handle, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
    EXPECT_EQ(log, (CallLog{"win move 20,20", "win ldbl 1 4,4"}));

    // A release with no drag in progress still gives the capture back.
    SetCapture(w.Handle);
    SendMessageA(w.Handle, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(GetCapture(), nullptr);

    // Dragged onto a monitor of 144 DPI the window grows by half, and so does the grab point.
    SendMessageA(w.Handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    RECT suggested = {0, 0, 150, 45};
    SendMessageA(w.Handle, WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    SendMessageA(w.Handle, WM_MOUSEMOVE, MK_LBUTTON, ClientPointOf(w.Handle, 500, 300));
    EXPECT_EQ(WindowRect(w.Handle).left, 470);
    EXPECT_EQ(WindowRect(w.Handle).top, 285);
    SendMessageA(w.Handle, WM_LBUTTONUP, 0, 0);
}

TEST(WaitCursor, BusyAnswersSetCursorItself) {
    CallLog log;
    ProbeWindow w(&log);
    ProbeExtension behind(&log, "behind");
    behind.Watched = WM_SETCURSOR;
    CGWEWaitCursor wait;
    w.AddExtension(&behind);
    w.AddExtension(&wait);
    w.Style = WS_POPUP | WS_VISIBLE;
    w.SetBounds({0, 0, 50, 50});
    ASSERT_TRUE(w.Create(nullptr, "vt_wait", nullptr, 7, 0));
    log.clear();

    const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    wait.SetBusy();
    EXPECT_EQ(GetCursor(), wait.BusyCursor);
    SetCursor(wait.NormalCursor);
    EXPECT_EQ(SendMessageA(w.Handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(w.Handle), hit), 1);
    EXPECT_EQ(GetCursor(), wait.BusyCursor);
    EXPECT_TRUE(log.empty());

    wait.ClearBusy();
    EXPECT_EQ(GetCursor(), wait.NormalCursor);
    SendMessageA(w.Handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(w.Handle), hit);
    EXPECT_EQ(log, (CallLog{"behind saw 32"}));
}

TEST(ToolTip, AttachCreatesTheTipWindowAndToolsKeepTheirText) {
    BoxRecorder boxes;
    ProbeWindow owner;
    CGWEToolTip tips;
    const uint32_t before = static_cast<uint32_t>(NextPrivateMessage);
    CGWEToolTip other;
    EXPECT_EQ(other.MessageId, before); // each tooltip takes its own message number
    EXPECT_EQ(static_cast<uint32_t>(NextPrivateMessage), before + 1);

    owner.AddExtension(&tips);
    owner.Style = WS_POPUP | WS_VISIBLE;
    owner.SetBounds({0, 0, 200, 100});
    ASSERT_TRUE(owner.Create(nullptr, "vt_tips", nullptr, 7, 0));
    ASSERT_NE(tips.Handle, nullptr);
    char cls[64] = {};
    GetClassNameA(tips.Handle, cls, sizeof cls);
    EXPECT_STREQ(cls, "tooltips_class32");
    EXPECT_EQ(tips.Parent, &owner);
    EXPECT_EQ(tips.Owner, &owner);
    EXPECT_EQ(CGWinCore::FromHandle(tips.Handle), static_cast<CGWinCore*>(&tips));
    EXPECT_EQ(GetWindow(tips.Handle, GW_OWNER), owner.Handle);
    EXPECT_EQ(tips.Style & (TTS_ALWAYSTIP | TTS_NOPREFIX), DWORD(TTS_ALWAYSTIP | TTS_NOPREFIX));
    EXPECT_TRUE(tips.ExStyle & WS_EX_TOPMOST);
    EXPECT_EQ(SendMessageA(tips.Handle, TTM_GETMAXTIPWIDTH, 0, 0), 200);

    ProbeWindow control;
    control.Style = WS_VISIBLE;
    control.SetBounds({10, 10, 60, 30});
    ASSERT_TRUE(control.Create("x", "Static", &owner, 2, 7));
    char help[] = "Help for x";
    tips.AddTool(&control, help);
    help[0] = 'Y'; // the tooltip keeps its own copy
    EXPECT_EQ(SendMessageA(tips.Handle, TTM_GETTOOLCOUNT, 0, 0), 1);
    char text[80] = {};
    TOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.hwnd = owner.Handle;
    info.uId = reinterpret_cast<UINT_PTR>(control.Handle);
    info.lpszText = text;
    SendMessageA(tips.Handle, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(text, "Help for x");
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(ToolTip, ZeroMaxWidthKeepsTheDefaultAndToolsBeforeAttachGoNowhere) {
    ProbeWindow owner, control;
    CGWEToolTip tips;
    tips.MaxTipWidth = 0;
    owner.Style = WS_POPUP;
    ASSERT_TRUE(owner.Create(nullptr, "vt_tips_default", nullptr, 7, 0));
    control.Style = WS_VISIBLE;
    control.SetBounds({10, 10, 60, 30});
    ASSERT_TRUE(control.Create("x", "Static", &owner, 2, 7));
    // Both windows exist, so a tool kept back now and added at attach would be counted.
    owner.AddExtension(&tips);
    tips.AddTool(&control, "too early"); // no tooltip window yet: ignored
    ASSERT_EQ(tips.Attach(&owner), 1);
    ASSERT_NE(tips.Handle, nullptr);
    EXPECT_EQ(SendMessageA(tips.Handle, TTM_GETMAXTIPWIDTH, 0, 0), -1);
    EXPECT_EQ(SendMessageA(tips.Handle, TTM_GETTOOLCOUNT, 0, 0), 0);
    tips.AddTool(&control, "in time");
    EXPECT_EQ(SendMessageA(tips.Handle, TTM_GETTOOLCOUNT, 0, 0), 1);
}
