#pragma once

#include "auth/sign_in.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

// The account dialog's token work, off the user-interface thread: the wait for the browser's
// redirect and the token requests run on a worker, which posts a message to the dialog when
// it is done. The browser itself is opened by the dialog, on its own thread.
class CSignInRun {
public:
    CSignInRun() = default;
    CSignInRun(const CSignInRun&) = delete;
    CSignInRun& operator=(const CSignInRun&) = delete;
    ~CSignInRun() { Stop(); }

    // Listens for the redirect of a sign-in; the address to open in the browser, or empty
    // with Outcome saying why. Then Wait() lets the worker take it from there.
    std::string Begin(CGSignInRequest request);
    void Wait(HWND dialog, UINT message);
    // A new access token for refreshToken, on the worker.
    void Refresh(HWND dialog, UINT message, const CGOAuthProvider& provider,
                 const std::string& refreshToken);
    // Ends the work at once and waits for the worker; harmless when none runs.
    void Stop();
    // Whether work was started and its message not yet taken with Take().
    bool Busy() const { return Worker.joinable(); }
    // After the message: waits for the worker's end (at once) and gives what it found.
    CGSignInResult Take();

private:
    // Runs work on the worker, which posts message to dialog when it is done.
    void Run(HWND dialog, UINT message, std::function<CGSignInResult()> work);

    std::unique_ptr<CGSignIn> SignIn;
    std::unique_ptr<CGTokenClient> Tokens;
    CGSignInResult Outcome; // written by the worker, read after it has ended
    std::thread Worker;
};

// The boxes of signing in, owned by the dialog.
// No client ID for the provider: what is missing and where the README explains it.
void ReportNoClientId(HWND owner, const std::string& provider);
// A sign-in or a refresh for Check that did not succeed (nothing for a cancelled one).
void ReportSignIn(HWND owner, const CGSignInResult& result);
