#include "support/ui_harness.h"
#include "toolkit/window_probe.h"
#include "toolkit/wm_handler.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

// The test display (scripts/lib/display.sh) is 1280 x 1024.
bool KnownScreen() {
    return ScreenWidth() == 1280 && ScreenHeight() == 1024;
}

RECT WindowRect(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

::testing::AssertionResult RectIs(const RECT& r, int left, int top, int width, int height) {
    if (r.left == left && r.top == top && r.right - r.left == width && r.bottom - r.top == height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "rect at " << r.left << "," << r.top << " size " << r.right - r.left << "x"
           << r.bottom - r.top << ", expected " << left << "," << top << " size " << width << "x"
           << height;
}

// A visible borderless top-level window, so that its client area is its window rectangle.
void MakePopup(ProbeWindow& w, const char* className, int left, int top, int width, int height) {
    w.Style = WS_POPUP | WS_VISIBLE;
    w.SetBounds({left, top, left + width, top + height});
    ASSERT_TRUE(w.Create(nullptr, className, nullptr, 7, 0));
}

} // namespace

TEST(WindowCreate, DefaultGeometryIsCentredOnTheScreen) {
    if (!KnownScreen())
        GTEST_SKIP() << "needs the 1280 x 1024 test display";
    BoxRecorder boxes;

    // Everything left at CW_USEDEFAULT: two thirds of the screen, centred.
    ProbeWindow all;
    ASSERT_TRUE(all.Create(nullptr, "vt_geometry", nullptr, 7, 0));
    EXPECT_TRUE(RectIs(WindowRect(all.Handle), 213, 171, 853, 682));
    EXPECT_TRUE(RectIs(all.Bounds, 213, 171, 853, 682));
    char text[64] = {};
    GetWindowTextA(all.Handle, text, sizeof text);
    EXPECT_STREQ(text, "vt_geometry");   // no title: the class name is the window text
    EXPECT_TRUE(all.Style & WS_CAPTION); // read back from the window

    // A wanted width kept in right while left stays CW_USEDEFAULT.
    ProbeWindow wide;
    wide.Bounds.right = 300;
    ASSERT_TRUE(wide.Create("t", "vt_geometry", nullptr, 7, 0));
    EXPECT_TRUE(RectIs(WindowRect(wide.Handle), 490, 171, 300, 682));

    // The floating window's way: SetSize before creation only records the size.
    ProbeWindow small; // without a caption: captioned windows have a minimum width
    small.Style = WS_POPUP | WS_BORDER;
    small.SetSize(100, 30);
    EXPECT_EQ(small.Handle, nullptr);
    ASSERT_TRUE(small.Create(nullptr, "vt_geometry", nullptr, 7, 0));
    EXPECT_TRUE(RectIs(WindowRect(small.Handle), 590, 497, 100, 30));

    // Explicit bounds stay; an empty extent gets the default size from where it starts.
    ProbeWindow given;
    given.Style = WS_POPUP;
    given.SetBounds({10, 20, 110, 20});
    ASSERT_TRUE(given.Create(nullptr, "vt_geometry", nullptr, 7, 0));
    EXPECT_TRUE(RectIs(WindowRect(given.Handle), 10, 20, 100, 682));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(WindowCreate, ChildLosesFrameStylesAndUsesParentClientCoordinates) {
    BoxRecorder boxes;
    ProbeWindow parent;
    MakePopup(parent, "vt_child_parent", 100, 100, 400, 300);

    ProbeWindow child;
    child.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    ASSERT_TRUE(child.Create(nullptr, "vt_child", &parent, 7, 55))
        << (boxes.Boxes().empty() ? "" : boxes.Boxes()[0].Text);
    EXPECT_EQ(child.Parent, &parent);
    LONG style = GetWindowLongA(child.Handle, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_EQ(style & (WS_DLGFRAME | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              0);
    EXPECT_EQ(GetDlgCtrlID(child.Handle), 55);
    // Two thirds of the parent's 400 x 300 client area, centred in it.
    EXPECT_TRUE(RectIs(child.Bounds, 67, 50, 266, 200));
    EXPECT_TRUE(RectIs(WindowRect(child.Handle), 167, 150, 266, 200));

    child.MoveTo(5, 6);
    EXPECT_TRUE(RectIs(WindowRect(child.Handle), 105, 106, 266, 200));
    SetWindowPos(child.Handle, nullptr, 20, 30, 50, 40, SWP_NOZORDER);
    child.RefreshBounds();
    EXPECT_TRUE(RectIs(child.Bounds, 20, 30, 50, 40));
}

TEST(WindowCreate, OwnClassIsRegisteredOnceWithItsBrushAndStyle) {
    ProbeWindow first, second;
    first.BackgroundColourIndex = COLOR_BTNFACE;
    ASSERT_TRUE(first.Create(nullptr, "vt_register_once", nullptr, 7, 0));
    ASSERT_TRUE(second.Create(nullptr, "vt_register_once", nullptr, 7, 0));
    EXPECT_EQ(first.Registrations, 1);
    EXPECT_EQ(second.Registrations, 0);
    EXPECT_EQ(GetClassLongPtrA(first.Handle, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
    EXPECT_EQ(GetClassLongPtrA(first.Handle, GCL_STYLE), CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS);
    EXPECT_EQ(CGWinCore::FromHandle(first.Handle), &first);
    EXPECT_EQ(CGWinCore::FromHandle(second.Handle), &second);
}

TEST(WindowCreate, FailuresShowTheirBoxAndReturnFalse) {
    BoxRecorder boxes;
    ProbeWindow broken;
    broken.BreakRegistration = true;
    EXPECT_FALSE(broken.Create(nullptr, "vt_never_registered", nullptr, 7, 0));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].Text, "Can't register Window Class");
    EXPECT_EQ(boxes.Boxes()[0].Caption, "vt_never_registered");

    ProbeWindow unknown;
    EXPECT_FALSE(unknown.Create(nullptr, "vt_no_such_system_class", nullptr, 2, 0));
    EXPECT_EQ(unknown.Handle, nullptr);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    // "Cannot find window class" on Windows, "Class does not exist" on Wine.
    EXPECT_EQ(boxes.Boxes()[1].Text.rfind("CreateWindow Error 14", 0), 0u);
    EXPECT_EQ(boxes.Boxes()[1].Caption, "Error");
    EXPECT_EQ(boxes.Boxes()[1].Type, unsigned(MB_OK));
}

TEST(WindowDispatch, NewestExtensionFirstAndNonZeroStopsEverything) {
    CallLog log;
    ProbeWindow w(&log);
    ProbeExtension older(&log, "older"), newer(&log, "newer");
    w.AddExtension(&older);
    w.AddExtension(&newer);
    w.AddExtension(&older); // adding again moves it to the head instead of linking twice
    MakePopup(w, "vt_dispatch", 0, 0, 50, 50);
    EXPECT_EQ(log, (CallLog{"older attach", "newer attach"}));
    EXPECT_EQ(older.Owner, &w);

    // Nobody takes it: both extensions, then the window's own handling.
    log.clear();
    older.Watched = newer.Watched = WM_COMMAND;
    SendMessageA(w.Handle, WM_COMMAND, 40001, 0);
    EXPECT_EQ(log, (CallLog{"older saw 273", "newer saw 273", "win menu 40001"}));

    // The first non-zero answer is the result; nothing after it runs.
    log.clear();
    older.Answer = 77;
    EXPECT_EQ(SendMessageA(w.Handle, WM_COMMAND, 40001, 0), 77);
    EXPECT_EQ(log, (CallLog{"older saw 273"}));
}

TEST(WindowDispatch, HandledCloseSkipsDefaultProcessingUnhandledCloseDestroys) {
    CallLog log;
    ProbeWindow w(&log);
    w.CloseDestroys = false; // OnClose does nothing: only default processing can destroy
    ProbeExtension guard(&log, "guard");
    w.AddExtension(&guard);
    MakePopup(w, "vt_close", 0, 0, 50, 50);

    guard.Watched = WM_CLOSE;
    guard.Answer = 1;
    SendMessageA(w.Handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(w.Handle));
    EXPECT_EQ(log, (CallLog{"guard attach", "guard saw 16"}));

    log.clear();
    SendMessageA(w.Handle, WM_ENDSESSION, 0, 0); // whatever its wParam
    EXPECT_EQ(log, (CallLog{"win close"}));

    log.clear();
    guard.Answer = 0;
    SendMessageA(w.Handle, WM_CLOSE, 0, 0);
    EXPECT_EQ(log, (CallLog{"guard saw 16", "win close"}));
    EXPECT_FALSE(IsWindow(w.Handle));
    EXPECT_TRUE(PumpMessages()); // a top-level window's destruction asks the loop to end
}

TEST(WindowDispatch, PaintRunsExtensionsThenWindowOnlyWithOwnPainting) {
    CallLog log;
    ProbeWindow painted(&log), plain(&log);
    plain.Name = "plain";
    ProbeExtension ext(&log, "ext");
    painted.AddExtension(&ext);
    MakePopup(painted, "vt_paint", 0, 0, 40, 40);
    plain.Style = WS_POPUP | WS_VISIBLE;
    plain.SetBounds({50, 0, 90, 40});
    ASSERT_TRUE(plain.Create(nullptr, "vt_paint_plain", nullptr, 3, 0));

    log.clear();
    InvalidateRect(painted.Handle, nullptr, TRUE);
    UpdateWindow(painted.Handle);
    InvalidateRect(plain.Handle, nullptr, TRUE);
    UpdateWindow(plain.Handle);
    EXPECT_EQ(log, (CallLog{"ext paint", "win paint"}));
}

TEST(WindowDispatch, WithoutDispatchBitOnlyExtensionsSeeMessages) {
    CallLog log;
    ProbeWindow w(&log);
    w.Style = WS_POPUP;
    ASSERT_TRUE(w.Create(nullptr, "vt_no_dispatch", nullptr, 1, 0));
    SendMessageA(w.Handle, WM_COMMAND, 40003, 0);
    SendMessageA(w.Handle, WM_TIMER, 1, 0);
    EXPECT_TRUE(log.empty());
}

TEST(WindowDispatch, CommandsAndNotificationsReachParentThenControl) {
    CallLog log;
    ProbeWindow parent(&log), button(&log);
    button.Name = "button";
    MakePopup(parent, "vt_routing", 0, 0, 200, 100);
    button.Style = WS_VISIBLE | BS_PUSHBUTTON;
    button.SetBounds({5, 5, 60, 30});
    ASSERT_TRUE(button.Create("Go", "Button", &parent, 2, 1234));
    EXPECT_EQ(CGWinCore::FromHandle(button.Handle), &button);
    const std::string p = ProbeWindow::Hex(parent.Handle), b = ProbeWindow::Hex(button.Handle);
    parent.LogSize = true;

    log.clear();
    SendMessageA(parent.Handle, WM_COMMAND, MAKEWPARAM(1234, BN_DOUBLECLICKED),
                 reinterpret_cast<LPARAM>(button.Handle));
    EXPECT_EQ(
        log, (CallLog{"win child " + b + " code 5 hdr " + p + " 1234", "button reflected code 5"}));

    log.clear();
    NMHDR header = {button.Handle, 1234, static_cast<UINT>(NM_CLICK)};
    SendMessageA(parent.Handle, WM_NOTIFY, 1234, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(log, (CallLog{"win child " + b + " code " + std::to_string(UINT(NM_CLICK)) + " hdr " +
                                b + " 1234",
                            "button reflected code " + std::to_string(UINT(NM_CLICK))}));
    EXPECT_EQ(button.LastHeader, &header);

    // Menus (high word 0), accelerators (1, which default to the menu command), nothing else.
    log.clear();
    SendMessageA(parent.Handle, WM_COMMAND, MAKEWPARAM(40005, 0), 0);
    SendMessageA(parent.Handle, WM_COMMAND, MAKEWPARAM(40006, 1), 0);
    SendMessageA(parent.Handle, WM_COMMAND, MAKEWPARAM(40007, 2), 0);
    EXPECT_EQ(log, (CallLog{"win menu 40005", "win menu 40006"}));

    log.clear();
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 1234;
    item.hwndItem = button.Handle;
    SendMessageA(parent.Handle, WM_DRAWITEM, 1234, reinterpret_cast<LPARAM>(&item));
    item.CtlType = ODT_MENU; // a menu handle is no window
    SendMessageA(parent.Handle, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageA(parent.Handle, WM_TIMER, 9, 0);
    SendMessageA(parent.Handle, WM_SIZE, 0, MAKELPARAM(300, 200));
    EXPECT_EQ(log, (CallLog{"button drawitem 1234", "win timer 9", "win size 300x200"}));
}

TEST(WindowDispatch, MouseArgumentsAreSigned) {
    CallLog log;
    ProbeWindow w(&log);
    MakePopup(w, "vt_input", 0, 0, 50, 50);
    log.clear();
    SendMessageA(w.Handle, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(-5, -7));
    SendMessageA(w.Handle, WM_MOUSEMOVE, 0, MAKELPARAM(-1, 40000));
    SendMessageA(w.Handle, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), MAKELPARAM(3, 4));
    SendMessageA(w.Handle, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 77), 0);
    SendMessageA(w.Handle, WM_HSCROLL, MAKEWPARAM(SB_LINELEFT, 0), 0);
    EXPECT_EQ(log, (CallLog{"win ldbl 1 -5,-7", "win move -1,-25536", "win wheel -120 3,4",
                            "win scroll 0 5 77", "win scroll 1 0 0"}));
}

TEST(WindowDispatch, ExceptionsStayInsideTheWindowProcedure) {
    CallLog log;
    ProbeWindow w(&log);
    MakePopup(w, "vt_throw", 0, 0, 50, 50);
    w.ThrowOnMenu = true;
    log.clear();
    EXPECT_EQ(SendMessageA(w.Handle, WM_COMMAND, 40001, 0), 0);
    w.ThrowOnMenu = false;
    SendMessageA(w.Handle, WM_COMMAND, 40002, 0);
    EXPECT_EQ(log, (CallLog{"win menu 40001", "win menu 40002"}));
}

TEST(WindowDispatch, OnlyTopLevelDestructionEndsTheLoop) {
    ProbeWindow parent, child;
    MakePopup(parent, "vt_quit", 0, 0, 100, 100);
    ASSERT_TRUE(child.Create(nullptr, "vt_quit", &parent, 7, 0));
    PumpMessages();
    DestroyWindow(child.Handle);
    EXPECT_FALSE(PumpMessages());
    DestroyWindow(parent.Handle);
    EXPECT_TRUE(PumpMessages());
}

TEST(WindowGeometry, MoveSizeAndCentre) {
    ProbeWindow w;
    MakePopup(w, "vt_move", 100, 50, 120, 40);
    w.MoveTo(300, 200);
    EXPECT_TRUE(RectIs(WindowRect(w.Handle), 300, 200, 120, 40));
    w.SetSize(80, 20);
    EXPECT_TRUE(RectIs(WindowRect(w.Handle), 300, 200, 80, 20));
    w.SetBounds({-30, -40, 70, 60}); // off the screen is allowed
    EXPECT_TRUE(RectIs(WindowRect(w.Handle), -30, -40, 100, 100));

    // Changed behind the object's back: RefreshBounds picks it up, then centring uses it.
    SetWindowPos(w.Handle, nullptr, 7, 8, 200, 100, SWP_NOZORDER);
    w.RefreshBounds();
    EXPECT_TRUE(RectIs(w.Bounds, 7, 8, 200, 100));
    w.CentreOnParent(1);
    EXPECT_TRUE(RectIs(WindowRect(w.Handle), (ScreenWidth() - 200) / 2, (ScreenHeight() - 100) / 2,
                       200, 100));
}

TEST(WMHandler, EachObjectTakesTheNextNumber) {
    NextPrivateMessage = 0x8000;
    CGWMHandler a, b, c;
    EXPECT_EQ(a.MessageId, 0x8000u);
    EXPECT_EQ(b.MessageId, 0x8001u);
    EXPECT_EQ(c.MessageId, 0x8002u);
    EXPECT_EQ(NextPrivateMessage, 0x8003);
}
