#include "app/main_window.h"

#include "app/app_seams.h"
#include "app/indication.h"
#include "config/profile.h"
#include "config/settings.h"
#include "resources/resource.h"
#include "toolkit/toolkit_seams.h"
#include "toolkit/win_support.h"
#include "toolkit/wm_handler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const Section = "position";

// The position is kept as programs unaware of DPI see the screen, as the versions before
// were: in pixels of 96 DPI, scaled by the system's DPI. A file keeps placing the window where
// it was, whichever version wrote it.
int StoredCoordinate(LONG onScreen) {
    return MulDiv(onScreen, DefaultDpi, static_cast<int>(SystemDpi()));
}
int ScreenCoordinate(int stored) {
    return MulDiv(stored, static_cast<int>(SystemDpi()), DefaultDpi);
}

} // namespace

CMainWindow::CMainWindow()
    : AccountList(TakePrivateMessage()), PopupMenu(), WindowIcon(IDI_MAIL), Tray(IDI_MAIL),
      UpdateMessage(TakePrivateMessage()) {
    BackgroundColourIndex = COLOR_WINDOW;
    MakeDataPath("ini", "varnocle", IniPath);
}

CMainWindow::~CMainWindow() {
    ReleaseAccounts(0);
    ReleaseUpdateCheck();
    // The members' own destructors then remove the tray icon and free the menu.
    // Nothing may reach this object once it is gone.
    if (Handle && IsWindow(Handle))
        SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
}

int CMainWindow::ReleaseAccounts(int waitMilliseconds) {
    return AccountList.ReleaseAtExit(waitMilliseconds);
}

int CMainWindow::ReleaseUpdateCheck() {
    if (!UpdateChecker)
        return 0;
    UpdateChecker->DetachSink();
    if (!UpdateChecker->IsRunning()) {
        UpdateChecker.reset();
        return 0;
    }
    // It holds nothing of this window's any more; waiting for it could take as long as a name
    // lookup or a connect.
    (void)UpdateChecker.release();
    return 1;
}

void CMainWindow::StartUpdateCheck() {
    UpdateChecker->Environment.AskYesNo = [this](const char* text, const char* caption) {
        return ToolkitMessageBox(Handle, text, caption, MB_YESNO) == IDYES ? 1 : 0;
    };
    UpdateChecker->Environment.OpenPage = [this](const char* page) { OpenProgram(CGText(page)); };
    UpdateChecker->AttachSink(&NotifySink, UpdateMessage);
    UpdateChecker->Start();
}

bool CMainWindow::Initialise() {
    if (!CreateFloating())
        return false;
    StartUpdateCheck();
    AccountList.Load(IniPath.c_str());
    RebuildAccountMenu();
    ShowWindow(Handle, SW_HIDE);
    UpdateWindow(Handle);
    ReadStyles();
    ShowFloating(ReadProfileBool(Section, "visible", 1, IniPath.c_str()) != 0);
    if (AccountList.Count() == 0) {
        RunAccountsDialog();
        // Closed during the dialog: the message loop saves and ends as after Exit.
        if (ClosePending())
            return true;
        if (AccountList.Count() == 0)
            return false;
        // The dialog may have added several: the menu lists them from the start.
        RebuildAccountMenu();
    }
    StartAccounts();
    return true;
}

