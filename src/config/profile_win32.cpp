// The settings store on Windows: the private-profile functions themselves.
#include "config/profile.h"

#include <windows.h>

int ProfileReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                      int size, const char* path) {
    if (!buffer || size <= 0)
        return 0;
    return static_cast<int>(GetPrivateProfileStringA(section, key, defaultValue, buffer,
                                                     static_cast<DWORD>(size), path ? path : ""));
}

int ProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
    return WritePrivateProfileStringA(section, key, value, path ? path : "") ? 1 : 0;
}
