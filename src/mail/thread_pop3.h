#pragma once

#include "auth/token_client.h"
#include "base/text.h"
#include "mail/notify_sink.h"
#include "mail/pop3_session.h"
#include "mail/server_settings.h"
#include "mail/thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

// Account status codes (Status).
enum : int {
    StatusChecking = 1,
    StatusOk = 0,
    StatusConnectFailed = -1,
    StatusLoginFailed = -2,
    StatusProtocolError = -3,
    StatusLimitExceeded = -4,
    StatusUntrusted = -5,    // the certificate did not prove the server; no password was sent
    StatusUnencrypted = -6,  // the server no longer offers encryption; no password was sent
    StatusSignInNeeded = -7, // the provider ended the sign-in: the user must sign in again
    StatusBusy = -8,         // the login was refused for now (mailbox in use, server trouble)
};

// How long, after a resume from sleep or a network that came back, a failed connection is
// taken for a network still on its way (Wi-Fi reconnecting) rather than a failure, in ticks.
constexpr int WakeGraceTicks = 60;

// How long a checking thread waits after an attempt, in ticks (seconds in the program).
// After a refused login five ticks, then twice as long after every further refusal, up to the
// interval (a server that locks accounts or bans addresses after a few failures is not
// hammered), never below five; a successful login or StartOver() begins the sequence anew.
class CGRetryPolicy {
public:
    // status: how the attempt ended; loggedIn: whether its login was taken; delay: the
    // seconds of LOGIN-DELAY the server announced when it refused with that code.
    long long After(int status, int minutes, int loggedIn, int delay);
    void StartOver() { Refusals = 0; }

private:
    int Refusals = 0; // logins refused in a row
};

// A thread that checks one POP3 mailbox forever: connect, log in, list, QUIT, close, notify,
// wait. After a listing attempt it waits CheckMinutes minutes (check-now ends that wait), after
// a failed connection five seconds. A refused login waits five seconds, then twice as long
// after every further refusal, up to CheckMinutes (a server that locks accounts or bans
// addresses after a few failures is not hammered); check-now, an edit of the account or a
// successful login start that sequence over. A server's "not now" ([LOGIN-DELAY]) waits the
// interval or the delay the server announced, whichever is longer. Waits are on a condition
// variable, so check-now and quit take effect at once and an idle thread does not wake.
// During a grace after a wake check, attempts run quietly: no "Checking...", and a failed
// connection keeps the line shown before and notifies nobody (it retries after the short wait).
//
// A signed-in account logs in with an access token that lives only in this thread's memory:
// refreshed when it expires within a minute, and once more when the server refuses it. A
// provider that ended the sign-in gives "Sign-in needed", which waits the interval.
//
// Shared with the user-interface thread, all guarded by Mutex(): the settings (copied once
// per attempt), the session's bookkeeping. Status and the flags are atomics.
class CGThreadPOP3 : public CGThread {
public:
    explicit CGThreadPOP3(unsigned notifyMessage);
    // Stops the thread (waking its wait and interrupting a blocked network step) before any
    // member goes.
    ~CGThreadPOP3() override;

    void Stop() override;
    void Run() override;

    // Asks the thread to end: wakes its wait and fails a blocked network step. Does not wait.
    void RequestQuit();
    // Ends the long wait after a listing (now or, when checking, the next one).
    void RequestCheckNow();
    // The system's check-now, after a resume from sleep or when the network came back: ends
    // the long wait as RequestCheckNow does, but leaves the refusals' back-off as it is (a
    // wrong password is not tried again at every change of the network), and starts a grace
    // of graceTicks (see the class comment).
    void RequestWakeCheck(int graceTicks = WakeGraceTicks);
    // Whether a grace after a wake check is running.
    bool InGrace() const;
    // Copies or replaces the connection settings under the account's mutex; a running
    // attempt keeps the values it started with.
    CGServerSettings CopySettings() const;
    void ReplaceSettings(const CGServerSettings& settings);
    // Replaces the settings with those of the details dialog. What is known about proving
    // the server (CertPin, StartTls, PlainLogin) is taken from them only when the user decided
    // it there (trustDecided); otherwise the account keeps what it knows now, which a check
    // may have learned while the dialog was open, as long as the server stays the same
    // (another server starts with nothing). Raises TrustLearned when that knowledge changed
    // for the same server, so that it is stored at once. Likewise the sign-in (OAuth,
    // OAuthUser, RefreshToken) is taken only when the user signed in or out there
    // (signInDecided): a refresh token the thread rotated meanwhile is kept.
    void ReplaceEditedSettings(CGServerSettings settings, bool trustDecided,
                               bool signInDecided = false);
    int CheckMinutes() const;
    // The provider replaced the refresh token used (in a check, or in the details dialog's
    // Check): the settings take the new one, unless they hold another sign-in by now, and
    // TrustLearned is raised so that it is stored at once.
    void KeepRotatedToken(const std::string& used, const std::string& replacement);

