#pragma once

#include <string>

typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;
typedef struct x509_store_st X509_STORE;

// A P-256 key and its certificate, made in memory for TLS tests: an authority, a server
// certificate for a DNS name signed by one, or a self-signed server certificate.
class TestCertificate {
public:
    // name: the common name, and for a server also its DNS name. issuer null: self-signed.
    explicit TestCertificate(const std::string& name, const TestCertificate* issuer = nullptr,
                             bool authority = false);
    ~TestCertificate();
    TestCertificate(const TestCertificate&) = delete;
    TestCertificate& operator=(const TestCertificate&) = delete;

    std::string Pem() const;
    std::string Der() const;

    EVP_PKEY* Key = nullptr;
    X509* Cert = nullptr;
};

// Whether the certificate leads to an authority of store (now, without a host check).
bool Verifies(X509_STORE* store, const TestCertificate& certificate);

// Makes the process's certificate store hold exactly the authorities of the PEM file at
// pemPath (none for an empty path): no platform roots, no "cacert.pem" beside the program.
// Only before the store's first use, which is when it is read.
void TrustOnly(const std::string& pemPath);
