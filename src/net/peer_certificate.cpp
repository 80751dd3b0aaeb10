#include "net/peer_certificate.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cctype>
#include <memory>

namespace {

int ProblemOf(long verifyResult) {
    switch (verifyResult) {
    case X509_V_OK:
        return CertVerified;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return CertSelfSigned;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return CertNameMismatch;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return CertExpired;
    default:
        return CertUnknownAuthority;
    }
}

} // namespace

std::string PinOfPublicKey(const unsigned char* der, std::size_t length) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_Digest(der, length, digest, &size, EVP_sha256(), nullptr))
        return std::string();
    static const char hex[] = "0123456789abcdef";
    std::string pin;
    for (unsigned int i = 0; i < size; ++i) {
        pin += hex[digest[i] >> 4];
        pin += hex[digest[i] & 15];
    }
    return pin;
}

CGPeerCertificate DescribePeer(SSL* ssl) {
    CGPeerCertificate peer;
    if (!ssl)
        return peer;
    const std::unique_ptr<X509, decltype(&X509_free)> leaf(SSL_get1_peer_certificate(ssl),
                                                           X509_free);
    if (!leaf)
        return peer;
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(leaf.get()), &der);
    if (length <= 0)
        return peer;
    peer.Pin = PinOfPublicKey(der, static_cast<std::size_t>(length));
    OPENSSL_free(der);
    if (peer.Pin.empty())
        return peer;
    peer.Present = 1;
    peer.Problem = ProblemOf(SSL_get_verify_result(ssl));
    return peer;
}

const char* CertificateProblemText(int problem) {
    switch (problem) {
    case CertVerified:
        return "";
    case CertSelfSigned:
        return "self-signed";
    case CertNameMismatch:
        return "name mismatch";
    case CertExpired:
        return "expired";
    default:
        return "unknown authority";
    }
}

std::string GroupedFingerprint(const std::string& pin) {
    if (pin.size() != 64)
        return pin;
    std::string grouped;
    for (std::size_t i = 0; i < pin.size(); i += 2) {
        if (i)
            grouped += ':';
        grouped += static_cast<char>(std::toupper(static_cast<unsigned char>(pin[i])));
        grouped += static_cast<char>(std::toupper(static_cast<unsigned char>(pin[i + 1])));
    }
    return grouped;
}

std::string NormalisedPin(const std::string& text) {
    std::string pin;
    for (char c : text) {
        if (c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return text;
        pin += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return pin.size() == 64 ? pin : text;
}
