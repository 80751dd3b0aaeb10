#include "config/data_folder.h"

#include <cstdlib>
#include <sys/stat.h>

std::string PlatformAppDataFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && *home) {
        std::string config = std::string(home) + "/.config";
        // On a fresh account ~/.config may not exist yet; our folder goes inside it.
        ::mkdir(config.c_str(), 0700);
        return config;
    }
    return "";
}

char PathSeparator() {
    return '/';
}

void CreateFolder(const std::string& path) {
    ::mkdir(path.c_str(), 0700);
}
