#include "app/indication.h"
#include "app/main_window_fixture.h"
#include "app/new_mail_notice.h"
#include "support/pop3_script_server.h"
#include "support/tcp_peer.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <cstdlib>
#include <functional>
#include <set>

namespace {

// The flap pixel of a 16 x 16 tray image: white on icon 103, green on icon 104.
unsigned FlapColour(HICON icon) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    GdiFlush();
    unsigned flap = static_cast<unsigned*>(bits)[5 * 16 + 8] & 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return flap;
}

// A 32-bit picture to draw into or copy a window into, and read back.
struct Picture {
    Picture(int width, int height) : Width(width), Height(height) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        Bitmap = CreateDIBSection(Dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&Bits),
                                  nullptr, 0);
        Old = SelectObject(Dc, Bitmap);
    }
    ~Picture() {
        SelectObject(Dc, Old);
        DeleteObject(Bitmap);
        DeleteDC(Dc);
    }
    unsigned At(int x, int y) const { return Bits[y * Width + x] & 0xFFFFFF; }

    const int Width, Height;
    HDC Dc = CreateCompatibleDC(nullptr);
    HBITMAP Bitmap;
    HGDIOBJ Old;
    unsigned* Bits = nullptr;
};

// What the floating window shows: how tall its text is, and how many pixels differ from its
// lines drawn without any clipping where the window draws them.
struct Shown {
    int LineHeight;
    int InkHeight;  // from the top of the first line's text to the bottom of the last's
    int Differing;  // pixels
    bool InkAtEdge; // text touches the edge of the window's inside
    int TipsOff;    // line tooltips whose area does not start where their line is drawn
};

Shown Look(CMainWindow& window, const std::vector<std::string>& lines) {
    RedrawWindow(window.Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client;
    GetClientRect(window.Handle, &client);
    Picture shot(client.right, client.bottom), drawn(client.right, client.bottom);
    HDC dc = GetDC(window.Handle);
    BitBlt(shot.Dc, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    ReleaseDC(window.Handle, dc);
    FillRect(drawn.Dc, &client, GetSysColorBrush(COLOR_WINDOW));
    SetBkColor(drawn.Dc, GetSysColor(COLOR_WINDOW));
    CGSelection font(drawn.Dc, window.LineFont.get());
    const int side = ScaleToDpi(10, window.Dpi), top = ScaleToDpi(5, window.Dpi);
    for (size_t i = 0; i < lines.size(); ++i) {
        RECT r = {side, top + static_cast<int>(i) * window.LineHeight, client.right - side,
                  client.bottom};
        DrawTextA(drawn.Dc, lines[i].c_str(), -1, &r, DT_SINGLELINE | DT_CENTER | DT_NOCLIP);
    }
    Shown s = {window.LineHeight, 0, 0, false, 0};
    for (size_t i = 0; i < lines.size(); ++i) {
        wchar_t text[256] = {};
        TTTOOLINFOW info = {sizeof info, 0, window.Handle, i, {}, nullptr, text, 0, nullptr};
        SendMessageW(window.LineTips.Window(), TTM_GETTOOLINFOW, 0,
                     reinterpret_cast<LPARAM>(&info));
        s.TipsOff += info.rect.top != top + static_cast<int>(i) * window.LineHeight;
    }
    int first = -1, last = -1;
    for (int y = 0; y < shot.Height; ++y) {
        for (int x = 0; x < shot.Width; ++x) {
            s.Differing += shot.At(x, y) != drawn.At(x, y);
            if (shot.At(x, y) == drawn.At(0, 0)) // the background
                continue;
            first = first < 0 ? y : first;
            last = y;
            s.InkAtEdge |= x == 0 || y == 0 || x == shot.Width - 1 || y == shot.Height - 1;
        }
    }
    s.InkHeight = first < 0 ? 0 : last - first + 1;
    return s;
}

int IconWidth(HICON icon) {
    ICONINFO info = {};
    BITMAP mask = {};
    GetIconInfo(icon, &info);
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor); // null for a monochrome icon, which DeleteObject ignores
    return mask.bmWidth;
}

} // namespace

