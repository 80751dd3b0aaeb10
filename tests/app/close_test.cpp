#include "app/main_window_fixture.h"
#include "dialogs/dlg_accounts.h"
#include "resources/dialog_ids.h"
#include "support/dialog_driver.h"
#include "support/tcp_peer.h"
#include "update/version_file.h"

#include <atomic>
#include <chrono>

namespace {

// Exit, log-off and the menu's dialogs: what the window saves, what it leaves running and
// which windows it keeps until the dialogs have returned.
class MainWindowClose : public MainWindowTest {};

} // namespace

TEST_F(MainWindowClose, ExitAndLogOffBothSaveThePositionAndEndTheLoop) {
    for (UINT how : {UINT(WM_COMMAND), UINT(WM_ENDSESSION)}) {
        SCOPED_TRACE(how);
        Window = std::make_unique<CMainWindow>();
        Window->UpdateChecker->AutoStart = 0;
        DeleteFileA(Window->IniPath.c_str());
        ASSERT_TRUE(Window->CreateFloating());
        Window->MoveTo(123, 45);
        // A cancelled log-off leaves the program running.
        SendMessageA(Window->Handle, WM_ENDSESSION, FALSE, 0);
        ASSERT_TRUE(IsWindow(Window->Handle));
        if (how == WM_COMMAND)
            SendMessageA(Window->Handle, WM_COMMAND, ID_EXIT, 0);
        else
            SendMessageA(Window->Handle, WM_ENDSESSION, TRUE, 0);
        EXPECT_FALSE(IsWindow(Window->Handle));
        EXPECT_TRUE(PumpMessages());
        EXPECT_EQ(Ini("position", "x"), "123");
        EXPECT_EQ(Ini("position", "y"), "45");
    }
}

TEST_F(MainWindowClose, FirstStartWithoutAccountsEndsUnlessTheDialogAddsOne) {
    EXPECT_FALSE(Window->Initialise());
    EXPECT_FALSE(FileExists(Window->IniPath)); // nothing saved
    // The window was shown centred at 100 x 30 over which the dialog opened.
    EXPECT_EQ(Window->Width(), 100);
    DestroyWindow(Window->Handle);
    PumpMessages();

    Window = std::make_unique<CMainWindow>();
    Window->UpdateChecker->AutoStart = 0;
    ProfileWriteString("position", "visible", "false", Window->IniPath.c_str());
    AccountsToAdd = 2;
    CommandDuringDialog = ID_CONFIGURE; // the tray menu is there during the first start too
    ASSERT_TRUE(Window->Initialise());
    EXPECT_TRUE(ConfigureStateDuringDialog & MF_GRAYED);
    EXPECT_EQ(MostDialogsOpen, 1);
    EXPECT_FALSE(Greyed(ID_CONFIGURE));
    EXPECT_FALSE(IsWindowVisible(Window->Handle));
    EXPECT_FALSE(GetMenuState(Window->PopupMenu.Menu, ID_SHOW_FLOATING, MF_BYCOMMAND) & MF_CHECKED);
    HMENU accounts = GetSubMenu(GetSubMenu(Window->PopupMenu.Menu, 0), 2);
    EXPECT_EQ(GetMenuItemCount(accounts), 2);
    EXPECT_EQ(GetMenuItemID(accounts, 1), UINT(ID_FIRST_ACCOUNT + 1));
}

TEST_F(MainWindowClose, ConfigureGreysItsItemWhileTheDialogRunsThenRebuildsTheMenu) {
    ASSERT_TRUE(Window->CreateFloating());
    AccountsToAdd = 3;
    EXPECT_EQ(Window->OnMenuCommand(ID_CONFIGURE), 1);
    EXPECT_TRUE(ConfigureStateDuringDialog & MF_GRAYED);
    EXPECT_FALSE(Greyed(ID_CONFIGURE));
    HMENU accounts = GetSubMenu(GetSubMenu(Window->PopupMenu.Menu, 0), 2);
    EXPECT_EQ(GetMenuItemCount(accounts), 3);
    EXPECT_EQ(Window->Height(), 3 * Window->LineHeight + 10); // refreshed at once
}

TEST_F(MainWindowClose, ConfigureAndAboutNeverOpenASecondDialogOverTheirOwn) {
    ASSERT_TRUE(Window->CreateFloating());
    for (int id : {ID_CONFIGURE, ID_ABOUT}) {
        SCOPED_TRACE(id);
        MostDialogsOpen = 0;
        CommandDuringDialog = id; // chosen again from the tray menu while its dialog runs
        EXPECT_EQ(Window->OnMenuCommand(id), 1);
        EXPECT_EQ(MostDialogsOpen, 1);
        EXPECT_TRUE((id == ID_ABOUT ? AboutStateDuringDialog : ConfigureStateDuringDialog) &
                    MF_GRAYED);
        EXPECT_FALSE(Greyed(id));
    }
}

