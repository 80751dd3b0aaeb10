#include "net/cert_store.h"

#include "net/cert_store_platform.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

CGCertStoreSeams DefaultCertStoreSeams() {
    CGCertStoreSeams seams;
    seams.AddPlatformRoots = AddPlatformRootsOfSystem;
    seams.BundlePath = BundleBesideProgram;
    return seams;
}

CGCertStoreSeams& CertStoreSeams() {
    static CGCertStoreSeams seams = DefaultCertStoreSeams();
    return seams;
}

void StartOpenSsl() {
    OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_LOAD_SSL_STRINGS |
                         OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                     nullptr);
}

CGCertStorePtr LoadCertificateStore(const CGCertStoreSeams& seams) {
    StartOpenSsl();
    CGCertStorePtr store(X509_STORE_new());
    if (!store)
        return store;
    try {
        if (seams.AddPlatformRoots)
            seams.AddPlatformRoots(store.get());
        const std::string bundle = seams.BundlePath ? seams.BundlePath() : std::string();
        if (!bundle.empty())
            X509_STORE_load_file(store.get(), bundle.c_str());
    } catch (...) {
        // Out of memory while gathering: the store keeps what it got.
    }
    ERR_clear_error(); // a missing "cacert.pem" leaves an error that is not ours to report
    return store;
}

int CountAuthorities(X509_STORE* store) {
    if (!store)
        return 0;
    int count = 0;
    const STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store);
    for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i)
        if (X509_OBJECT_get_type(sk_X509_OBJECT_value(objects, i)) == X509_LU_X509)
            ++count;
    return count;
}

X509_STORE* SharedCertificateStore() {
    // Loaded once, thread-safely; the holder's reference goes at exit, after which only the
    // contexts' own references keep it.
    static const CGCertStorePtr store = LoadCertificateStore(CertStoreSeams());
    return store.get();
}

int CertificateStoreHasAuthorities() {
    static const int has = CountAuthorities(SharedCertificateStore()) > 0 ? 1 : 0;
    return has;
}
