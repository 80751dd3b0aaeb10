#pragma once

#include "net/ssl_holders.h"

#include <functional>
#include <string>

// The authorities a server's certificate may lead to: those the platform trusts (on Windows
// the user's and the machine's ROOT stores, which every other Windows program trusts,
// corporate roots included) plus "cacert.pem" beside the program, never one of the working
// folder, which whoever starts the program chooses.

// Where the authorities come from. The program uses DefaultCertStoreSeams(); a test replaces
// them (ScopedSeams) before the process's store is first used, to choose exactly what it holds.
struct CGCertStoreSeams {
    // Adds the authorities the platform trusts.
    std::function<void(X509_STORE*)> AddPlatformRoots;
    // The full path of "cacert.pem" in the program's own folder; empty when unknown.
    std::function<std::string()> BundlePath;
};

CGCertStoreSeams DefaultCertStoreSeams();
// The seams the process's store is built from.
CGCertStoreSeams& CertStoreSeams();

// Starts OpenSSL without reading a configuration file (neither OPENSSL_CONF nor the one of
// the folder fixed when OpenSSL was built, where another user may have put one that lowers
// the TLS policy or loads modules). Only the process's first OpenSSL call can decide this,
// so the program makes it first; repeating it is harmless.
void StartOpenSsl();

// A new store of the authorities that seams name. Null only when OpenSSL could not make an
// empty store; missing or unreadable sources leave it without their authorities.
CGCertStorePtr LoadCertificateStore(const CGCertStoreSeams& seams);
// How many authorities store holds.
int CountAuthorities(X509_STORE* store);

// The process's one store, built from CertStoreSeams() on the first call (from whichever
// thread comes first) and never again. Every client context takes its own reference
// (SSL_CTX_set1_cert_store), so the store outlives the contexts that use it.
X509_STORE* SharedCertificateStore();
// 1 when the process's store holds at least one authority, else 0: with none, no
// certificate can verify, and an unverified one is no proof of anything.
int CertificateStoreHasAuthorities();
