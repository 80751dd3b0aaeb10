#pragma once

// The main window under test (Windows builds, under Wine and Xvfb): the fakes behind its seams
// and a fixture with a private data folder, so no test touches real settings or programs.

#include "app/app_seams.h"
#include "app/main_window.h"
#include "config/config_seams.h"
#include "config/profile.h"
#include "config/settings.h"
#include "resources/resource.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"
#include "support/ui_harness.h"
#include "toolkit/toolkit_seams.h"
#include "toolkit/win_support.h"
#include "toolkit/wm_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

struct SoundCall {
    std::string Name;
    DWORD Flags;
};
std::vector<SoundCall> Sounds;
std::vector<std::string> Opened;
// The notifications shown: their texts (UTF-16 as UTF-8) and flags.
struct NoticeCall {
    std::string Title, Text;
    DWORD Flags;
};
std::vector<NoticeCall> Notices;
// What the accounts dialog seam does when it runs, and what it saw meanwhile.
int AccountsToAdd = 0;
UINT ConfigureStateDuringDialog = 0;
UINT AboutStateDuringDialog = 0;
// A command the fake dialogs send to the window while they run, as the tray menu would, and
// how deep they nested.
int CommandDuringDialog = 0;
int DialogsOpen = 0;
int MostDialogsOpen = 0;

// The icon of every call the window made to the notification area (passed on to the real one).
std::vector<HICON> TrayCalls;

BOOL RecordTray(DWORD message, NOTIFYICONDATAA* data) {
    TrayCalls.push_back(data->hIcon);
    return Shell_NotifyIconA(message, data);
}

BOOL CountSound(const char* sound, HMODULE, DWORD flags) {
    Sounds.push_back({sound ? sound : "", flags});
    return TRUE;
}

std::string Narrow(const wchar_t* wide) {
    char text[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

BOOL RecordNotice(DWORD message, NOTIFYICONDATAW* data) {
    if (message == NIM_MODIFY && (data->uFlags & NIF_INFO))
        Notices.push_back({Narrow(data->szInfoTitle), Narrow(data->szInfo), data->dwInfoFlags});
    return TRUE;
}

HINSTANCE WINAPI RecordOpen(HWND, const char* verb, const char* file, const char*, const char*,
                            INT) {
    Opened.push_back(std::string(verb) + " " + file);
    return reinterpret_cast<HINSTANCE>(42);
}

void FakeDialogRuns(CGWinCore* owner) {
    MostDialogsOpen = std::max(MostDialogsOpen, ++DialogsOpen);
    if (CommandDuringDialog && DialogsOpen == 1)
        SendMessageA(owner->Handle, WM_COMMAND, static_cast<WPARAM>(CommandDuringDialog), 0);
    --DialogsOpen;
}

void FakeAbout(CGWinCore* owner) {
    auto* window = static_cast<CMainWindow*>(owner);
    AboutStateDuringDialog = GetMenuState(window->PopupMenu.Menu, ID_ABOUT, MF_BYCOMMAND);
    FakeDialogRuns(owner);
}

void FakeAccountsDialog(CAccountList& list, CGWinCore* owner) {
    auto* window = static_cast<CMainWindow*>(owner);
    ConfigureStateDuringDialog = GetMenuState(window->PopupMenu.Menu, ID_CONFIGURE, MF_BYCOMMAND);
    FakeDialogRuns(owner);
    // Accounts that never check: these tests look at the window, not at the mail.
    for (int i = 0; i < AccountsToAdd; ++i)
        list.AddAccount()->AutoStart = 0;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config->DataFolder = Dir.Path();
        NextPrivateMessage = WM_APP;
        Sounds.clear();
        Opened.clear();
        Notices.clear();
        AccountsToAdd = 0;
        CommandDuringDialog = 0;
        MostDialogsOpen = 0;
        App->PlaySound = CountSound;
        App->NotifyIconWide = RecordNotice;
        App->NotifyIcon = RecordTray;
        TrayCalls.clear();
        Toolkit->ShellExecute = RecordOpen;
        App->RunAccountsDialog = FakeAccountsDialog;
        App->RunAboutDialog = FakeAbout;
        Window = std::make_unique<CMainWindow>();
        Window->UpdateChecker->AutoStart = 0; // no network in these tests
        Window->AccountList.StartSpacingMilliseconds = 0;
    }
    void TearDown() override {
        if (Window->Handle && IsWindow(Window->Handle))
            DestroyWindow(Window->Handle);
        PumpMessages();
        Window.reset();
        ClearPendingClose();
    }

    // A UIDL listing of the messages from..to, as the server sends it.
    static std::string Body(int from, int to) {
        std::string body;
        for (int i = from; i <= to; ++i)
            body += std::to_string(i) + " m" + std::to_string(i) + "\r\n";
        return body + ".\r\n";
    }
    // An account that reports without a thread: messages on the server of which the last
    // `unread` were never marked read. Its notifications come to the window.
    CGAccount* Add(int unread, int messages, bool newMail = false, const char* program = "") {
        CGAccount* a = Window->AccountList.AddAccount();
        if (messages > unread) {
            a->Session.ApplyListing(Body(1, messages - unread).c_str());
            a->Session.MarkAllSeen();
        }
        a->Session.ApplyListing(Body(1, messages).c_str());
        if (!newMail)
            a->TakeNewMail();
        a->DoubleClick.Assign(program);
        a->NotifySink = &Window->NotifySink;
        return a;
    }
    // An account that checks a plain POP3 server on the loopback port.
    CGAccount* AddPlainAccount(std::uint16_t port) {
        CGServerSettings settings;
        settings.Server.Assign("127.0.0.1");
        settings.Port = port;
        settings.UseSSL = 0;
        CGAccount* a = Window->AccountList.AddAccount();
        a->ApplySettings(settings);
        return a;
    }
    SIZE Extent(const char* text) {
        SIZE s = {};
        HDC dc = GetDC(Window->Handle);
        GetTextExtentPoint32A(dc, text, lstrlenA(text), &s);
        ReleaseDC(Window->Handle, dc);
        return s;
    }
    bool Greyed(unsigned id) {
        return GetMenuState(Window->PopupMenu.Menu, id, MF_BYCOMMAND) & MF_GRAYED;
    }
    std::string Ini(const char* section, const char* key) {
        char value[256];
        ProfileReadString(section, key, "(none)", value, sizeof value, Window->IniPath.c_str());
        return value;
    }

    TempDir Dir;
    ScopedSeams<CConfigSeams> Config{ConfigSeams};
    ScopedSeams<CAppSeams> App{AppSeams};
    ScopedSeams<CGToolkitSeams> Toolkit{ToolkitSeams};
    BoxRecorder Boxes;
    std::unique_ptr<CMainWindow> Window;
};

} // namespace
