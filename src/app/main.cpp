// Before windows.h, which would otherwise pull in the old Winsock header.
#include <winsock2.h>

#include "app/main_window.h"
#include "app/show_last_error.h"
#include "toolkit/win_support.h"
#include "toolkit/wm_handler.h"

#include <commctrl.h>
#include <windows.h>

#include <cstdlib>

namespace {

// Sockets and the common controls are started before the entry point runs; a failure is
// reported once and start-up goes on.
struct StaticStartup {
    StaticStartup() {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 0), &data) != 0)
            ToolkitMessageBox(nullptr, "Can't init sockets", "Error", MB_OK);
        else
            std::atexit([] { WSACleanup(); });
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0x9FF};
        if (!InitCommonControlsEx(&controls))
            ShowLastError("Can't init common controls");
    }
} Startup;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    SetToolkitInstance(instance);
    NextPrivateMessage = WM_APP;
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    CMainWindow window;
    if (!window.Initialise())
        return 0;
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
