#pragma once

#include "auth/sign_in.h"
#include "support/dovecot_peer.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The authorization server and the Dovecot that takes its tokens, as tests/support/
// oauth_peer.py runs them around a test binary and the binary finds them in its environment.
struct OAuthPeer {
    bool Available = false;
    std::string Url;          // https://localhost:PORT
    std::string UntrustedUrl; // the same, with a certificate no authority signed
    std::string Control;      // http://127.0.0.1:PORT
    std::string CaCert;       // the test authority (a path as this process sees it)
    std::string ClientId;
    DovecotPeer Dovecot;

    static OAuthPeer FromEnvironment();
    // The server as a provider called name; the test authority joins the process's store of
    // authorities, which otherwise holds none this server's certificate leads to.
    CGOAuthProvider Provider(const char* name = OAuthMicrosoft) const;
    // A control request (see oauth_peer.py): POST, or GET for "/control/stats"; the body.
    std::string Call(const std::string& pathAndQuery) const;
    // A number of the stats ("codes", "refreshes", "untrusted"); -1 when absent.
    long Count(const char* name) const;
    // The stats' "refresh_tokens": every refresh token that works now.
    std::vector<std::string> RefreshTokens() const;
    // What the last authorization request carried under name.
    std::string Authorized(const char* name) const;
};

#define SKIP_WITHOUT_OAUTH(peer)                                                                   \
    if (!(peer).Available)                                                                         \
    GTEST_SKIP() << "runs under tests/support/oauth_peer.py"

// A browser for the sign-in: follows the authorization address to the server, then the
// server's redirect back to the program, on a thread of its own (the program waits for the
// redirect meanwhile), keeping each page the program answered with.
class TestBrowser {
public:
    explicit TestBrowser(const OAuthPeer& peer) : Peer(peer) {}
    ~TestBrowser() { Finish(); }

    // A sign-in whose browser is this one.
    CGSignInRequest Request(CGOAuthProvider provider, const std::string& loginHint = "",
                            std::chrono::milliseconds limit = std::chrono::minutes(5));
    // Runs that sign-in and waits for the browsing to end.
    CGSignInResult SignIn(CGOAuthProvider provider, const std::string& loginHint = "",
                          std::chrono::milliseconds limit = std::chrono::minutes(5));
    int Open(const std::string& url);
    // Waits for the browsing to end.
    void Finish();
    std::vector<std::string> Pages(); // "<status> <body>" of each page the program sent

    // Goes to the program once with this state instead, before the real redirect.
    std::string ForgedState;
    // False: the address is only noted, as when the user closes the browser.
    bool Follow = true;

private:
    void Browse(std::string url);
    const OAuthPeer& Peer;
    std::vector<std::thread> Threads;
    std::mutex Guard;
    std::vector<std::string> Seen;
};
