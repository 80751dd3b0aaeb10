// The token store elsewhere: AES-256-GCM with a key of this user's own, kept beside the
// settings in a file only the user can read. A token protected with another user's key (or on
// another computer) does not decrypt, as with the Windows data-protection API.
#include "auth/token_store.h"

#include "base/base64.h"
#include "config/settings.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int KeyBytes = 32;
constexpr int NonceBytes = 12;
constexpr int TagBytes = 16;

struct CipherFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

// The user's key, made on first use; empty when there is none and create is false.
std::string Key(bool create) {
    std::string path;
    MakeDataPath("key", "token", path);
    std::string key(KeyBytes, '\0');
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        const std::size_t n = std::fread(key.data(), 1, key.size(), f);
        std::fclose(f);
        return n == key.size() ? key : std::string();
    }
    if (!create || RAND_bytes(reinterpret_cast<unsigned char*>(key.data()), KeyBytes) != 1)
        return {};
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return {};
    const bool written = write(fd, key.data(), key.size()) == static_cast<ssize_t>(key.size());
    close(fd);
    return written ? key : std::string();
}

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

} // namespace

std::string ProtectToken(const std::string& secret) {
    const std::string key = Key(true);
    std::string nonce(NonceBytes, '\0');
    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> c(EVP_CIPHER_CTX_new());
    if (key.empty() || !c ||
        RAND_bytes(reinterpret_cast<unsigned char*>(nonce.data()), NonceBytes) != 1)
        return {};
    std::string sealed(secret.size() + TagBytes, '\0');
    auto* out = reinterpret_cast<unsigned char*>(sealed.data());
    int n = 0;
    int last = 0;
    if (EVP_EncryptInit_ex(c.get(), EVP_aes_256_gcm(), nullptr, Bytes(key), Bytes(nonce)) != 1 ||
        EVP_EncryptUpdate(c.get(), out, &n, Bytes(secret), static_cast<int>(secret.size())) != 1 ||
        EVP_EncryptFinal_ex(c.get(), out + n, &last) != 1 ||
        EVP_CIPHER_CTX_ctrl(c.get(), EVP_CTRL_GCM_GET_TAG, TagBytes, out + secret.size()) != 1)
        return {};
    return Base64(nonce + sealed);
}

int UnprotectToken(const std::string& text, std::string& secret) {
    secret.clear();
    std::string bytes;
    const std::string key = Key(false);
    if (key.empty() || !FromBase64(text, bytes) || bytes.size() < NonceBytes + TagBytes)
        return 0;
    const std::string nonce = bytes.substr(0, NonceBytes);
    const std::size_t length = bytes.size() - NonceBytes - TagBytes;
    std::string tag = bytes.substr(NonceBytes + length);
    std::string plain(length, '\0');
    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> c(EVP_CIPHER_CTX_new());
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    int n = 0;
    int last = 0;
    if (!c ||
        EVP_DecryptInit_ex(c.get(), EVP_aes_256_gcm(), nullptr, Bytes(key), Bytes(nonce)) != 1 ||
        EVP_DecryptUpdate(c.get(), out, &n, Bytes(bytes) + NonceBytes, static_cast<int>(length)) !=
            1 ||
        EVP_CIPHER_CTX_ctrl(c.get(), EVP_CTRL_GCM_SET_TAG, TagBytes, tag.data()) != 1 ||
        EVP_DecryptFinal_ex(c.get(), out + n, &last) != 1)
        return 0;
    secret = plain;
    return 1;
}
