#include "balloon_reader.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The notification area's balloon: a visible balloon tooltip, of Wine's tray or any other.
BOOL CALLBACK FindBalloon(HWND hwnd, LPARAM found) {
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    const bool balloon = !lstrcmpiA(cls, TOOLTIPS_CLASSA) && IsWindowVisible(hwnd) &&
                         (GetWindowLongA(hwnd, GWL_STYLE) & TTS_BALLOON);
    if (balloon)
        *reinterpret_cast<HWND*>(found) = hwnd;
    return !balloon;
}

BOOL CALLBACK AddChild(HWND child, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(child);
    return TRUE;
}

// The balloon's title, read where the tray keeps it. Wine's tooltips cannot hand out a title
// (TTM_GETTITLE is not implemented), so it is taken from Wine's record of the tray icon: the
// icon's window (a child of the tray window that owns the balloon) points to it with its user
// data, and there the balloon's text, 256 characters long, is followed by its title.
std::wstring BalloonTitle(HWND balloon, const std::wstring& text) {
    std::vector<HWND> icons;
    EnumChildWindows(GetWindow(balloon, GW_OWNER), AddChild, reinterpret_cast<LPARAM>(&icons));
    DWORD pid = 0;
    GetWindowThreadProcessId(balloon, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_READ, FALSE, pid);
    std::wstring title;
    for (HWND icon : icons) {
        static wchar_t record[2048];
        SIZE_T got = 0;
        const auto at = reinterpret_cast<void*>(GetWindowLongPtrW(icon, GWLP_USERDATA));
        if (!process || !ReadProcessMemory(process, at, record, sizeof record, &got))
            continue;
        const std::wstring_view memory(record, got / sizeof(wchar_t));
        const std::size_t found = memory.find(std::wstring_view(text.c_str(), text.size() + 1));
        if (!text.empty() && found != std::wstring_view::npos && found + 320 <= memory.size()) {
            title = std::wstring(memory.substr(found + 256, 64)).c_str();
            break;
        }
    }
    if (process)
        CloseHandle(process);
    return title;
}

} // namespace

// The text's line ends are written as "\\n", so that it stays on its line.
int Balloon(int argc, char** argv) {
    const double timeout =
        argc > 0 && !std::strncmp(argv[0], "timeout=", 8) ? std::atof(argv[0] + 8) : 20;
    const DWORD end = GetTickCount() + static_cast<DWORD>(timeout * 1000);
    HWND balloon = nullptr;
    while (EnumWindows(FindBalloon, reinterpret_cast<LPARAM>(&balloon)) &&
           static_cast<LONG>(GetTickCount() - end) < 0)
        Sleep(50);
    if (!balloon) {
        std::printf("balloon=0\n");
        return 1;
    }
    wchar_t text[1024] = {};
    SendMessageW(balloon, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    char title[512] = {}, body[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, BalloonTitle(balloon, text).c_str(), -1, title, sizeof title,
                        nullptr, nullptr);
    WideCharToMultiByte(CP_UTF8, 0, text, -1, body, sizeof body, nullptr, nullptr);
    std::string oneLine;
    for (const char* c = body; *c; ++c)
        oneLine += *c == '\n' ? "\\n" : std::string(*c == '\r' ? 0 : 1, *c);
    RECT r;
    GetWindowRect(balloon, &r);
    std::printf("balloon=1 left=%ld top=%ld width=%ld height=%ld\ntitle: %s\ntext: %s\n", r.left,
                r.top, r.right - r.left, r.bottom - r.top, title, oneLine.c_str());
    return 0;
}
