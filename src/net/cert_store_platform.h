#pragma once

#include <string>

typedef struct x509_store_st X509_STORE;

// What the default certificate store takes from the platform; cert_store_win32.cpp and
// cert_store_posix.cpp implement it.

// Adds the authorities the platform trusts: on Windows the user's and the machine's ROOT
// stores; elsewhere OpenSSL's default bundle (SSL_CERT_FILE, else the one of its build).
void AddPlatformRootsOfSystem(X509_STORE* store);
// The full path of "cacert.pem" beside the running program's own file; empty when the
// program cannot tell where it is.
std::string BundleBesideProgram();
