#pragma once

#include "base/text.h"

#include <string>

// What the checking thread needs to reach and log in to a mailbox. Null texts are sent as
// bare verbs ("USER\r\n"), as a fresh account has none.
struct CGServerSettings {
    CGText Server;
    CGText Username;
    CGText Password; // in the clear in memory
    int Port = 995;
    int UseSSL = 1;
    int CheckMinutes = 5;
    // Learned from the server (CGTlsGate): how its certificate proves it, and whether a
    // plain connection to it must be switched to TLS.
    std::string CertPin;
    int StartTls = 0;
    // The user's explicit choice, made after Check explained it: when this server's offer of
    // STARTTLS fails, log in without encryption. Never set by a check.
    int PlainLogin = 0;
    // Signed in with a provider (OAuthMicrosoft, OAuthGoogle) instead of a password: the
    // address signed in and the refresh token (in the clear in memory; empty when the sign-in
    // is gone). Empty OAuth: the password logs in.
    std::string OAuth;
    std::string OAuthUser;
    std::string RefreshToken;
};

// A host name as the name system compares it: no blanks around it, ASCII letter case and
// one trailing dot ignored ("Pop.Example.com." is pop.example.com).
std::string HostKey(const char* host);
// Whether two settings name the same server: host (as HostKey compares), port and kind of
// connection. What is learned about one server (its certificate, its STARTTLS) holds for no
// other.
bool SameServer(const CGServerSettings& a, const CGServerSettings& b);

// The web-mail providers the account dialog offers: its entry, POP3 host, web-mail address
// and the provider that signs in for it (null: the password logs in).
struct CProviderPreset {
    const char* Entry;
    const char* Host;
    const char* WebMail;
    const char* OAuth;
};
inline constexpr int ProviderPresetCount = 2;
extern const CProviderPreset ProviderPresets[ProviderPresetCount];
// Whether host is a preset provider's POP3 host. Their certificates always verify against
// the authorities every system trusts: one that does not is never trusted on first use.
bool IsProviderHost(const char* host);
