#include "auth/oauth_provider.h"

#include "auth/pkce.h"
#include "build_config.h"
#include "config/settings.h"

#include <curl/curl.h>

#include <mutex>
#include <vector>

namespace {

std::vector<CGOAuthProvider> BuiltIn() {
    CGOAuthProvider microsoft;
    microsoft.Name = OAuthMicrosoft;
    // Personal accounts (outlook.com, hotmail.com, live.com) only.
    microsoft.AuthorizeUrl = "https://login.microsoftonline.com/consumers/oauth2/v2.0/authorize";
    microsoft.TokenUrl = "https://login.microsoftonline.com/consumers/oauth2/v2.0/token";
    microsoft.Scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
    microsoft.ClientId = VARNOCLE_MICROSOFT_CLIENT_ID;
    CGOAuthProvider google;
    google.Name = OAuthGoogle;
    google.AuthorizeUrl = "https://accounts.google.com/o/oauth2/v2/auth";
    google.TokenUrl = "https://oauth2.googleapis.com/token";
    google.Scope = "https://mail.google.com/";
    // Without these Google gives no refresh token, or none on a second sign-in.
    google.ExtraParameters = "&access_type=offline&prompt=consent";
    google.ClientId = VARNOCLE_GOOGLE_CLIENT_ID;
    google.ClientSecret = VARNOCLE_GOOGLE_CLIENT_SECRET;
    return {microsoft, google};
}

std::mutex Guard;
std::vector<CGOAuthProvider>& Providers() {
    static std::vector<CGOAuthProvider> providers = BuiltIn();
    return providers;
}

void Override(std::string& value, const std::string& section, const char* key, const char* path) {
    const std::string given = ReadProfileText(section.c_str(), key, path);
    if (!given.empty())
        value = given;
}

} // namespace

CGOAuthProvider FindOAuthProvider(const std::string& name) {
    std::lock_guard<std::mutex> lock(Guard);
    for (const CGOAuthProvider& p : Providers())
        if (p.Name == name)
            return p;
    return {};
}

void LoadOAuthSettings(const char* settingsPath) {
    std::vector<CGOAuthProvider> providers = BuiltIn();
    for (CGOAuthProvider& p : providers) {
        Override(p.ClientId, "oauth", (p.Name + "-client-id").c_str(), settingsPath);
        Override(p.ClientSecret, "oauth", (p.Name + "-client-secret").c_str(), settingsPath);
        Override(p.AuthorizeUrl, "oauth", (p.Name + "-authorize-url").c_str(), settingsPath);
        Override(p.TokenUrl, "oauth", (p.Name + "-token-url").c_str(), settingsPath);
    }
    std::lock_guard<std::mutex> lock(Guard);
    Providers() = std::move(providers);
}

void ReplaceOAuthProvider(const CGOAuthProvider& provider) {
    std::lock_guard<std::mutex> lock(Guard);
    for (CGOAuthProvider& p : Providers())
        if (p.Name == provider.Name)
            p = provider;
}

std::string FormValue(const std::string& value) {
    // The handle argument is ignored since curl 7.82.
    char* escaped = curl_easy_escape(nullptr, value.data(), static_cast<int>(value.size()));
    std::string out = escaped ? escaped : "";
    curl_free(escaped);
    return out;
}

std::string AuthorizationUrl(const CGOAuthProvider& provider, const CGPkce& pkce,
                             const std::string& redirectUri, const std::string& loginHint) {
    std::string url = provider.AuthorizeUrl;
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += "client_id=" + FormValue(provider.ClientId);
    url += "&response_type=code";
    url += "&redirect_uri=" + FormValue(redirectUri);
    url += "&scope=" + FormValue(provider.Scope);
    url += "&state=" + FormValue(pkce.State);
    url += "&code_challenge=" + FormValue(pkce.Challenge);
    url += "&code_challenge_method=S256";
    if (!loginHint.empty())
        url += "&login_hint=" + FormValue(loginHint);
    return url + provider.ExtraParameters;
}
