#pragma once

#include <string>

// The values that tie one sign-in together (RFC 7636, RFC 6749 section 10.12), fresh for
// every sign-in: a code caught on its way back to the program is worthless without the
// verifier, and a redirect without the state was not asked for.
struct CGPkce {
    std::string Verifier;  // 43 characters of base64url: 32 random bytes
    std::string Challenge; // S256Challenge(Verifier), sent with the method "S256"
    std::string State;     // 22 characters of base64url: 16 random bytes
};

// New random values; 0 when the random generator failed (no sign-in then).
int MakePkce(CGPkce& out);
// base64url(SHA-256(verifier)).
std::string S256Challenge(const std::string& verifier);
