#include "support/test_authority.h"

#include "net/cert_store.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <memory>

namespace {

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

} // namespace

TestCertificate::TestCertificate(const std::string& name, const TestCertificate* issuer,
                                 bool authority)
    : Key(EVP_EC_gen("P-256")), Cert(X509_new()) {
    static std::atomic<long> serial{1};
    X509_set_version(Cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(Cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(Cert), -60);
    X509_gmtime_adj(X509_getm_notAfter(Cert), 3600);
    X509_set_pubkey(Cert, Key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(Cert), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509* signer = issuer ? issuer->Cert : Cert;
    X509_set_issuer_name(Cert, X509_get_subject_name(signer));
    // Key identifiers tell an authority from others of the same name.
    AddExtension(Cert, signer, NID_subject_key_identifier, "hash");
    AddExtension(Cert, signer, NID_authority_key_identifier, "keyid:always");
    if (authority) {
        AddExtension(Cert, signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(Cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(Cert, signer, NID_subject_alt_name, ("DNS:" + name).c_str());
    }
    X509_sign(Cert, issuer ? issuer->Key : Key, EVP_sha256());
}

TestCertificate::~TestCertificate() {
    X509_free(Cert);
    EVP_PKEY_free(Key);
}

std::string TestCertificate::Pem() const {
    const std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(out.get(), Cert);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string TestCertificate::Der() const {
    unsigned char* der = nullptr;
    const int size = i2d_X509(Cert, &der);
    std::string bytes(reinterpret_cast<const char*>(der), size > 0 ? size : 0);
    OPENSSL_free(der);
    return bytes;
}

bool Verifies(X509_STORE* store, const TestCertificate& certificate) {
    const std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(
        X509_STORE_CTX_new(), X509_STORE_CTX_free);
    return context && X509_STORE_CTX_init(context.get(), store, certificate.Cert, nullptr) &&
           X509_verify_cert(context.get()) == 1;
}

void TrustOnly(const std::string& pemPath) {
    CertStoreSeams().AddPlatformRoots = nullptr;
    CertStoreSeams().BundlePath = [pemPath] { return pemPath; };
}
