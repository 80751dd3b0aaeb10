#include "mail/replace_file.h"

#include <io.h>
#include <windows.h>

int FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0)
        return 0;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) ? 1 : 0;
}

int ReplaceFileAtomically(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}
