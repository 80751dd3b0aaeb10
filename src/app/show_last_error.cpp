#include "app/show_last_error.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

void ShowLastError(const char* text) {
    DWORD code = GetLastError();
    char message[256];
    int used = std::snprintf(message, sizeof message, "%s : %lu (", text ? text : "",
                             static_cast<unsigned long>(code));
    if (used < 0 || used > 253)
        used = 253;
    // Leave room for the closing parenthesis and the terminator.
    DWORD room = static_cast<DWORD>(sizeof message - used - 2);
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, message + used, room, nullptr);
    used += static_cast<int>(n);
    message[used++] = ')';
    message[used] = 0;
    MessageBoxA(nullptr, message, "Error", MB_ICONWARNING);
}