TEST_F(MainWindowClose, ClosingWhileACheckHangsOnTheServerSavesAndReturns) {
    // A server that takes the connection and never says a word.
    std::uint16_t port = 0;
    CGSocketHandle silent = ListenLoopback(0, port);
    ASSERT_NE(silent, InvalidSocket);
    ASSERT_TRUE(Window->CreateFloating());
    CGAccount* a = AddPlainAccount(port);
    Window->AccountList.StartAll(&Window->NotifySink);
    while (a->Status != StatusChecking)
        Sleep(10);
    Sleep(200); // into the wait for the greeting

    Window->MoveTo(77, 88);
    SendMessageA(Window->Handle, WM_COMMAND, ID_EXIT, 0);
    EXPECT_FALSE(IsWindow(Window->Handle));
    const auto start = std::chrono::steady_clock::now();
    Window.reset(); // returns at once although the check is still waiting for the server
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(a->QuitRequested, 1); // its wait for the greeting fails now, not at the time-out
    EXPECT_EQ(a->NotifySink.load(), nullptr);
    Window = std::make_unique<CMainWindow>();
    EXPECT_EQ(Ini("position", "x"), "77");
    EXPECT_EQ(Ini("main", "accounts"), "127.0.0.1");
    EXPECT_EQ(Ini("127.0.0.1", "port"), std::to_string(port));
    CloseHandleOf(silent);
}

namespace {

int OwnVersion112(int& key) {
    key = VersionKey(1, 1, 2, 0);
    return 1;
}

} // namespace

// The update check's question is the window's own box, above it and asked on its thread, and
// Exit ends it like any other box.
TEST_F(MainWindowClose, TheUpdateQuestionIsTheWindowsOwnAndExitEndsItAsCancelled) {
    ScopedSeams toolkit(ToolkitSeams);
    toolkit->ShowMessageBox = DefaultToolkitSeams().ShowMessageBox; // the system's box
    AccountsToAdd = 1;
    for (bool exit : {false, true}) {
        SCOPED_TRACE(exit ? "Exit while asked" : "yes");
        ClearPendingClose();
        Opened.clear();
        Window = std::make_unique<CMainWindow>();
        CGUpdateEnvironment& e = Window->UpdateChecker->Environment;
        e.DownloadPage = "https://example.invalid/get";
        e.LocalVersion = OwnVersion112;
        e.Fetch = [](const std::string&, std::string& body) {
            body = "1,1,3";
            return 1;
        };
        HWND owner = nullptr;
        bool topmost = false;
        std::string text;
        DialogDriver driver;
        driver.WaitFor("varnocle").Do([&](HWND box) {
            owner = GetWindow(box, GW_OWNER);
            topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            text = DialogDriver::ItemText(box, 0xFFFF);
            if (exit)
                SendMessageA(Window->Handle, WM_COMMAND, ID_EXIT, 0);
            else
                DialogDriver::Click(box, IDYES);
        });
        ASSERT_TRUE(Window->Initialise());
        while (!driver.Finished() && !driver.TimedOut) {
            PumpMessages();
            Sleep(10);
        }
        PumpMessages();
        EXPECT_EQ(owner, Window->Handle);
        EXPECT_TRUE(topmost);
        EXPECT_EQ(text, "New version 1.1r3 is available, Get it?");
        EXPECT_EQ(IsWindow(Window->Handle), exit ? FALSE : TRUE);
        EXPECT_EQ(Opened, exit ? std::vector<std::string>{}
                               : std::vector<std::string>{"open https://example.invalid/get"});
    }
}

TEST_F(MainWindowClose, ExitNeverWaitsForAnUpdateCheckStillOnItsWay) {
    static std::atomic<int> answer{0}, ended{0}; // the check outlives the test's frame
    CGUpdateEnvironment& e = Window->UpdateChecker->Environment;
    e.LocalVersion = OwnVersion112;
    e.Fetch = [](const std::string&, std::string& body) {
        // As long as a name lookup or a connect may take; bounded, so that waiting for it ends
        // the check instead of hanging the test.
        for (int i = 0; i < 500 && !answer; ++i)
            Sleep(10);
        body = "9,9,9";
        ended = 1;
        return 1;
    };
    Window->UpdateChecker->AutoStart = 1;
    AccountsToAdd = 1;
    ASSERT_TRUE(Window->Initialise());
    SendMessageA(Window->Handle, WM_COMMAND, ID_EXIT, 0);
    EXPECT_FALSE(IsWindow(Window->Handle));
    std::unique_ptr<CMainWindow> closed = std::move(Window);
    Window = std::make_unique<CMainWindow>();
    Window->UpdateChecker->AutoStart = 0;
    EXPECT_EQ(closed->ReleaseUpdateCheck(), 1); // still running: Winsock must stay
    closed.reset();
    EXPECT_EQ(ended, 0); // nothing waited for the check
    answer = 1;          // it ends into nothing: its sink is gone
}

