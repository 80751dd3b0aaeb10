#include "net/cert_store.h"

#include "net/ssl_holders.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

namespace {

CGCertStorePtr LoadStore() {
    CGCertStorePtr store(X509_STORE_new());
    if (store)
        X509_STORE_load_file(store.get(), "cacert.pem");
    ERR_clear_error(); // a missing "cacert.pem" leaves an error that is not ours to report
    return store;
}

} // namespace

X509_STORE* SharedCertificateStore() {
    // Loaded once, thread-safely; the holder's reference goes at exit, after which only the
    // contexts' own references keep it.
    static const CGCertStorePtr store = LoadStore();
    return store.get();
}
