#include "net/ssl_holders.h"

#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

void CGSslFree::operator()(SSL_CTX* context) const {
    SSL_CTX_free(context);
}

void CGSslFree::operator()(BIO* chain) const {
    BIO_free_all(chain);
}

void CGSslFree::operator()(X509_STORE* store) const {
    X509_STORE_free(store);
}
