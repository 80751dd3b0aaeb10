// Prints what the running program holds, for the soak benchmark (tests/bench/soak.py): its
// GDI and USER objects, kernel handles, private bytes and working set, as one line
//   gdi=N user=N handles=N private=BYTES working=BYTES
// The program is found by its floating window's class ("varnocle"). Exits 1 when it is not
// running.
#include <windows.h>

#include <psapi.h>

#include <cstdio>

int main() {
    HWND window = FindWindowA("varnocle", nullptr);
    DWORD pid = 0;
    if (!window || !GetWindowThreadProcessId(window, &pid))
        return 1;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        return 1;
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    std::printf("gdi=%lu user=%lu handles=%lu private=%llu working=%llu\n",
                GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS),
                handles, static_cast<unsigned long long>(memory.PrivateUsage),
                static_cast<unsigned long long>(memory.WorkingSetSize));
    CloseHandle(process);
    return 0;
}
