#pragma once

#include "auth/https_client.h"
#include "auth/oauth_provider.h"

#include <chrono>
#include <string>

// How a token request ended.
enum : int {
    TokenGranted = 1,
    TokenUnreachable = 0, // no reply (network, certificate, time-out): worth trying again later
    TokenRefused = -1,    // the grant is gone (revoked, expired, password changed): sign in again
    TokenFailed = -2,     // any other refusal, or a reply that is no token (an HTML page, a
                          // malformed or oversize body)
    TokenCancelled = -3,
};

// What a token endpoint granted.
struct CGTokenGrant {
    std::string AccessToken;
    // Empty when the reply carried none: the one used for the request stays valid.
    std::string RefreshToken;
    std::chrono::steady_clock::time_point Expires;
    // Why a request failed, for the user: the server's error and its description, or what was
    // wrong with the reply.
    std::string Problem;
};

// Reads a token endpoint's reply (RFC 6749 sections 5.1 and 5.2) received at now.
int ReadTokenReply(const CGHttpsReply& reply, std::chrono::steady_clock::time_point now,
                   CGTokenGrant& grant);

// The two requests of the token endpoint: the code of a sign-in for the first tokens, and a
// refresh token for a new access token (and, with providers that rotate them, a new refresh
// token). Blocking; Https.Cancel() ends either from another thread.
class CGTokenClient {
public:
    explicit CGTokenClient(CGOAuthProvider provider) : Provider(std::move(provider)) {}

    int ExchangeCode(const std::string& code, const std::string& verifier,
                     const std::string& redirectUri, CGTokenGrant& grant);
    int Refresh(const std::string& refreshToken, CGTokenGrant& grant);

    CGOAuthProvider Provider;
    CGHttpsClient Https;

private:
    int Request(const std::string& form, CGTokenGrant& grant);
};
