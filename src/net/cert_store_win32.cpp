#include "net/cert_store_platform.h"

#include "base/text.h"

#include <windows.h>

#include <openssl/x509.h>
#include <wincrypt.h>

#include <vector>

namespace {

// Copies the certificates of one ROOT store (read only) into the OpenSSL store.
void AddRootsOf(X509_STORE* store, DWORD location) {
    HCERTSTORE roots =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                      location | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, L"ROOT");
    if (!roots)
        return;
    // Each call frees the context it is given; the loop ends with none held.
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(roots, c)) != nullptr;) {
        const unsigned char* der = c->pbCertEncoded;
        X509* certificate = d2i_X509(nullptr, &der, static_cast<long>(c->cbCertEncoded));
        if (certificate) {
            X509_STORE_add_cert(store, certificate); // a duplicate is skipped, not an error
            X509_free(certificate);
        }
    }
    CertCloseStore(roots, 0);
}

} // namespace

void AddPlatformRootsOfSystem(X509_STORE* store) {
    // The user's ROOT store shows the machine's own roots too, but not those a domain
    // publishes for the machine (its enterprise store), which the machine's ROOT store holds.
    AddRootsOf(store, CERT_SYSTEM_STORE_CURRENT_USER);
    AddRootsOf(store, CERT_SYSTEM_STORE_LOCAL_MACHINE);
}

std::string BundleBesideProgram() {
    std::vector<wchar_t> path(MAX_PATH);
    DWORD length = 0;
    // A path that does not fit is cut short and reported as filling the buffer.
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
               path.size() &&
           path.size() < 32768)
        path.resize(path.size() * 2);
    if (length == 0 || length >= path.size())
        return std::string();
    std::wstring folder(path.data(), length);
    const std::size_t separator = folder.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return std::string();
    folder.erase(separator + 1) += L"cacert.pem";
    // UTF-8, which OpenSSL turns back into UTF-16 to open the file: any folder name works.
    CGText utf8;
    utf8.FromWide(reinterpret_cast<const char16_t*>(folder.c_str()));
    return utf8.GetOrEmpty();
}