TEST(Indication, TooltipJoinsLinesAndKeepsSixtyThreeCharacters) {
    EXPECT_EQ(TrayTip({}), "");
    EXPECT_EQ(TrayTip({"1 / 2", "0 / 0"}), "1 / 2\r\n0 / 0");
    const std::string line(31, 'x');
    const std::string tip = TrayTip({line, line, line});
    EXPECT_EQ(tip, (line + "\r\n" + line).substr(0, 63));
    EXPECT_EQ(TrayTip(std::vector<std::string>(10, line)).size(), 63u);
}

TEST(Indication, SizeIsWidestLinePlusTwentyNeverBelowSeventyFive) {
    EXPECT_EQ(FloatingSize({}).cx, 75);
    EXPECT_EQ(FloatingSize({}).cy, 10);
    const SIZE s = FloatingSize({{30, 13}, {120, 13}, {10, 13}});
    EXPECT_EQ(s.cx, 140);
    EXPECT_EQ(s.cy, 49);
    EXPECT_EQ(FloatingSize({{54, 16}}).cx, 75);
}

TEST_F(MainWindowTest, CreatesTheCentredTopmostToolWindowOrUsesTheSavedPosition) {
    ASSERT_TRUE(Window->CreateFloating());
    RECT r;
    GetWindowRect(Window->Handle, &r);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 30);
    EXPECT_EQ(r.left, (ScreenWidth() - 100) / 2);
    EXPECT_EQ(r.top, (ScreenHeight() - 30) / 2);
    EXPECT_TRUE(GetWindowLongA(Window->Handle, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(GetWindowLongA(Window->Handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindowLongA(Window->Handle, GWL_STYLE) & (WS_POPUP | WS_DLGFRAME | WS_BORDER),
              LONG(WS_POPUP | WS_BORDER)); // a thin frame and no caption
    DestroyWindow(Window->Handle);
    PumpMessages();

    // A saved position is used as it is, off the screen too; text atoi cannot read is 0.
    CMainWindow second;
    second.UpdateChecker->AutoStart = 0;
    ProfileWriteString("position", "x", "-500", second.IniPath.c_str());
    ProfileWriteString("position", "y", "junk", second.IniPath.c_str());
    ASSERT_TRUE(second.CreateFloating());
    GetWindowRect(second.Handle, &r);
    EXPECT_EQ(r.left, -500);
    EXPECT_EQ(r.top, 0);
    DestroyWindow(second.Handle);
    EXPECT_TRUE(Boxes.Boxes().empty());
}

TEST_F(MainWindowTest, WithoutAccountsTheWindowShrinksToSeventyFiveByTen) {
    ASSERT_TRUE(Window->CreateFloating());
    Window->RefreshIndication();
    EXPECT_EQ(Window->Width(), 75);
    EXPECT_EQ(Window->Height(), 10);
    EXPECT_STREQ(Window->Tray.IconData.szTip, "");
    EXPECT_EQ(FlapColour(Window->Tray.IconData.hIcon), 0xFFFFFFu);
    EXPECT_TRUE(Greyed(ID_MARK_AS_READ));
}

TEST_F(MainWindowTest, RefreshSizesTheWindowToTheLinesAndFollowsUnreadMail) {
    ASSERT_TRUE(Window->CreateFloating());
    Add(0, 4);
    CGAccount* failing = Add(0, 0);
    failing->Status = -1;
    Add(2, 17);
    Window->RefreshIndication();

    const char* lines[] = {"0 / 4", "Failed to connect to that host/", "2 / 17"};
    EXPECT_STREQ(failing->StatusText, lines[1]);
    const SIZE longest = Extent(lines[1]);
    EXPECT_EQ(Window->LineHeight, longest.cy);
    EXPECT_EQ(Window->Width(), longest.cx + 20);
    EXPECT_EQ(Window->Height(), 3 * longest.cy + 10);
    RECT r;
    GetWindowRect(Window->Handle, &r);
    EXPECT_EQ(r.right - r.left, Window->Width()); // the native window follows
    EXPECT_EQ(std::string(Window->Tray.IconData.szTip), TrayTip({lines[0], lines[1], lines[2]}));
    EXPECT_EQ(FlapColour(Window->Tray.IconData.hIcon), 0x00FF00u);
    EXPECT_FALSE(Greyed(ID_MARK_AS_READ));

    // Marking read through the menu refreshes once per account and ends the signal.
    Window->OnMenuCommand(ID_MARK_AS_READ);
    PumpMessages();
    EXPECT_EQ(FlapColour(Window->Tray.IconData.hIcon), 0xFFFFFFu);
    EXPECT_TRUE(Greyed(ID_MARK_AS_READ));
    EXPECT_STREQ(Window->AccountList.At(2)->StatusText, "0 / 17");
    EXPECT_TRUE(Sounds.empty()); // marking read is silent
}

TEST_F(MainWindowTest, ChecksThatChangeNothingCostNoTrayCallResizeOrRepaint) {
    // A program that runs for months: a check a minute must not feed anything that grows.
    ASSERT_TRUE(Window->CreateFloating());
    CGAccount* a = Add(1, 3);
    ShowWindow(Window->Handle, SW_SHOWNOACTIVATE);
    Window->RefreshIndication();
    PumpMessages();
    const std::size_t calls = TrayCalls.size();
    for (int i = 0; i < 300; ++i) {
        // Only the notification is handled, so a repaint it asked for would still be pending.
        PostMessageA(Window->Handle, Window->AccountList.NotifyMessage, 0, 0);
        MSG m;
        while (PeekMessageA(&m, Window->Handle, Window->AccountList.NotifyMessage,
                            Window->AccountList.NotifyMessage, PM_REMOVE))
            DispatchMessageA(&m);
        EXPECT_FALSE(GetUpdateRect(Window->Handle, nullptr, FALSE)) << i;
    }
    EXPECT_EQ(TrayCalls.size(), calls);
    // Mail read and mail arriving again and again: the same two images, one call each time.
    for (int i = 0; i < 100; ++i) {
        a->Session.MarkAllSeen();
        Window->RefreshIndication();
        a->Session.ApplyListing(Body(1, 4 + i).c_str());
        Window->RefreshIndication();
    }
    ASSERT_EQ(TrayCalls.size() - calls, 200u);
    EXPECT_EQ(std::set<HICON>(TrayCalls.begin() + calls, TrayCalls.end()).size(), 2u);
}

TEST_F(MainWindowTest, TenAccountsGiveTenLinesAndTheTooltipKeepsItsFirstSixtyThree) {
    ASSERT_TRUE(Window->CreateFloating());
    std::string joined;
    int widest = 0;
    for (int i = 0; i < 10; ++i) {
        Add(i, 10 + i);
        const std::string line = std::to_string(i) + " / " + std::to_string(10 + i);
        joined += (i ? "\r\n" : "") + line;
        widest = std::max<int>(widest, Extent(line.c_str()).cx);
    }
    Window->RefreshIndication();
    EXPECT_EQ(Window->Height(), 10 * Window->LineHeight + 10);
    EXPECT_EQ(Window->Width(), std::max(75, widest + 20));
    EXPECT_EQ(std::string(Window->Tray.IconData.szTip), joined.substr(0, 63));
    HMENU accounts = GetSubMenu(GetSubMenu(Window->PopupMenu.Menu, 0), 2);
    Window->RebuildAccountMenu();
    EXPECT_EQ(GetMenuItemID(accounts, 9), UINT(ID_FIRST_ACCOUNT + 9));
}

TEST_F(MainWindowTest, OneSoundPerRefreshThatSawNewMail) {
    ASSERT_TRUE(Window->CreateFloating());
    CGAccount* a = Add(1, 1, true);
    CGAccount* b = Add(3, 3, true);
    Window->RefreshIndication(); // sound off: flags cleared, nothing played
    EXPECT_TRUE(Sounds.empty());
    EXPECT_FALSE(a->Session.NewMail() || b->Session.NewMail());

    Window->AccountList.PlaySound = 1;
    a->Session.ApplyListing(Body(1, 2).c_str());
    b->Session.ApplyListing(Body(1, 4).c_str());
    Window->RefreshIndication();
    Window->RefreshIndication(); // nothing new since
    ASSERT_EQ(Sounds.size(), 1u);
    EXPECT_EQ(Sounds[0].Name, "MailBeep");
    EXPECT_EQ(Sounds[0].Flags, DWORD(SND_ALIAS | SND_ASYNC));

    Window->AccountList.CustomSound.Assign("C:\\sounds\\ding.wav");
    b->Session.ApplyListing(Body(1, 5).c_str());
    Window->RefreshIndication();
    ASSERT_EQ(Sounds.size(), 2u);
    EXPECT_EQ(Sounds[1].Name, "C:\\sounds\\ding.wav");
    EXPECT_EQ(Sounds[1].Flags, DWORD(SND_ASYNC));
}

TEST(NewMailNotice, TitleLinesAndTheRestFitTheBalloon) {
    const auto news = [](const char* name, int count, std::vector<CGMessageHeaders> headers) {
        return CAccountNews{nullptr, name, {count, std::move(headers)}};
    };
    const std::vector<CGMessageHeaders> three = {{"Ann", "Lunch"}, {"", ""}, {"Bob", "Re: x"}};
    CNewMailNotice n = ComposeNotice({news("ann - pop.example", 4, three)}, true);
    EXPECT_EQ(n.Title, "New mail for ann - pop.example");
    EXPECT_EQ(n.Text, "Ann: Lunch\n(unknown sender): (no subject)\nBob: Re: x\nand 1 more");
    // Several accounts: one title, their lines in order; without details, or without any
    // sender read, the count alone.
    n = ComposeNotice({news("a", 1, {{"Cy", "Hi"}}), news("b", 2, {})}, true);
    EXPECT_EQ(n.Title, "New mail");
    EXPECT_EQ(n.Text, "Cy: Hi\nand 2 more");
    EXPECT_EQ(ComposeNotice({news("a", 1, {{"Cy", "Hi"}}), news("b", 2, {})}, false).Text,
              "3 new messages");
    EXPECT_EQ(ComposeNotice({news("a", 1, {})}, true).Text, "1 new message");
    // Long texts are cut between characters, never inside a surrogate pair.
    const std::string emoji = "\xF0\x9F\x93\xA7"; // two UTF-16 units
    std::string subject;
    for (int i = 0; i < 100; ++i)
        subject += emoji;
    n = ComposeNotice(
        {news(std::string(80, 'n').c_str(), 9, {{"S", subject}, {"S", subject}, {"S", subject}})},
        true);
    EXPECT_EQ(WideCut(n.Title, 63).size(), 63u);
    const std::wstring text = WideCut(n.Text, 255);
    EXPECT_EQ(text.substr(text.size() - 11), L"\nand 6 more"); // 3 x 76 + 2 + 11 units
    const std::string line = MessageLine({"S", subject});
    EXPECT_EQ(line, "S: " + subject.substr(0, 36 * 4) + "\xE2\x80\xA6"); // 3 + 72 + 1 units
}

TEST_F(MainWindowTest, OneNotificationPerRefreshAndAClickOpensTheProgramsItNamed) {
    ASSERT_TRUE(Window->CreateFloating());
    CGAccount* a = Add(0, 0, false, "a.exe");
    CGAccount* b = Add(0, 0, false, "b.exe");
    Add(0, 0, false, "other.exe");
    a->Name.Assign("ann - a.example");
    b->Name.Assign("bob");
    auto headers = [](std::vector<std::pair<std::size_t, std::string>> named) {
        std::vector<CGUidlBookkeeping::Fetched> fetched;
        for (auto& [position, sender] : named)
            fetched.push_back({position, {sender, "about " + sender}});
        return fetched;
    };
    a->Session.ApplyListing(Body(1, 4).c_str(), headers({{0, "S4"}, {1, "S3"}, {2, "S2"}}));
    Window->RefreshIndication();
    Window->RefreshIndication(); // nothing new since
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].Title, "New mail for ann - a.example");
    EXPECT_EQ(Notices[0].Text, "S4: about S4\nS3: about S3\nS2: about S2\nand 1 more");
    EXPECT_EQ(Notices[0].Flags, DWORD(NIIF_INFO | NIIF_NOSOUND | NIIF_RESPECT_QUIET_TIME));
    // Each line's tooltip: the account's name and its last new mail.
    auto tip = [this](UINT line) {
        wchar_t text[1024] = {};
        TTTOOLINFOW info = {};
        info.cbSize = sizeof info;
        info.hwnd = Window->Handle;
        info.uId = line;
        info.lpszText = text;
        SendMessageW(Window->LineTips.Window(), TTM_GETTEXTW, 1024,
                     reinterpret_cast<LPARAM>(&info));
        return Narrow(text);
    };
    EXPECT_EQ(SendMessageW(Window->LineTips.Window(), TTM_GETTOOLCOUNT, 0, 0), 3);
    EXPECT_EQ(tip(0), "ann - a.example\r\nS4: about S4\r\nS3: about S3\r\nS2: about S2");
    EXPECT_EQ(tip(1), "bob");

    // Two accounts in one refresh: one notification; a click opens the programs it named.
    a->Session.ApplyListing(Body(1, 5).c_str(), headers({{0, "S5"}}));
    b->Session.ApplyListing(Body(1, 2).c_str());
    Window->RefreshIndication();
    ASSERT_EQ(Notices.size(), 2u);
    EXPECT_EQ(Notices[1].Title, "New mail");
    EXPECT_EQ(Notices[1].Text, "S5: about S5\nand 2 more");
    Opened.clear();
    PostMessageA(Window->Handle, Window->Tray.MessageId, IDI_MAIL, NIN_BALLOONUSERCLICK);
    PumpMessages();
    EXPECT_EQ(Opened, (std::vector<std::string>{"open a.exe", "open b.exe"}));
    EXPECT_FALSE(Window->AccountList.AnyUnread());

    // Without details the count alone and no senders in the tooltips; with the notification
    // off, none.
    Window->AccountList.NotifyDetails = 0;
    a->Session.ApplyListing(Body(1, 7).c_str(), headers({{0, "S7"}}));
    Window->RefreshIndication();
    ASSERT_EQ(Notices.size(), 3u);
    EXPECT_EQ(Notices[2].Text, "2 new messages");
    EXPECT_EQ(tip(0), "ann - a.example");
    Window->AccountList.Notify = 0;
    a->Session.ApplyListing(Body(1, 8).c_str());
    Window->RefreshIndication();
    EXPECT_EQ(Notices.size(), 3u);
}

