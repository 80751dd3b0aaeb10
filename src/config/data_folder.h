#pragma once

#include <string>

// The platform half of the data folder: where the user's roaming application data lives,
// how path parts are joined, and making a folder.

// The roaming application-data folder (empty when the platform cannot tell).
std::string PlatformAppDataFolder();
// The character between the parts of a path.
char PathSeparator();
// Creates the folder; that it exists already, or cannot be made, is not reported.
void CreateFolder(const std::string& path);
