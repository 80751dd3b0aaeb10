#include "mail/server_settings.h"

#include "auth/oauth_provider.h"
#include "base/scan.h"

const CProviderPreset ProviderPresets[ProviderPresetCount] = {
    {"Google/GMail", "pop.gmail.com", "https://mail.google.com/", OAuthGoogle},
    {"Live/Hotmail", "outlook.office365.com", "https://outlook.live.com/mail/", OAuthMicrosoft},
};

std::string HostKey(const char* host) {
    std::string key = host ? host : "";
    while (!key.empty() && IsSpace(key.back()))
        key.pop_back();
    std::size_t first = 0;
    while (first < key.size() && IsSpace(key[first]))
        ++first;
    key.erase(0, first);
    if (!key.empty() && key.back() == '.')
        key.pop_back();
    for (char& c : key)
        c = LowerAscii(c);
    return key;
}

bool SameServer(const CGServerSettings& a, const CGServerSettings& b) {
    return HostKey(a.Server.Get()) == HostKey(b.Server.Get()) && a.Port == b.Port &&
           (a.UseSSL != 0) == (b.UseSSL != 0);
}

bool IsProviderHost(const char* host) {
    const std::string key = HostKey(host);
    for (const CProviderPreset& p : ProviderPresets)
        if (key == p.Host)
            return true;
    return false;
}