    std::mutex& Mutex() const { return Guard; }

    // Set by CAccountList::StartAll before the thread starts (and again later); read by the
    // thread after every attempt.
    std::atomic<CGNotifySink*> NotifySink{nullptr};
    const unsigned NotifyMessage;
    // Takes the sink away: once this returns, no thread is inside the old sink or will enter
    // it, so its owner may go. Waits only for a notification in progress, never for a check.
    void DetachNotifySink();

    std::atomic<int> Status{0};
    std::atomic<int> QuitRequested{0};
    std::atomic<int> CheckNow{0};
    std::atomic<int> WakeCheck{0};
    // Set when an attempt learned something about the server's certificate or encryption, or
    // the provider replaced the refresh token (now in the settings), for the user-interface
    // thread to store; TakeTrustLearned reads and clears it.
    std::atomic<int> TrustLearned{0};
    int TakeTrustLearned() { return TrustLearned.exchange(0); }
    // Whether a check reads the sender and subject of new mail (TOP n 0), as the user's
    // notification options want.
    std::atomic<int> FetchHeaders{1};
    // Length of the one-second tick that the waits count in; tests shorten it.
    std::atomic<int> TickMilliseconds{1000};
    // The wait chosen after the last attempt, in ticks; set before the notification.
    std::atomic<long long> LastWaitTicks{0};

private:
    mutable std::mutex Guard; // declared before Session, which keeps a pointer to it
    std::condition_variable Wake;
    CGServerSettings Settings; // guarded by Guard
    std::mutex SinkGuard;      // held while the thread calls the sink, and by DetachNotifySink

public:
    CGPOP3Session Session;

protected:
    // One attempt with the settings given; returns the new status. The connection is closed
    // on every way out. Virtual so that tests can make an attempt throw, which no server can.
    virtual int CheckOnce(const CGServerSettings& settings);
    // CheckOnce with the settings of the moment, which it also hands out (for the wait that
    // follows). An exception ends the attempt as a protocol error instead of the thread.
    int GuardedCheck(CGServerSettings& settings);
    void Notify();
    // Publishes how the attempt ended. shown: the status before it; quiet: whether it ran
    // without showing "Checking...".
    void Report(int status, int shown, bool quiet);
    // Keeps what the attempt with settings `used` learned, unless the user changed the
    // server or its trust meanwhile.
    void KeepLearned(const CGServerSettings& used, const CGTlsGate& gate);
    // The login of a signed-in account: the visit with the access token, refreshed as needed.
    // StatusOk with reached set, or the status that ends the attempt.
    int VisitSignedIn(const CGServerSettings& s, CGTlsGate& gate, int& reached);
    // A new access token for refreshToken, which becomes the provider's replacement when it
    // sent one (kept in the settings at once). StatusOk, or the status that ends the attempt.
    int RefreshAccess(const CGServerSettings& s, std::string& refreshToken);

    // Waits ticks; a check-now ends the wait unless it follows a failed connection.
    // False when quit was requested meanwhile.
    bool Pause(long long ticks, bool checkNowEnds);

private:
    // Used by the checking thread only.
    CGRetryPolicy Retry;
    int LoggedIn = 0;              // the last attempt's login was taken
    int AnnouncedDelay = 0;        // seconds of the server's LOGIN-DELAY, after such a refusal
    // The access token, and the refresh token it came with (another means another sign-in).
    struct {
        std::string Token;
        std::string From;
        std::chrono::steady_clock::time_point Expires;
    } Access;
    // Its requests; RequestQuit() cancels the one in progress from the user-interface thread.
    CGTokenClient Tokens{CGOAuthProvider()};
    std::atomic<int> StartOver{0}; // an edit asks the refusal sequence to start over
    // End of the grace, in milliseconds of the steady clock; 0 when none was asked for.
    std::atomic<long long> GraceEndMs{0};
};
