#pragma once

typedef struct x509_store_st X509_STORE;

// The process's one certificate store: "cacert.pem" of the working folder, read on the first
// call (from whichever thread comes first) and never again. Every client context takes its
// own reference (SSL_CTX_set1_cert_store), so the store outlives the contexts that use it.
// Null only when OpenSSL could not make an empty store. A missing or unreadable file leaves
// the store empty, which is fine while no certificate is verified.
X509_STORE* SharedCertificateStore();
