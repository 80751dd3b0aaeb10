#include "app/show_last_error.h"

#include "toolkit/handles.h"
#include "toolkit/win_support.h"

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
    // The system's description, cut to leave room for the closing parenthesis.
    char* allocated = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             nullptr, code, 0, reinterpret_cast<char*>(&allocated), 0, nullptr);
    CGLocalText description(allocated);
    if (description) {
        size_t room = sizeof message - used - 2;
        size_t take = n < room ? n : room;
        std::memcpy(message + used, description.get(), take);
        used += static_cast<int>(take);
    }
    message[used++] = ')';
    message[used] = 0;
    ToolkitMessageBox(nullptr, message, "Error", MB_ICONWARNING);
}
