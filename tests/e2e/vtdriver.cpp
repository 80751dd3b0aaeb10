// Drives the running program from outside, as a user's desktop would: finds the floating
// window (class "varnocle"), sends it messages, and reads what the screen shows. Prints one
// line of key=value pairs; exits 0 on success, 1 when a wait or a check failed, 2 on misuse.
//
//   vtdriver launch EXE [FOLDER]     start EXE in FOLDER (default: its own); wait for its
//                                    window and its first resize
//   vtdriver state                   window position, size, visibility and fill colour
//   vtdriver wait [lines=N] [fill=RRGGBB] [nofill=RRGGBB] [gone] [timeout=S]
//   vtdriver post MSG WPARAM LPARAM  PostMessage to the window (numbers: decimal or 0x..)
//   vtdriver lines TEXT...           compare the window's pixels with TEXT drawn as lines
//   vtdriver tray                    where the notification-area window is
//   vtdriver tray-colour RRGGBB      how many pixels of the notification area have that colour
//   vtdriver wait-exit PID [timeout=S]
//   vtdriver dialog TITLE click ID   click a button of the window titled TITLE
//   vtdriver dialog TITLE select ID INDEX   select a line of its list box, as a user would
//   vtdriver dialog TITLE rect       where the dialog is on the screen
//   vtdriver dialog TITLE type ID TEXT      replace the text of its edit field, as typing does
//   vtdriver balloon [timeout=S]     where the notification balloon is, its title and text
//   vtdriver dialog TITLE choose ID INDEX   choose an entry of its combo box, as a user would
//   vtdriver dialog TITLE text ID           the text of an item (text=... to the line's end)
//   vtdriver                         stands in for a mail program: leaves "<its path>.opened"
#include "balloon_reader.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND FindProgramWindow() {
    return FindWindowA("varnocle", nullptr);
}

unsigned ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// The window's client area on the screen.
RECT ClientOnScreen(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    OffsetRect(&r, origin.x, origin.y);
    return r;
}

// Height of one line of text in the system font, as the window measures it.
int TextHeight() {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, GetStockObject(SYSTEM_FONT));
    SIZE size = {};
    GetTextExtentPoint32A(screen, "0 / 0", 5, &size);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return size.cy;
}

struct State {
    bool Found = false;
    bool Visible = false;
    RECT Window = {};
    unsigned Fill = 0;
};

State ReadState() {
    State s;
    HWND hwnd = FindProgramWindow();
    if (!hwnd)
        return s;
    s.Found = true;
    s.Visible = IsWindowVisible(hwnd);
    GetWindowRect(hwnd, &s.Window);
    RECT client = ClientOnScreen(hwnd);
    s.Fill = ScreenPixel(client.left + 2, client.top + 2);
    return s;
}

void PrintState(const State& s) {
    if (!s.Found) {
        std::printf("found=0\n");
        return;
    }
    std::printf("found=1 visible=%d left=%ld top=%ld width=%ld height=%ld fill=%06X "
                "lineheight=%d\n",
                s.Visible, s.Window.left, s.Window.top, s.Window.right - s.Window.left,
                s.Window.bottom - s.Window.top, s.Fill, TextHeight());
}

long Number(const char* text) {
    return std::strtol(text, nullptr, 0);
}

