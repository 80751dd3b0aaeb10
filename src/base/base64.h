#pragma once

#include <cstddef>
#include <string>

// Base64 (RFC 4648): the standard alphabet with padding (the XOAUTH2 response, the protected
// token and the stored form of a password in the settings file, encoded-words in headers),
// the URL alphabet without padding (PKCE and the sign-in state).
std::string Base64(const std::string& bytes);
// 1 and the bytes when text is standard base64 with padding; 0 for anything else.
int FromBase64(const std::string& text, std::string& bytes);
std::string Base64Url(const unsigned char* data, std::size_t length);