namespace {

// A receiver that takes its time over each notification, as a busy one would.
class SlowSink : public CGNotifySink {
public:
    ~SlowSink() override { CloseHandle(Entered); }
    void Notify(unsigned) override {
        Inside = 1;
        SetEvent(Entered);
        Sleep(300);
        Inside = 0;
        ++Calls;
    }
    HANDLE Entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> Inside{0};
    std::atomic<int> Calls{0};
};

} // namespace

TEST_F(MainWindowClose, ExitTakesTheSinksAwayWithNoThreadInsideOneOrEnteringItLater) {
    // Nothing listens on the port: every check fails at once and notifies.
    std::uint16_t port = 0;
    CGSocketHandle closed = ListenLoopback(0, port);
    ASSERT_NE(closed, InvalidSocket);
    CloseHandleOf(closed);
    SlowSink sink;
    CGAccount* a = AddPlainAccount(port);
    a->TickMilliseconds = 1;
    a->NotifySink = &sink;
    a->Start();
    ASSERT_EQ(WaitForSingleObject(sink.Entered, 10000), WAIT_OBJECT_0);
    Window->ReleaseAccounts(0);
    EXPECT_EQ(sink.Inside, 0); // the notification in progress had ended
    const int calls = sink.Calls;
    Sleep(100);
    EXPECT_EQ(sink.Calls, calls); // and none came after
}

// Exit, a close and a log-off while dialogs run, the innermost a real box or the details
// dialog: each dialog ends as cancelled, the window outlives them all, and then the close
// saves and ends the loop as Exit from the menu does.
TEST_F(MainWindowClose, ClosingWhileDialogsRunEndsThemAsCancelledThenClosesAsExitDoes) {
    struct Case {
        const char* Name;
        bool FirstStart;
        int Button; // what opens the inner dialog in the accounts dialog; 0: none
        UINT Message;
        WPARAM Parameter;
    };
    const Case cases[] = {
        {"Exit in the details dialog", false, IDC_ADD, WM_COMMAND, ID_EXIT},
        {"log-off in the remove box", false, IDC_REMOVE, WM_ENDSESSION, TRUE},
        {"close in the first-start dialog", true, 0, WM_CLOSE, 0},
    };
    App->RunAccountsDialog = RunAccountsDialog;
    ScopedSeams toolkit(ToolkitSeams);
    toolkit->ShowMessageBox = DefaultToolkitSeams().ShowMessageBox; // the remove box: the system's
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ClearPendingClose();
        Window = std::make_unique<CMainWindow>();
        Window->UpdateChecker->AutoStart = 0;
        DeleteFileA(Window->IniPath.c_str());
        if (!c.FirstStart) {
            ASSERT_TRUE(Window->CreateFloating());
            Add(0, 0)->AutoStart = 0;
        }
        DialogDriver driver;
        bool alive = false;
        std::string savedAtOnce;
        driver.WaitFor("Edit Account Details").Do([&](HWND top) {
            SendDlgItemMessageA(top, IDC_ACCOUNT_LIST, LB_SETCURSEL, 0, 0);
            SendMessageA(top, WM_COMMAND, MAKEWPARAM(IDC_ACCOUNT_LIST, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(top, IDC_ACCOUNT_LIST)));
            if (c.Button)
                DialogDriver::Click(top, c.Button);
        });
        if (c.Button)
            driver.WaitFor("Varnocle");
        driver.Do([&](HWND) {
            Window->MoveTo(66, 77);
            SendMessageA(Window->Handle, c.Message, c.Parameter, 0);
            alive = IsWindow(Window->Handle);
            savedAtOnce = Ini("position", "x");
        });
        if (c.FirstStart)
            EXPECT_TRUE(Window->Initialise());
        else
            EXPECT_EQ(Window->OnMenuCommand(ID_CONFIGURE), 1);
        EXPECT_TRUE(driver.Finished());
        EXPECT_TRUE(alive);
        if (c.Message == WM_ENDSESSION) {
            EXPECT_EQ(savedAtOnce, "66");
        }
        EXPECT_EQ(DialogDriver::TopDialog(), nullptr);
        EXPECT_TRUE(IsWindow(Window->Handle)); // the close comes once the dialog has returned
        EXPECT_TRUE(PumpMessages());
        EXPECT_FALSE(IsWindow(Window->Handle));
        EXPECT_EQ(Ini("position", "x"), "66");
        EXPECT_EQ(Window->AccountList.Count(), c.FirstStart ? 0 : 1); // nothing added or removed
    }
}