int Launch(const char* exe, const char* startIn) {
    std::string folder(exe);
    size_t cut = folder.find_last_of("\\/");
    folder = startIn ? startIn : cut == std::string::npos ? "." : folder.substr(0, cut);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    auto elapsed = [&] {
        QueryPerformanceCounter(&now);
        return static_cast<long>((now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
    };
    std::string command = std::string("\"") + exe + "\"";
    if (!CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &si, &pi)) {
        std::printf("launched=0 error=%lu\n", GetLastError());
        return 1;
    }
    long windowMs = -1, refreshMs = -1;
    while (elapsed() < 30000) {
        HWND hwnd = FindProgramWindow();
        if (hwnd && windowMs < 0)
            windowMs = elapsed();
        if (hwnd && IsWindowVisible(hwnd)) {
            RECT r;
            GetWindowRect(hwnd, &r);
            // Until the first status refresh the window keeps its start-up size, 100 x 30.
            if (r.right - r.left != 100 || r.bottom - r.top != 30) {
                refreshMs = elapsed();
                break;
            }
        }
        if (WaitForSingleObject(pi.hProcess, 5) == WAIT_OBJECT_0)
            break;
    }
    std::printf("launched=1 pid=%lu window_ms=%ld first_refresh_ms=%ld\n", pi.dwProcessId, windowMs,
                refreshMs);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return refreshMs >= 0 ? 0 : 1;
}

int Wait(int argc, char** argv) {
    int lines = -1;
    long fill = -1, nofill = -1;
    bool gone = false;
    double timeout = 20;
    for (int i = 0; i < argc; ++i) {
        if (!std::strncmp(argv[i], "lines=", 6))
            lines = std::atoi(argv[i] + 6);
        else if (!std::strncmp(argv[i], "fill=", 5))
            fill = std::strtol(argv[i] + 5, nullptr, 16);
        else if (!std::strncmp(argv[i], "nofill=", 7))
            nofill = std::strtol(argv[i] + 7, nullptr, 16);
        else if (!std::strcmp(argv[i], "gone"))
            gone = true;
        else if (!std::strncmp(argv[i], "timeout=", 8))
            timeout = std::atof(argv[i] + 8);
    }
    const int height = lines >= 0 ? lines * TextHeight() + 10 : -1;
    const DWORD end = GetTickCount() + static_cast<DWORD>(timeout * 1000);
    State s;
    for (;;) {
        s = ReadState();
        bool ok = gone ? !s.Found : s.Found;
        if (ok && !gone) {
            if (height >= 0 && s.Window.bottom - s.Window.top != height)
                ok = false;
            if (fill >= 0 && s.Fill != static_cast<unsigned>(fill))
                ok = false;
            if (nofill >= 0 && s.Fill == static_cast<unsigned>(nofill))
                ok = false;
        }
        if (ok) {
            std::printf("ok=1 ");
            PrintState(s);
            return 0;
        }
        if (static_cast<LONG>(GetTickCount() - end) > 0)
            break;
        Sleep(20);
    }
    std::printf("ok=0 ");
    PrintState(s);
    return 1;
}

// Draws the expected lines the way the floating window shows them (centred, one per line,
// 10 pixels in from the sides and 5 from the top, system font, black text on the fill)
// and counts the pixels of the client area that differ from the screen.
int CompareLines(int argc, char** argv) {
    HWND hwnd = FindProgramWindow();
    if (!hwnd) {
        std::printf("found=0\n");
        return 1;
    }
    RECT client = ClientOnScreen(hwnd);
    const int w = client.right - client.left, h = client.bottom - client.top;
    HDC screen = GetDC(nullptr);
    HDC shot = CreateCompatibleDC(screen), drawn = CreateCompatibleDC(screen);
    HBITMAP shotBits = CreateCompatibleBitmap(screen, w, h);
    HBITMAP drawnBits = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ oldShot = SelectObject(shot, shotBits), oldDrawn = SelectObject(drawn, drawnBits);
    BitBlt(shot, 0, 0, w, h, screen, client.left, client.top, SRCCOPY);
    COLORREF fill = GetPixel(shot, 2, 2);
    HBRUSH brush = CreateSolidBrush(fill);
    RECT all = {0, 0, w, h};
    FillRect(drawn, &all, brush);
    DeleteObject(brush);
    SelectObject(drawn, GetStockObject(SYSTEM_FONT));
    SetBkColor(drawn, fill);
    SetTextColor(drawn, RGB(0, 0, 0));
    RECT r = {10, 5, w - 10, h - 5};
    const int lineHeight = TextHeight();
    for (int i = 0; i < argc; ++i) {
        DrawTextA(drawn, argv[i], -1, &r, DT_SINGLELINE | DT_CENTER | DT_NOCLIP);
        r.top += lineHeight;
    }
    int differ = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (GetPixel(shot, x, y) != GetPixel(drawn, x, y))
                ++differ;
    SelectObject(shot, oldShot);
    SelectObject(drawn, oldDrawn);
    DeleteObject(shotBits);
    DeleteObject(drawnBits);
    DeleteDC(shot);
    DeleteDC(drawn);
    ReleaseDC(nullptr, screen);
    std::printf("differing_pixels=%d of %d\n", differ, w * h);
    return differ == 0 ? 0 : 1;
}

HWND TrayWindow = nullptr;

BOOL CALLBACK ListWindow(HWND hwnd, LPARAM found) {
    char cls[128] = {}, title[128] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, title, sizeof title);
    if (IsWindowVisible(hwnd) && (std::strstr(title, "Tray") || std::strstr(cls, "Tray"))) {
        RECT r;
        GetWindowRect(hwnd, &r);
        std::printf("tray=1 class=\"%s\" title=\"%s\" left=%ld top=%ld width=%ld height=%ld\n", cls,
                    title, r.left, r.top, r.right - r.left, r.bottom - r.top);
        *reinterpret_cast<bool*>(found) = true;
        TrayWindow = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Pixels of the screen rectangle that have exactly the colour 0xRRGGBB, read in one copy.
int CountColour(const RECT& area, unsigned colour) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0)
        return 0;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(copy, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    int count = 0;
    for (int i = 0; i < w * h; ++i)
        if ((static_cast<unsigned*>(bits)[i] & 0xFFFFFF) == colour)
            ++count;
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return count;
}

int WaitExit(DWORD pid, double timeout) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!process) {
        std::printf("exited=1 ms=0\n");
        return 0;
    }
    DWORD start = GetTickCount();
    DWORD r = WaitForSingleObject(process, static_cast<DWORD>(timeout * 1000));
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    std::printf("exited=%d ms=%lu code=%lu\n", r == WAIT_OBJECT_0, GetTickCount() - start, code);
    return r == WAIT_OBJECT_0 ? 0 : 1;
}

