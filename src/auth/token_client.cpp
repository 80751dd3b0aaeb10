#include "auth/token_client.h"

#include "base/scan.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

constexpr long long DefaultLifetimeSeconds = 3600; // RFC 6749 leaves expires_in optional

std::string Text(const Json& object, const char* key) {
    const auto at = object.find(key);
    return at != object.end() && at->is_string() ? at->get<std::string>() : std::string();
}

// "expires_in" as a number of seconds; some servers send it as a text.
long long Lifetime(const Json& object) {
    const auto at = object.find("expires_in");
    if (at == object.end())
        return DefaultLifetimeSeconds;
    if (at->is_number_integer())
        return at->get<long long>();
    if (at->is_string()) {
        long long seconds = 0;
        for (char c : at->get<std::string>()) {
            if (c < '0' || c > '9' || seconds > 100000000)
                return -1;
            seconds = seconds * 10 + (c - '0');
        }
        return seconds;
    }
    return -1;
}

int ReadRefusal(const Json& object, CGTokenGrant& grant) {
    const std::string error = Text(object, "error");
    grant.Problem = error;
    const std::string description = Text(object, "error_description");
    if (!description.empty())
        grant.Problem += ": " + description.substr(0, 300);
    // The grant itself is gone, or the provider wants the user back in its pages.
    if (error == "invalid_grant" || error == "interaction_required" || error == "consent_required")
        return TokenRefused;
    return TokenFailed;
}

} // namespace

int ReadTokenReply(const CGHttpsReply& reply, std::chrono::steady_clock::time_point now,
                   CGTokenGrant& grant) {
    grant = CGTokenGrant();
    try {
        const Json object = Json::parse(reply.Body, nullptr, false);
        if (!object.is_object()) {
            grant.Problem = "the reply (HTTP " + std::to_string(reply.Status) +
                            (reply.ContentType.empty() ? "" : ", " + reply.ContentType) +
                            ") is no token";
            return TokenFailed;
        }
        if (reply.Status != 200) {
            const int refused = ReadRefusal(object, grant);
            if (grant.Problem.empty())
                grant.Problem = "the server refused (HTTP " + std::to_string(reply.Status) + ")";
            return refused;
        }
        grant.AccessToken = Text(object, "access_token");
        grant.RefreshToken = Text(object, "refresh_token");
        const long long lifetime = Lifetime(object);
        if (grant.AccessToken.empty() ||
            !EqualsIgnoringCase(Text(object, "token_type"), "Bearer") || lifetime < 0) {
            grant = CGTokenGrant();
            grant.Problem = "the reply holds no bearer token";
            return TokenFailed;
        }
        grant.Expires = now + std::chrono::seconds(lifetime);
        return TokenGranted;
    } catch (...) {
        grant = CGTokenGrant();
        grant.Problem = "the reply could not be read";
        return TokenFailed;
    }
}

int CGTokenClient::ExchangeCode(const std::string& code, const std::string& verifier,
                                const std::string& redirectUri, CGTokenGrant& grant) {
    return Request("grant_type=authorization_code&code=" + FormValue(code) + "&redirect_uri=" +
                       FormValue(redirectUri) + "&code_verifier=" + FormValue(verifier),
                   grant);
}

int CGTokenClient::Refresh(const std::string& refreshToken, CGTokenGrant& grant) {
    return Request("grant_type=refresh_token&refresh_token=" + FormValue(refreshToken) +
                       "&scope=" + FormValue(Provider.Scope),
                   grant);
}

int CGTokenClient::Request(const std::string& form, CGTokenGrant& grant) {
    grant = CGTokenGrant();
    std::string full = form + "&client_id=" + FormValue(Provider.ClientId);
    if (!Provider.ClientSecret.empty())
        full += "&client_secret=" + FormValue(Provider.ClientSecret);
    CGHttpsReply reply;
    switch (Https.PostForm(Provider.TokenUrl, full, reply)) {
    case HttpsDone:
        return ReadTokenReply(reply, std::chrono::steady_clock::now(), grant);
    case HttpsCancelled:
        return TokenCancelled;
    case HttpsTooLarge:
        grant.Problem = "the reply is far too long to be a token";
        return TokenFailed;
    default:
        grant.Problem = "the sign-in server could not be reached securely";
        return TokenUnreachable;
    }
}
