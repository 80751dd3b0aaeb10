#pragma once

#include <memory>

// Owning holders of the OpenSSL objects the connections use, so that every way out of a
// function frees them. Declared without OpenSSL's headers; the deleters live in
// ssl_holders.cpp. An SSL object inside a BIO chain belongs to the chain: it is freed with it
// and has no holder of its own.
typedef struct bio_st BIO;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct x509_store_st X509_STORE;

struct CGSslFree {
    void operator()(SSL_CTX* context) const;
    void operator()(BIO* chain) const; // the whole chain, TLS object and socket included
    void operator()(X509_STORE* store) const;
};

using CGSslContextPtr = std::unique_ptr<SSL_CTX, CGSslFree>;
using CGBioChainPtr = std::unique_ptr<BIO, CGSslFree>;
using CGCertStorePtr = std::unique_ptr<X509_STORE, CGSslFree>;
