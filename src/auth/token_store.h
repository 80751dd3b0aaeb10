#pragma once

#include <string>

// Refresh tokens at rest: protected for the current user of this computer (on Windows with
// the data-protection API, CryptProtectData), as base64 text for the settings file. A file
// taken to another computer or user cannot be read back there.

// The protected form of secret; empty when it could not be protected.
std::string ProtectToken(const std::string& secret);
// 1 with the secret when text was protected here by this user; 0 for anything else.
int UnprotectToken(const std::string& text, std::string& secret);
