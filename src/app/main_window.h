#pragma once

#include "app/menu.h"
#include "app/network_watch.h"
#include "app/tray_icon.h"
#include "mail/account_list.h"
#include "toolkit/dpi.h"
#include "toolkit/handles.h"
#include "toolkit/window.h"
#include "toolkit/window_extensions.h"
#include "toolkit/wm_handler.h"
#include "update/checker_thread.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The floating window: one status line per account, always on top, draggable. It owns the
// tray icon, the popup menu, the accounts with the new-mail options and the update check,
// starts them in a fixed order and saves the settings when it closes.
class CMainWindow : public CGWindow {
public:
    // Takes the message numbers (account list, menu, tray, in that order) and computes the
    // settings path. Creates no window.
    CMainWindow();
    // Releases the accounts and the update check (without waiting for either), removes the
    // tray icon and frees the menu (members, in that order).
    ~CMainWindow() override;

    // The start-up sequence; false means the program must end.
    bool Initialise();
    // The floating window itself, placed and topmost, with its extensions attached.
    bool CreateFloating();

    int OnMenuCommand(int id) override;
    // Saves the options, the accounts and the position, then destroys the window. While a
    // modal loop runs (a dialog, a box, a chooser) the window must outlive it: the dialogs
    // then end as cancelled and the close runs once the outermost has returned.
    void OnClose() override;
    void SaveAll();
    // Writes at once what a check learned about an account's server (its certificate, its
    // STARTTLS), so that a crash or a killed process cannot make the next start trust afresh.
    void StoreLearnedTrust();
    // Tells every checking thread to quit (a blocked network step fails at once), takes their
    // sinks away and leaves the accounts to the process, so a thread still finishing never
    // meets a freed account or sink. Waits at most waitMilliseconds for the threads to end;
    // returns how many still run.
    int ReleaseAccounts(int waitMilliseconds);
    // The same for the update check, without any wait: a check still looking up or connecting
    // to the update host is left to the end of the process. 1 when it still runs.
    int ReleaseUpdateCheck();
    void OnLButtonDblClk(WPARAM keys, int x, int y) override;
    // Tray callbacks, account notifications, a resume from sleep and a network that came
    // back, then the toolkit's dispatch.
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnPaint(HDC dc) override;

    // Sound, menu state, tray image and tooltip, status lines and window size.
    void RefreshIndication();
    // Opens the mail programs of the accounts with unread mail (or the first account's)
    // and marks everything read.
    void OpenMail();
    void ShowFloating(bool show);
    void RebuildAccountMenu();
    // Starts the account threads in list order, one now and then one per timer tick of the
    // list's start spacing, so the window stays responsive while the first checks spread out.
    void StartAccounts();
    void OnTimer(UINT_PTR id) override;
    // The window moved to a monitor of another DPI (WM_DPICHANGED): font, margins and size
    // follow, at the place the system suggests.
    void OnDpiChanged(unsigned dpi, const RECT& suggested);

    // How the account threads reach this window: a post of the list's message. Declared
    // first so that it outlives the accounts, whose threads stop only when they are destroyed.
    CGPostMessageSink NotifySink;
    CAccountList AccountList;
    std::string IniPath;
    CGWEMouseDrag MouseDrag;
    CGVRNMenu PopupMenu;
    CGWEIcon WindowIcon;
    CGWETray Tray;
    int LineHeight = 0;
    // The DPI of the window's monitor and the lines' font for it (null: the default font).
    unsigned Dpi = DefaultDpi;
    CGFont LineFont;
    // Its question is asked on this window's thread, in a box this window owns (so above it);
    // the check only posts UpdateMessage. Null once released.
    std::unique_ptr<CCheckerThread> UpdateChecker = std::make_unique<CCheckerThread>();
    const unsigned UpdateMessage;
    // Posted when the computer's addresses change (a network came back): every account
    // checks. Taken after UpdateMessage.
    const UINT NetworkMessage = TakePrivateMessage();
    CNetworkWatch NetworkWatch;

private:
    static constexpr UINT_PTR StartTimer = 1;
    // Takes every account's new-mail flag; one sound when any was set.
    void PlayNewMailSound();
    // Status lines, window size and tray tooltip, then a repaint; each only when it changed.
    void ShowStatusLines();
    // What the window shows now: its lines (none before the first refresh) and its fill
    // (-1: none).
    std::optional<std::vector<std::string>> ShownLines;
    long long ShownFill = -1;
    // The tray icon's mouse message; 1 when handled.
    int OnTrayMouse(UINT mouse);
    void StartNextAccount();
    void StartUpdateCheck();
    // The menu's dialogs, each with its item greyed while it runs; false when it is already
    // open (the item greys late: a command can still arrive).
    bool RunAccountsDialog();
    bool RunAboutDialog();
    void AfterAccountsDialog();
    void OpenProgram(const CGText& program);
    void ReadSavedPosition();
    // Accounts that were unread when a tray click marked them read: a double click's
    // second half then still opens their programs.
    std::vector<const CGAccount*> UnreadAtLastClick;
    DWORD LastClickTime = 0;
    int NextToStart = 0; // position in the list of the next account to start
    int AccountsDialogOpen = 0;
    int AboutOpen = 0;
};
