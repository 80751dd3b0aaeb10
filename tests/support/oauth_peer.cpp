#include "support/oauth_peer.h"

#include "net/cert_store.h"

#include <curl/curl.h>
#include <nlohmann/json.hpp>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include <cstdlib>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

size_t Collect(char* data, size_t size, size_t count, void* into) {
    static_cast<std::string*>(into)->append(data, size * count);
    return size * count;
}

// One request: the body, the status and where a redirect points.
std::string Fetch(const std::string& url, const char* post, const std::string& caCert,
                  long* status = nullptr, std::string* location = nullptr) {
    std::string body;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CAINFO, caCert.c_str());
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    if (post)
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, post);
    if (curl_easy_perform(easy) == CURLE_OK) {
        if (status)
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, status);
        char* redirect = nullptr;
        if (location && curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK &&
            redirect)
            *location = redirect;
    }
    curl_easy_cleanup(easy);
    return body;
}

// The stats as an object; an empty one when they could not be read.
nlohmann::json Stats(const OAuthPeer& peer) {
    nlohmann::json stats = nlohmann::json::parse(peer.Call("/control/stats"), nullptr, false);
    return stats.is_object() ? stats : nlohmann::json::object();
}

} // namespace

OAuthPeer OAuthPeer::FromEnvironment() {
    OAuthPeer peer;
    peer.Url = Env("VARNOCLE_OAUTH_URL");
    peer.UntrustedUrl = Env("VARNOCLE_OAUTH_UNTRUSTED_URL");
    peer.Control = Env("VARNOCLE_OAUTH_CONTROL");
    peer.ClientId = Env("VARNOCLE_OAUTH_CLIENT_ID");
    peer.CaCert = PeerPath(Env("VARNOCLE_OAUTH_CACERT"));
    peer.Dovecot = DovecotPeer::FromEnvironment();
    peer.Available = !peer.Url.empty() && peer.Dovecot.Available;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return peer;
}

CGOAuthProvider OAuthPeer::Provider(const char* name) const {
    static std::once_flag trusted;
    std::call_once(trusted, [this] {
        if (std::FILE* f = std::fopen(CaCert.c_str(), "r")) {
            X509* authority = PEM_read_X509(f, nullptr, nullptr, nullptr);
            std::fclose(f);
            X509_STORE_add_cert(SharedCertificateStore(), authority);
            X509_free(authority);
        }
    });
    CGOAuthProvider p;
    p.Name = name;
    p.AuthorizeUrl = Url + "/authorize";
    p.TokenUrl = Url + "/token";
    p.Scope = "pop offline_access";
    p.ClientId = ClientId;
    return p;
}

std::string OAuthPeer::Call(const std::string& pathAndQuery) const {
    const bool get = pathAndQuery == "/control/stats";
    return Fetch(Control + pathAndQuery, get ? nullptr : "", CaCert);
}

long OAuthPeer::Count(const char* name) const {
    return Stats(*this).value(name, -1L);
}

std::vector<std::string> OAuthPeer::RefreshTokens() const {
    return Stats(*this).value("refresh_tokens", std::vector<std::string>());
}

std::string OAuthPeer::Authorized(const char* name) const {
    return Stats(*this).value("authorize", nlohmann::json::object()).value(name, std::string());
}

CGSignInRequest TestBrowser::Request(CGOAuthProvider provider, const std::string& loginHint,
                                     std::chrono::milliseconds limit) {
    CGSignInRequest request;
    request.Provider = std::move(provider);
    request.LoginHint = loginHint;
    request.OpenBrowser = [this](const std::string& url) { return Open(url); };
    request.Limit = limit;
    return request;
}

CGSignInResult TestBrowser::SignIn(CGOAuthProvider provider, const std::string& loginHint,
                                   std::chrono::milliseconds limit) {
    CGSignIn signIn(Request(std::move(provider), loginHint, limit));
    const CGSignInResult result = signIn.Run();
    Finish();
    return result;
}

int TestBrowser::Open(const std::string& url) {
    std::lock_guard<std::mutex> lock(Guard);
    if (Follow)
        Threads.emplace_back(&TestBrowser::Browse, this, url);
    return 1;
}

void TestBrowser::Finish() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(Guard);
        threads.swap(Threads);
    }
    for (std::thread& t : threads)
        t.join();
}

std::vector<std::string> TestBrowser::Pages() {
    std::lock_guard<std::mutex> lock(Guard);
    return Seen;
}

void TestBrowser::Browse(std::string url) {
    std::string redirect;
    Fetch(url, nullptr, Peer.CaCert, nullptr, &redirect);
    std::vector<std::string> visits;
    if (!ForgedState.empty()) {
        const std::size_t at = redirect.find("state=");
        const std::size_t end = redirect.find('&', at);
        visits.push_back(redirect.substr(0, at + 6) + ForgedState +
                         (end == std::string::npos ? "" : redirect.substr(end)));
    }
    visits.push_back(redirect);
    for (const std::string& visit : visits) {
        long status = 0;
        const std::string page = Fetch(visit, nullptr, Peer.CaCert, &status);
        std::lock_guard<std::mutex> lock(Guard);
        Seen.push_back(std::to_string(status) + " " + page);
    }
}
