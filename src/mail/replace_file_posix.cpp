#include "mail/replace_file.h"

#include <cstdio>
#include <unistd.h>

int FlushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0 ? 1 : 0;
}

int ReplaceFileAtomically(const char* from, const char* to) {
    return std::rename(from, to) == 0 ? 1 : 0;
}
