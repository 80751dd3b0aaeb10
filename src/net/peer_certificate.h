#pragma once

#include <string>

typedef struct ssl_st SSL;

// Why a server's certificate did not prove the server (CGPeerCertificate::Problem).
enum : int {
    CertVerified = 0,         // the chain leads to a trusted authority and names the host
    CertSelfSigned = 1,       // signed by itself (or by a root that signed itself only)
    CertUnknownAuthority = 2, // signed by an authority the certificate store does not hold
    CertNameMismatch = 3,     // made out to another name or address
    CertExpired = 4,          // out of its validity period
};

// What a TLS handshake showed of the server: whether its chain verified, and the key it
// proves, so that a server whose chain does not verify can still be recognised by its key.
struct CGPeerCertificate {
    int Present = 0;            // 1 once a handshake completed with a certificate
    int Problem = CertVerified; // meaningful when Present
    std::string Pin;            // SHA-256 of the leaf's SubjectPublicKeyInfo, 64 lowercase hex
    bool Verified() const { return Present && Problem == CertVerified; }
};

// Reads what the handshake on ssl established: the verification result (chain and host,
// as the connection asked for them) and the leaf's key pin. Present is 0 when the server
// showed no certificate.
CGPeerCertificate DescribePeer(SSL* ssl);
// The pin of a DER-encoded SubjectPublicKeyInfo (64 lowercase hex characters).
std::string PinOfPublicKey(const unsigned char* der, std::size_t length);
// The problem in words, for the user: "self-signed", "unknown authority", "name mismatch",
// "expired" (empty when verified).
const char* CertificateProblemText(int problem);
// A pin as a user compares fingerprints: upper-case byte pairs joined by ':' (AB:CD:...).
// Anything that is not a 64-character pin comes back unchanged.
std::string GroupedFingerprint(const std::string& pin);
// A pin as stored: a fingerprint typed or pasted by hand (upper case, grouped with ':')
// becomes the 64 lowercase hex characters it stands for; anything else stays as it is.
std::string NormalisedPin(const std::string& text);