// The item of the dialog titled title, waited for up to twenty seconds: a dialog opens after
// a posted command has been handled, and a program started while Wine brings its desktop
// back takes seconds before its first window. The dialog must be visible: a modal dialog
// shows itself only once its items exist and hold their first values. Only dialogs: titles
// are compared without case, and the floating window's "varnocle" would match the details
// dialog's "Varnocle". Without wantItem, the dialog itself.
HWND FindItem(const char* title, int id, bool wantItem) {
    for (int i = 0; i < 1000; ++i) {
        HWND dialog = FindWindowA("#32770", title);
        if (dialog && IsWindowVisible(dialog)) {
            if (!wantItem)
                return dialog;
            if (HWND item = GetDlgItem(dialog, id))
                return item;
        }
        Sleep(20);
    }
    return nullptr;
}

int Dialog(int argc, char** argv) {
    const std::string action = argc >= 2 ? argv[1] : "";
    if (action == "rect") {
        HWND dialog = FindItem(argv[0], 0, false);
        RECT r;
        if (!dialog || !GetWindowRect(dialog, &r)) {
            std::printf("found=0\n");
            return 1;
        }
        std::printf("found=1 left=%ld top=%ld width=%ld height=%ld\n", r.left, r.top,
                    r.right - r.left, r.bottom - r.top);
        return 0;
    }
    HWND item = argc >= 3 ? FindItem(argv[0], static_cast<int>(Number(argv[2])), true) : nullptr;
    HWND dialog = item ? GetParent(item) : nullptr;
    if (!item) {
        std::printf("found=0\n");
        return 1;
    }
    if (action == "click") {
        // Posted: the click may open a modal window that would block a sent message.
        PostMessageA(item, BM_CLICK, 0, 0);
    } else if (action == "select" && argc >= 4) {
        SendMessageA(item, LB_SETCURSEL, static_cast<WPARAM>(Number(argv[3])), 0);
        // Selecting by message does not notify; a user's click does.
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(item), LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(item));
    } else if (action == "choose" && argc >= 4) {
        SendMessageA(item, CB_SETCURSEL, static_cast<WPARAM>(Number(argv[3])), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(item), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(item));
    } else if (action == "text") {
        char text[512] = {};
        GetWindowTextA(item, text, sizeof text);
        std::printf("found=1 visible=%d text=%s\n", IsWindowVisible(item) ? 1 : 0, text);
        return 0;
    } else if (action == "type" && argc >= 4) {
        // The field notifies its dialog of the change, as it does for typed text. The text
        // comes from the wide command line: characters outside this program's code page
        // arrive whole, as typed ones do.
        int wideCount = 0;
        LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
        const bool parsed = wide && wideCount == argc + 2;
        if (parsed)
            SendMessageW(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide[5]));
        LocalFree(wide);
        if (!parsed)
            return 2;
    } else {
        return 2;
    }
    std::printf("found=1\n");
    return 0;
}

// Run as the mail program of an account: marks that it was started, beside itself, in wide
// names, whatever the folder is called.
int MarkOpened() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    HANDLE file = CreateFileW((path + L".opened").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(file);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return MarkOpened();
    const std::string command = argv[1];
    if (command == "launch" && argc >= 3)
        return Launch(argv[2], argc >= 4 ? argv[3] : nullptr);
    if (command == "state") {
        State s = ReadState();
        PrintState(s);
        return s.Found ? 0 : 1;
    }
    if (command == "wait")
        return Wait(argc - 2, argv + 2);
    if (command == "post" && argc >= 5) {
        HWND hwnd = FindProgramWindow();
        BOOL ok = hwnd && PostMessageA(hwnd, static_cast<UINT>(Number(argv[2])),
                                       static_cast<WPARAM>(Number(argv[3])),
                                       static_cast<LPARAM>(Number(argv[4])));
        std::printf("posted=%d\n", ok ? 1 : 0);
        return ok ? 0 : 1;
    }
    if (command == "lines")
        return CompareLines(argc - 2, argv + 2);
    if (command == "tray") {
        bool found = false;
        EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&found));
        if (!found)
            std::printf("tray=0\n");
        return found ? 0 : 1;
    }
    if (command == "tray-colour" && argc >= 3) {
        bool found = false;
        EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&found));
        if (!found) {
            std::printf("tray=0\n");
            return 1;
        }
        RECT r;
        GetWindowRect(TrayWindow, &r);
        std::printf("count=%d\n",
                    CountColour(r, static_cast<unsigned>(std::strtoul(argv[2], nullptr, 16))));
        return 0;
    }
    if (command == "wait-exit" && argc >= 3) {
        double timeout = 20;
        if (argc >= 4 && !std::strncmp(argv[3], "timeout=", 8))
            timeout = std::atof(argv[3] + 8);
        return WaitExit(static_cast<DWORD>(Number(argv[2])), timeout);
    }
    if (command == "dialog")
        return Dialog(argc - 2, argv + 2);
    if (command == "balloon")
        return Balloon(argc - 2, argv + 2);
    return 2;
}
