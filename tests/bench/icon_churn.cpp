// The calls the tray made after every check until it stopped making them, alone: load the
// icon afresh, hand it to the shell with NIM_MODIFY, destroy the old one. Every handle is
// freed, so on Windows the memory stays flat; under Wine it grows (the soak benchmark's
// finding), which shows that the growth is Wine's and not the program's.
//   icon_churn [ITERATIONS] [MODE]   MODE: both (default), load (no NIM_MODIFY), modify (one
//                                    icon, NIM_MODIFY only)
// Prints the working set every 10,000 iterations.
#include <windows.h>

#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HICON LoadSmallIcon() {
    // Any icon resource of the system: what matters is a new handle every time.
    return static_cast<HICON>(LoadImageA(nullptr, MAKEINTRESOURCEA(32516), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return memory.WorkingSetSize;
}

} // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 60000;
    const char* mode = argc > 2 ? argv[2] : "both";
    const bool load = std::strcmp(mode, "modify") != 0;
    const bool modify = std::strcmp(mode, "load") != 0;
    HWND window = CreateWindowA("STATIC", "icon_churn", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = 1;
    data.uFlags = NIF_ICON | NIF_TIP;
    data.hIcon = LoadSmallIcon();
    Shell_NotifyIconA(NIM_ADD, &data);
    for (int i = 1; i <= iterations; ++i) {
        if (load) {
            HICON old = data.hIcon;
            data.hIcon = LoadSmallIcon();
            DestroyIcon(old);
        }
        if (modify)
            Shell_NotifyIconA(NIM_MODIFY, &data);
        if (i % 10000 == 0)
            std::printf("%d %llu\n", i, static_cast<unsigned long long>(WorkingSet()));
    }
    Shell_NotifyIconA(NIM_DELETE, &data);
    DestroyIcon(data.hIcon);
    DestroyWindow(window);
    return 0;
}
