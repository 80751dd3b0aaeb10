#pragma once

#include <cstddef>
#include <string>

// Base64 (RFC 4648) as sign-in needs it: the standard alphabet with padding for the POP3
// XOAUTH2 response and the protected token in the settings file, the URL alphabet without
// padding for PKCE and the sign-in state.
std::string Base64(const std::string& bytes);
// 1 and the bytes when text is standard base64 with padding; 0 for anything else.
int FromBase64(const std::string& text, std::string& bytes);
std::string Base64Url(const unsigned char* data, std::size_t length);