bool CMainWindow::CreateFloating() {
    AddExtension(&MouseDrag);
    AddExtension(&PopupMenu);
    AddExtension(&WindowIcon);
    AddExtension(&Tray);
    SetSize(ScaleToDpi(100, SystemDpi()), ScaleToDpi(30, SystemDpi()));
    Style = WS_POPUP | WS_BORDER;
    ExStyle = WS_EX_TOOLWINDOW;
    if (!Create(nullptr, "varnocle", nullptr, CreateOwnClass | CreateDispatch | CreateOwnPainting,
                0))
        return false;
    NotifySink.Window = Handle;
    Dpi = WindowDpi(Handle);
    LineFont = FloatingFont(Dpi);
    ReadSavedPosition();
    SetWindowPos(Handle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    NetworkWatch.Start(Handle, NetworkMessage); // without it, no check when the network returns
    return true;
}

void CMainWindow::ReadSavedPosition() {
    RECT r;
    GetWindowRect(Handle, &r);
    char fallback[64];
    char value[64];
    std::snprintf(fallback, sizeof fallback, "%d", StoredCoordinate(r.left));
    ProfileReadString(Section, "x", fallback, value, sizeof value, IniPath.c_str());
    const int x = ScreenCoordinate(std::atoi(value));
    std::snprintf(fallback, sizeof fallback, "%d", StoredCoordinate(r.top));
    ProfileReadString(Section, "y", fallback, value, sizeof value, IniPath.c_str());
    const int y = ScreenCoordinate(std::atoi(value));
    // Used as saved, even off the screen: the tray menu can still hide and show it.
    MoveTo(x, y);
}

void CMainWindow::RebuildAccountMenu() {
    std::vector<std::string> names;
    for (CGAccount& a : AccountList)
        names.emplace_back(a.Name.GetOrEmpty());
    PopupMenu.RebuildAccountMenu(names);
}

void CMainWindow::StartAccounts() {
    for (CGAccount& a : AccountList)
        a.NotifySink = &NotifySink;
    NextToStart = 0;
    StartNextAccount();
    if (AccountList.Count() > 1)
        SetTimer(Handle, StartTimer, static_cast<UINT>(AccountList.StartSpacingMilliseconds),
                 nullptr);
}

void CMainWindow::StartNextAccount() {
    // Walked by position each time: the accounts dialog may change the list in between.
    CGAccount* a = AccountList.At(NextToStart);
    if (!a) {
        KillTimer(Handle, StartTimer);
        return;
    }
    a->Start(); // nothing happens to an account already running; it still takes its turn
    ++NextToStart;
}

void CMainWindow::OnTimer(UINT_PTR id) {
    if (id == StartTimer)
        StartNextAccount();
}

void CMainWindow::OnDpiChanged(unsigned dpi, const RECT& suggested) {
    Dpi = dpi;
    LineFont = FloatingFont(dpi);
    MoveTo(suggested.left, suggested.top);
    if (LineHeight == 0) { // no lines measured yet: the start-up size
        SetSize(ScaleToDpi(100, dpi), ScaleToDpi(30, dpi));
        return;
    }
    ShownLines.reset(); // the same lines, measured anew in the new font
    ShowStatusLines();
}

void CMainWindow::ShowFloating(bool show) {
    ShowWindow(Handle, show ? SW_SHOW : SW_HIDE);
    UpdateWindow(Handle);
    ReadStyles();
    PopupMenu.CheckItem(ID_SHOW_FLOATING, show);
}

int CMainWindow::OnMenuCommand(int id) {
    switch (id) {
    case ID_EXIT:
        SendMessageA(Handle, WM_CLOSE, 0, 0);
        return 1;
    case ID_MARK_AS_READ:
        AccountList.MarkAllRead();
        return 1;
    case ID_CHECK_NOW:
        AccountList.CheckNowAll();
        return 1;
    case ID_CONFIGURE:
        if (RunAccountsDialog() && !ClosePending())
            AfterAccountsDialog();
        return 1;
    case ID_SHOW_FLOATING: {
        ShowFloating(!IsWindowVisible(Handle));
        WriteProfileText(Section, "visible", IsWindowVisible(Handle) ? "true" : "false",
                         IniPath.c_str());
        return 1;
    }
    case ID_ABOUT:
        RunAboutDialog();
        return 1;
    default:
        break;
    }
    if (id < ID_FIRST_ACCOUNT || id > ID_LAST_ACCOUNT)
        return 0;
    if (CGAccount* account = AccountList.At(id - ID_FIRST_ACCOUNT))
        OpenProgram(account->DoubleClick);
    return 1;
}

namespace {

// Greys a menu item and marks its dialog open for as long as the dialog runs.
class CMenuDialogRun {
public:
    CMenuDialogRun(CGVRNMenu& menu, unsigned id, int& open) : Menu(menu), Id(id), Open(open) {
        Open = 1;
        Menu.EnableItem(Id, false);
    }
    ~CMenuDialogRun() {
        Open = 0;
        Menu.EnableItem(Id, true);
    }
    CMenuDialogRun(const CMenuDialogRun&) = delete;
    CMenuDialogRun& operator=(const CMenuDialogRun&) = delete;

private:
    CGVRNMenu& Menu;
    unsigned Id;
    int& Open;
};

} // namespace

bool CMainWindow::RunAccountsDialog() {
    // A second accounts dialog would hold accounts that the first one may remove.
    if (AccountsDialogOpen)
        return false;
    CMenuDialogRun run(PopupMenu, ID_CONFIGURE, AccountsDialogOpen);
    AppSeams.RunAccountsDialog(AccountList, this);
    return true;
}

bool CMainWindow::RunAboutDialog() {
    if (AboutOpen)
        return false;
    CMenuDialogRun run(PopupMenu, ID_ABOUT, AboutOpen);
    AppSeams.RunAboutDialog(this);
    return true;
}

void CMainWindow::AfterAccountsDialog() {
    StartAccounts();
    AccountList.CheckNowAll();
    RebuildAccountMenu();
    RefreshIndication();
}

void CMainWindow::OpenProgram(const CGText& program) {
    if (!program.IsEmpty())
        ToolkitSeams.ShellExecute(Handle, "open", program.Get(), nullptr, nullptr, SW_SHOW);
}

void CMainWindow::OpenMail() {
    bool served = false;
    for (CGAccount& a : AccountList) {
        if (a.UnreadCount() == 0)
            continue;
        served = true;
        OpenProgram(a.DoubleClick);
    }
    // The first half of a tray double click has already marked everything read: open the
    // programs of the accounts that click found unread, not merely the first account's.
    if (!served && !UnreadAtLastClick.empty() &&
        GetMessageTime() - static_cast<LONG>(LastClickTime) <=
            static_cast<LONG>(GetDoubleClickTime())) {
        for (CGAccount& a : AccountList) {
            if (std::find(UnreadAtLastClick.begin(), UnreadAtLastClick.end(), &a) !=
                UnreadAtLastClick.end()) {
                served = true;
                OpenProgram(a.DoubleClick);
            }
        }
    }
    UnreadAtLastClick.clear();
    if (!served && AccountList.Count() > 0)
        OpenProgram(AccountList.At(0)->DoubleClick);
    AccountList.MarkAllRead();
}

void CMainWindow::OnLButtonDblClk(WPARAM, int, int) {
    OpenMail();
}

void CMainWindow::OnClose() {
    if (ModalDepth() > 0) {
        // Destroyed now, the window would vanish under the loops and the code after them.
        // They end as cancelled instead, and the last one's return brings WM_CLOSE back.
        RequestCloseAfterModals(Handle);
        CancelThreadDialogs();
        return;
    }
    SaveAll();
    DestroyWindow(Handle);
}

void CMainWindow::StoreLearnedTrust() {
    for (CGAccount& a : AccountList)
        if (a.TakeTrustLearned())
            a.SaveTrust(IniPath.c_str());
}

void CMainWindow::SaveAll() {
    AccountList.Save(IniPath.c_str());
    RECT r;
    GetWindowRect(Handle, &r);
    char value[64];
    std::snprintf(value, sizeof value, "%d", StoredCoordinate(r.left));
    WriteProfileText(Section, "x", value, IniPath.c_str());
    std::snprintf(value, sizeof value, "%d", StoredCoordinate(r.top));
    WriteProfileText(Section, "y", value, IniPath.c_str());
}

int CMainWindow::OnTrayMouse(UINT mouse) {
    switch (mouse) {
    case WM_LBUTTONDOWN:
        UnreadAtLastClick.clear();
        for (CGAccount& a : AccountList)
            if (a.UnreadCount() != 0)
                UnreadAtLastClick.push_back(&a);
        LastClickTime = static_cast<DWORD>(GetMessageTime());
        AccountList.MarkAllRead();
        return 1;
    case WM_LBUTTONDBLCLK:
        OpenMail();
        return 1;
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU: {
        POINT p;
        GetCursorPos(&p);
        PopupMenu.ShowAt(p);
        return 1;
    }
    default:
        return 0;
    }
}

LRESULT CMainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == Tray.MessageId) {
        if (OnTrayMouse(static_cast<UINT>(lParam)))
            return 1;
    } else if (msg == AccountList.NotifyMessage) {
        StoreLearnedTrust();
        RefreshIndication();
    } else if (msg == UpdateMessage) {
        if (UpdateChecker)
            UpdateChecker->AnswerOffer();
    } else if (msg == NetworkMessage) {
        NetworkWatch.Rearm();
        AccountList.CheckAfterWake();
    } else if (msg == WM_DPICHANGED && lParam) {
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 1;
    } else if (msg == WM_POWERBROADCAST && wParam == PBT_APMRESUMEAUTOMATIC) {
        // A wait that began before the sleep does not count the time asleep.
        AccountList.CheckAfterWake();
    } else if (msg == WM_CLOSE) {
        // OnClose decides whether the window goes; default processing would destroy it
        // whatever OnClose decided.
        CGWindow::WindowProc(hwnd, msg, wParam, lParam);
        return 1;
    } else if (msg == WM_ENDSESSION) {
        // A cancelled log-off: the program goes on running.
        if (!wParam)
            return 0;
        // The session may end the process as soon as this returns, before open dialogs have
        // unwound: save now.
        if (ModalDepth() > 0)
            SaveAll();
    }
    return CGWindow::WindowProc(hwnd, msg, wParam, lParam);
}