TEST_F(MainWindowTest, PaintFillsWithTheNewMailColourOnlyWhileMailIsUnread) {
    ASSERT_TRUE(Window->CreateFloating());
    Window->ShowFloating(true);
    CGAccount* a = Add(1, 1);
    auto pixel = [this] {
        Window->RefreshIndication();
        UpdateWindow(Window->Handle);
        HDC dc = GetDC(Window->Handle);
        COLORREF c = GetPixel(dc, 2, 2);
        ReleaseDC(Window->Handle, dc);
        return c;
    };
    Window->AccountList.NewMailColour = MakeColour(95, 255, 95);
    EXPECT_EQ(pixel(), RGB(95, 255, 95));
    Window->AccountList.NewMailColour = MakeColour(200, 10, 30);
    EXPECT_EQ(pixel(), RGB(200, 10, 30));
    Window->AccountList.ChangeColour = 0;
    EXPECT_EQ(pixel(), GetSysColor(COLOR_WINDOW));
    Window->AccountList.ChangeColour = 1;
    a->Session.MarkAllSeen();
    EXPECT_EQ(pixel(), GetSysColor(COLOR_WINDOW));
}

TEST_F(MainWindowTest, TrayClicksMarkReadAndADoubleClickOpensTheAccountsThatHadMail) {
    ASSERT_TRUE(Window->CreateFloating());
    Add(0, 5, false, "first.exe");
    Add(2, 5, false, "mail.exe");
    Add(1, 1, false, "");
    Add(4, 9, false, "mail.exe");
    const UINT tray = Window->Tray.MessageId;
    EXPECT_EQ(tray, WM_APP + 2u);

    // What a double click on the icon delivers: button-down, then the double click, both
    // posted so that each carries the time it was sent at.
    PostMessageA(Window->Handle, tray, IDI_MAIL, WM_LBUTTONDOWN);
    PumpMessages();
    for (CGAccount& a : Window->AccountList)
        EXPECT_EQ(a.UnreadCount(), 0);
    PostMessageA(Window->Handle, tray, IDI_MAIL, WM_LBUTTONDBLCLK);
    PumpMessages();
    EXPECT_EQ(Opened, (std::vector<std::string>{"open mail.exe", "open mail.exe"}));

    // A double click that comes later than the double-click time after the click is not its
    // second half: nothing is unread any more, so the first account's program opens.
    Opened.clear();
    Window->AccountList.At(1)->Session.ApplyListing(Body(1, 6).c_str());
    PostMessageA(Window->Handle, tray, IDI_MAIL, WM_LBUTTONDOWN);
    PumpMessages();
    Sleep(GetDoubleClickTime() + 100);
    PostMessageA(Window->Handle, tray, IDI_MAIL, WM_LBUTTONDBLCLK);
    PumpMessages();
    EXPECT_EQ(Opened, (std::vector<std::string>{"open first.exe"}));

    // Nothing unread and no click before: the first account's program.
    Opened.clear();
    Window->OpenMail();
    EXPECT_EQ(Opened, (std::vector<std::string>{"open first.exe"}));
    PumpMessages();
    EXPECT_TRUE(Greyed(ID_MARK_AS_READ));
}

