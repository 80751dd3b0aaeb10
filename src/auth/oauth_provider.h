#pragma once

#include <string>

struct CGPkce;

// The providers whose POP3 servers take OAuth2 access tokens, and how this program signs in
// with them: as a native application (a public client, RFC 8252) registered with the
// provider, whose client ID is fixed at build time or given in the settings file.
inline constexpr const char* OAuthMicrosoft = "microsoft";
inline constexpr const char* OAuthGoogle = "google";

struct CGOAuthProvider {
    std::string Name; // OAuthMicrosoft, OAuthGoogle: the account's "oauth" value
    std::string AuthorizeUrl;
    std::string TokenUrl;
    std::string Scope;
    // Parameters the provider needs besides the standard ones, already encoded ("&a=b").
    std::string ExtraParameters;
    // Issued to this program when it was registered; empty: sign-in is not available.
    std::string ClientId;
    // Google issues one to desktop applications too and wants it back; it is no secret in a
    // program anyone can read, and Microsoft's public clients have none.
    std::string ClientSecret;
};

// The provider called name as configured now, with Name empty for an unknown name.
CGOAuthProvider FindOAuthProvider(const std::string& name);
// Takes the [oauth] section of the settings file: "microsoft-client-id", "google-client-id"
// and "google-client-secret" win over the values fixed at build time, and
// "<provider>-authorize-url" and "<provider>-token-url" over the endpoints (a work or school
// directory instead of personal accounts, for instance). Missing keys keep the build's values.
void LoadOAuthSettings(const char* settingsPath);
// Replaces what FindOAuthProvider gives for provider.Name until the next LoadOAuthSettings.
void ReplaceOAuthProvider(const CGOAuthProvider& provider);

// Percent-encoding of one value of a query or form (RFC 3986 unreserved characters stay).
std::string FormValue(const std::string& value);
// The address that opens the provider's sign-in page for this sign-in.
std::string AuthorizationUrl(const CGOAuthProvider& provider, const CGPkce& pkce,
                             const std::string& redirectUri, const std::string& loginHint);
