#pragma once

#include <string>

// The form a password takes in the settings file, and back.
//
// A password of printable ASCII only is stored as CGObfuscate scrambles it, the form every
// earlier version wrote and reads. Any other password (letters beyond ASCII, as UTF-8, or
// control characters) is stored as DEL followed by the scrambled Base64 of its bytes: kept
// whole, as hidden as the old form, and never taken for it, since the old form holds
// printable ASCII only. Both forms are ASCII, so the file holds the same bytes whatever code
// page the process runs with.
std::string StoredPassword(const std::string& password);

// The password of a stored form of either kind; what is not a readable new form gives the
// empty password.
std::string PasswordFromStored(const std::string& stored);
