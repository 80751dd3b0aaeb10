// The token store on Windows: the data-protection API, for the current user.
#include "auth/token_store.h"

#include "base/base64.h"

#include <windows.h>

#include <wincrypt.h>

namespace {

// Ties the protected data to this program: another program of the same user that calls
// CryptUnprotectData on it does not get the token without also knowing this.
const char Entropy[] = "Varnocle OAuth refresh token";

// A view of bytes, which must outlive it.
DATA_BLOB Blob(const char* bytes, std::size_t length) {
    DATA_BLOB blob;
    blob.cbData = static_cast<DWORD>(length);
    blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes));
    return blob;
}

// Takes the bytes of a blob CryptProtectData or CryptUnprotectData allocated, and frees it.
std::string Take(DATA_BLOB& blob) {
    std::string bytes(reinterpret_cast<const char*>(blob.pbData), blob.cbData);
    SecureZeroMemory(blob.pbData, blob.cbData);
    LocalFree(blob.pbData);
    return bytes;
}

} // namespace

std::string ProtectToken(const std::string& secret) {
    DATA_BLOB in = Blob(secret.data(), secret.size());
    DATA_BLOB entropy = Blob(Entropy, sizeof Entropy - 1);
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"Varnocle", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out))
        return {};
    return Base64(Take(out));
}

int UnprotectToken(const std::string& text, std::string& secret) {
    secret.clear();
    std::string bytes;
    if (text.empty() || !FromBase64(text, bytes))
        return 0;
    DATA_BLOB in = Blob(bytes.data(), bytes.size());
    DATA_BLOB entropy = Blob(Entropy, sizeof Entropy - 1);
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out))
        return 0;
    secret = Take(out);
    return 1;
}
