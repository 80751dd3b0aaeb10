#include "config/data_folder.h"

#include <windows.h>

#include <shlobj.h>

std::string PlatformAppDataFolder() {
    char folder[MAX_PATH] = {};
    // The result is ignored: on failure the buffer stays empty.
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE);
    folder[MAX_PATH - 1] = 0;
    return folder;
}

char PathSeparator() {
    return '\\';
}

void CreateFolder(const std::string& path) {
    CreateDirectoryA(path.c_str(), nullptr);
}
