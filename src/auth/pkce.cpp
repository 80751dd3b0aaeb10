#include "auth/pkce.h"

#include "base/base64.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

int MakePkce(CGPkce& out) {
    unsigned char verifier[32];
    unsigned char state[16];
    if (RAND_bytes(verifier, sizeof verifier) != 1 || RAND_bytes(state, sizeof state) != 1)
        return 0;
    out.Verifier = Base64Url(verifier, sizeof verifier);
    out.Challenge = S256Challenge(out.Verifier);
    out.State = Base64Url(state, sizeof state);
    return 1;
}

std::string S256Challenge(const std::string& verifier) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return Base64Url(digest, sizeof digest);
}
