// Before windows.h, which would otherwise pull in the old Winsock header.
#include <winsock2.h>

#include "app/main_window.h"
#include "app/show_last_error.h"
#include "net/cert_store.h"
#include "toolkit/win_support.h"
#include "toolkit/wm_handler.h"

#include <commctrl.h>
#include <openssl/crypto.h>
#include <windows.h>

namespace {

// Sockets and the common controls are started before the entry point runs; a failure is
// reported once and start-up goes on.
struct StaticStartup {
    StaticStartup() {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 0), &data) != 0)
            ToolkitMessageBox(nullptr, "Can't init sockets", "Error", MB_OK);
        else
            SocketsStarted = 1;
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0x9FF};
        if (!InitCommonControlsEx(&controls))
            ShowLastError("Can't init common controls");
    }
    int SocketsStarted = 0;
} Startup;

// How long the exit gives the checking threads, once told to quit, to leave before the
// process ends them. Only a thread stuck in a step no interrupt reaches (a name lookup)
// takes it all.
constexpr int ExitGraceMilliseconds = 200;

int RunMessageLoop() {
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The first OpenSSL call decides: without an atexit cleanup, the library's state is never
    // freed under a checking thread that is still finishing while the process ends; and no
    // configuration file is read, wherever one may lie (see StartOpenSsl).
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
    StartOpenSsl();
    SetToolkitInstance(instance);
    NextPrivateMessage = WM_APP;
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    int exitCode = 0;
    int stillRunning = 0;
    {
        CMainWindow window;
        if (window.Initialise())
            exitCode = RunMessageLoop();
        stillRunning = window.ReleaseAccounts(ExitGraceMilliseconds) + window.ReleaseUpdateCheck();
    }
    // Winsock is cleaned up only when no checking thread can be inside it any more; a thread
    // still blocked would have its socket pulled away. The end of the process releases it
    // anyway.
    if (Startup.SocketsStarted && stillRunning == 0)
        WSACleanup();
    return exitCode;
}
