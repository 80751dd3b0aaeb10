#include "net/cert_store_platform.h"

#include <openssl/x509.h>

#include <climits>
#include <cstdlib>
#include <unistd.h>

void AddPlatformRootsOfSystem(X509_STORE* store) {
    const char* file = std::getenv(X509_get_default_cert_file_env());
    X509_STORE_load_file(store, file && *file ? file : X509_get_default_cert_file());
}

std::string BundleBesideProgram() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return std::string();
    std::string folder(path, static_cast<std::size_t>(length));
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    return folder.erase(slash + 1) + "cacert.pem";
}