TEST_F(MainWindowTest, AccountCommandsOpenTheirProgramAndIgnoreIdsPastTheEnd) {
    ASSERT_TRUE(Window->CreateFloating());
    Add(0, 0, false, "one.exe");
    Add(0, 0, false, "");
    Add(0, 0, false, "https://mail.example/");
    EXPECT_EQ(Window->OnMenuCommand(ID_FIRST_ACCOUNT + 2), 1);
    EXPECT_EQ(Window->OnMenuCommand(ID_FIRST_ACCOUNT + 1), 1);
    EXPECT_EQ(Window->OnMenuCommand(ID_FIRST_ACCOUNT + 3), 1);
    EXPECT_EQ(Window->OnMenuCommand(ID_LAST_ACCOUNT + 1), 0);
    EXPECT_EQ(Window->OnMenuCommand(39999), 0);
    EXPECT_EQ(Opened, (std::vector<std::string>{"open https://mail.example/"}));
}

TEST_F(MainWindowTest, ShowFloatingTogglesTheWindowTheCheckMarkAndTheSavedFlag) {
    ASSERT_TRUE(Window->CreateFloating());
    Window->ShowFloating(true);
    Window->OnMenuCommand(ID_SHOW_FLOATING);
    EXPECT_FALSE(IsWindowVisible(Window->Handle));
    EXPECT_FALSE(GetMenuState(Window->PopupMenu.Menu, ID_SHOW_FLOATING, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(Ini("position", "visible"), "false");
    Window->OnMenuCommand(ID_SHOW_FLOATING);
    EXPECT_TRUE(IsWindowVisible(Window->Handle));
    EXPECT_TRUE(GetMenuState(Window->PopupMenu.Menu, ID_SHOW_FLOATING, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(Ini("position", "visible"), "true");
}

TEST_F(MainWindowTest, StartUpStartsOneAccountNowAndTheOthersOnePerTimerTickInOrder) {
    std::uint16_t port = 0;
    CGSocketHandle silent = ListenLoopback(0, port);
    ASSERT_NE(silent, InvalidSocket);
    ProfileWriteString("main", "accounts", "a,b,c", Window->IniPath.c_str());
    for (const char* section : {"a", "b", "c"}) {
        ProfileWriteString(section, "server", "127.0.0.1", Window->IniPath.c_str());
        ProfileWriteString(section, "Port", std::to_string(port).c_str(), Window->IniPath.c_str());
        ProfileWriteString(section, "SSL", "false", Window->IniPath.c_str());
    }
    ASSERT_TRUE(Window->Initialise()); // returns at once: no pause per account
    auto running = [this] {
        std::string r;
        for (CGAccount& a : Window->AccountList)
            r += a.IsRunning() ? '+' : '-';
        return r;
    };
    EXPECT_EQ(running(), "+--");
    SendMessageA(Window->Handle, WM_TIMER, 1, 0);
    EXPECT_EQ(running(), "++-");
    SendMessageA(Window->Handle, WM_TIMER, 1, 0);
    EXPECT_EQ(running(), "+++");
    SendMessageA(Window->Handle, WM_TIMER, 1, 0); // the last tick ends the timer
    EXPECT_EQ(running(), "+++");
    CloseHandleOf(silent);
}

TEST_F(MainWindowTest, AResumeOrANetworkThatCameBackChecksEveryAccountAtOnce) {
    ScriptedMailbox box;
    box.SetUidls({"a"});
    ScriptedPop3Server server(std::ref(box));
    ASSERT_TRUE(Window->CreateFloating());
    CGAccount* a = Window->AccountList.AddAccount();
    a->ApplySettings(ScriptedServerAccount(server.Port(), "secret", 60)); // hourly checks
    Window->StartAccounts();
    auto until = [](const std::function<bool()>& done) {
        for (int i = 0; i < 1000 && !done(); ++i) {
            PumpMessages();
            Sleep(10);
        }
        return done();
    };
    auto connections = [&](int n) { return until([&] { return server.Connections() >= n; }); };
    ASSERT_TRUE(until([&] { return std::string(a->StatusText) == "1 / 1"; }));
    PostMessageA(Window->Handle, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    PumpMessages();
    EXPECT_FALSE(a->InGrace());
    PostMessageA(Window->Handle, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    PumpMessages();
    EXPECT_TRUE(a->InGrace());
    EXPECT_TRUE(connections(2));
    // What the system does when an address changes; the window asks for the next change.
    ASSERT_NE(Window->NetworkWatch.ChangeEvent(), nullptr);
    SetEvent(Window->NetworkWatch.ChangeEvent());
    EXPECT_TRUE(connections(3));
}

TEST_F(MainWindowTest, LinesScaleWithTheDpiOfTheMonitorAndNothingIsClipped) {
    // Run in a prefix of 96 DPI and again in one of 144 (VARNOCLE_TEST_DPI).
    const char* dpi = std::getenv("VARNOCLE_TEST_DPI");
    const unsigned expected = dpi ? static_cast<unsigned>(std::atoi(dpi)) : 96;
    ProfileWriteString("position", "x", "200", Window->IniPath.c_str());
    ProfileWriteString("position", "y", "100", Window->IniPath.c_str());
    ASSERT_TRUE(Window->CreateFloating());
    Window->ShowFloating(true);
    EXPECT_EQ(Window->Dpi, expected); // the manifest declares the program aware of DPI
    EXPECT_EQ(IconWidth(Window->Tray.IconData.hIcon), GetSystemMetrics(SM_CXSMICON));
    RECT r;
    GetWindowRect(Window->Handle, &r);
    // The position is kept in the pixels a program unaware of DPI sees.
    EXPECT_EQ(r.left, ScaleToDpi(200, expected));
    EXPECT_EQ(r.top, ScaleToDpi(100, expected));

    Add(0, 4);
    Add(0, 17);
    Add(0, 0)->Status = StatusLoginFailed;
    const std::vector<std::string> lines = {"0 / 4", "0 / 17", "Bad username/password"};
    Window->RefreshIndication();
    const Shown here = Look(*Window, lines);
    // Dragged onto a monitor of the other DPI.
    GetWindowRect(Window->Handle, &r);
    const unsigned other = expected == 96 ? 144 : 96;
    SendMessageA(Window->Handle, WM_DPICHANGED, MAKEWPARAM(other, other),
                 reinterpret_cast<LPARAM>(&r));
    const Shown there = Look(*Window, lines);
    const Shown& at96 = expected == 96 ? here : there;
    const Shown& at144 = expected == 96 ? there : here;

    EXPECT_NEAR(at144.LineHeight, 1.5 * at96.LineHeight, 1.0);
    EXPECT_GE(at144.InkHeight, 1.4 * at96.InkHeight); // the text is drawn larger
    for (const Shown& s : {at96, at144}) {
        EXPECT_EQ(s.Differing, 0);
        EXPECT_FALSE(s.InkAtEdge);
        EXPECT_EQ(s.TipsOff, 0);
    }
    Window->SaveAll();
    EXPECT_EQ(Ini("position", "x"), "200");
    EXPECT_EQ(Ini("position", "y"), "100");
}
