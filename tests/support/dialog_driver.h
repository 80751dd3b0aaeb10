#pragma once

// Drives modal dialogs from inside their own message loop (Windows builds, under Wine and
// Xvfb). A thread timer runs queued steps one per tick on the user-interface thread; the
// dialog manager's loop dispatches the timer, so steps keep running inside nested modal
// dialogs too. A step returns false to be tried again at the next tick (for example while
// it waits for a dialog to appear).

#include "support/scoped_seams.h"
#include "toolkit/toolkit_seams.h"

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class DialogDriver {
public:
    using Step = std::function<bool(HWND top)>;

    DialogDriver() {
        Current() = this;
        Timer = SetTimer(nullptr, 0, 15, &Tick);
        Started = std::chrono::steady_clock::now();
    }
    ~DialogDriver() {
        KillTimer(nullptr, Timer);
        Current() = nullptr;
    }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    DialogDriver& Then(Step step) {
        Steps.push_back(std::move(step));
        return *this;
    }
    // Convenience: a step that always succeeds.
    DialogDriver& Do(std::function<void(HWND top)> action) {
        return Then([action](HWND top) {
            action(top);
            return true;
        });
    }
    // Waits until the top dialog has the given title.
    DialogDriver& WaitFor(const std::string& title) {
        return Then([title](HWND top) { return top && TitleOf(top) == title; });
    }

    bool Finished() const { return Steps.empty() && !TimedOut; }
    bool TimedOut = false;
    int SecondsAllowed = 30;

    // The innermost open dialog of this thread: a visible, enabled "#32770" window.
    static HWND TopDialog() {
        HWND found = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), &Visit, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static std::string TitleOf(HWND hwnd) {
        char text[256] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        return text;
    }
    static std::string ItemText(HWND dialog, int id) {
        char text[1024] = {};
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    static bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)); }
    static bool Checked(HWND dialog, int id) {
        return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    // A click as the user makes it; posted, so a dialog it opens runs in the driver's ticks.
    static void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    // Typing into a field: the text is replaced and the field notifies its dialog.
    static void Type(HWND dialog, int id, const char* text) { SetDlgItemTextA(dialog, id, text); }
    // A key pressed in the focused control, through the dialog manager's keyboard handling.
    static void Press(HWND dialog, WPARAM key) {
        HWND target = GetFocus();
        if (!target || !IsChild(dialog, target))
            target = dialog;
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    }

private:
    static DialogDriver*& Current() {
        static DialogDriver* current = nullptr;
        return current;
    }
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
        char cls[16] = {};
        GetClassNameA(hwnd, cls, sizeof cls);
        if (std::string(cls) == "#32770" && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd))
            *reinterpret_cast<HWND*>(param) = hwnd;
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogDriver* self = Current();
        if (!self)
            return;
        if (self->Steps.empty()) {
            return;
        }
        auto waited = std::chrono::steady_clock::now() - self->Started;
        if (waited > std::chrono::seconds(self->SecondsAllowed)) {
            // Give up: close whatever is open so the test fails instead of hanging.
            self->TimedOut = true;
            if (HWND top = TopDialog())
                PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (self->Running)
            return; // a step that runs a nested loop of its own without posting
        Step step = self->Steps.front();
        self->Running = true;
        bool done = step(TopDialog());
        self->Running = false;
        if (done && !self->Steps.empty())
            self->Steps.pop_front();
    }

    std::deque<Step> Steps;
    UINT_PTR Timer = 0;
    bool Running = false;
    std::chrono::steady_clock::time_point Started;
};

// Answers the toolkit's message boxes from a script and records them. Without a scripted
// answer a box gets IDOK, or IDNO when it asks Yes/No.
struct ShownBox {
    std::string Text;
    std::string Caption;
    unsigned Type;
    HWND Owner;
};

class ScriptedBoxes {
public:
    ScriptedBoxes() {
        Self() = this;
        Seams->ShowMessageBox = &Answer;
    }
    ~ScriptedBoxes() { Self() = nullptr; }
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    std::vector<ShownBox> Shown;
    std::deque<int> Answers;

private:
    ScopedSeams<CGToolkitSeams> Seams{ToolkitSeams};

    static ScriptedBoxes*& Self() {
        static ScriptedBoxes* self = nullptr;
        return self;
    }
    static int Answer(HWND owner, const char* text, const char* caption, unsigned type) {
        ScriptedBoxes* self = Self();
        self->Shown.push_back({text ? text : "", caption ? caption : "", type, owner});
        if (!self->Answers.empty()) {
            int answer = self->Answers.front();
            self->Answers.pop_front();
            return answer;
        }
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
};
