#include "mail/thread_pop3.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

long long SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CGThreadPOP3::CGThreadPOP3(unsigned notifyMessage)
    : NotifyMessage(notifyMessage), Session(&Guard) {}

CGThreadPOP3::~CGThreadPOP3() {
    Stop();
}

void CGThreadPOP3::Stop() {
    RequestQuit();
    CGThread::Stop();
}

void CGThreadPOP3::RequestQuit() {
    QuitRequested = 1;
    {
        // Taking the lock orders the flag before a waiter's test of it, so no wake is missed.
        std::lock_guard<std::mutex> lock(Guard);
        Wake.notify_all();
    }
    Session.Transport.Interrupt(); // a step blocked on the network fails now, not at its time-out
    Tokens.Https.Cancel();
}

void CGThreadPOP3::RequestCheckNow() {
    std::lock_guard<std::mutex> lock(Guard);
    CheckNow = 1;
    Wake.notify_all();
}

void CGThreadPOP3::RequestWakeCheck(int graceTicks) {
    GraceEndMs = SteadyMilliseconds() + static_cast<long long>(graceTicks) * TickMilliseconds;
    std::lock_guard<std::mutex> lock(Guard);
    WakeCheck = 1;
    Wake.notify_all();
}

bool CGThreadPOP3::InGrace() const {
    return SteadyMilliseconds() < GraceEndMs.load();
}

CGServerSettings CGThreadPOP3::CopySettings() const {
    std::lock_guard<std::mutex> lock(Guard);
    return Settings;
}

void CGThreadPOP3::ReplaceSettings(const CGServerSettings& settings) {
    std::lock_guard<std::mutex> lock(Guard);
    Settings = settings;
}

void CGThreadPOP3::ReplaceEditedSettings(CGServerSettings settings, bool trustDecided,
                                         bool signInDecided) {
    std::lock_guard<std::mutex> lock(Guard);
    if (!signInDecided) {
        settings.OAuth = Settings.OAuth;
        settings.OAuthUser = Settings.OAuthUser;
        settings.RefreshToken = Settings.RefreshToken;
    }
    const bool same = SameServer(Settings, settings);
    if (!trustDecided) {
        settings.CertPin = same ? Settings.CertPin : std::string();
        settings.StartTls = same ? Settings.StartTls : 0;
        settings.PlainLogin = same ? Settings.PlainLogin : 0;
    }
    StartOver = 1;
    if (same && (settings.CertPin != Settings.CertPin || settings.StartTls != Settings.StartTls ||
                 settings.PlainLogin != Settings.PlainLogin))
        TrustLearned = 1;
    Settings = std::move(settings);
}

int CGThreadPOP3::CheckMinutes() const {
    std::lock_guard<std::mutex> lock(Guard);
    return Settings.CheckMinutes;
}

void CGThreadPOP3::Run() {
    while (!QuitRequested && !StopRequested) {
        WakeCheck = 0; // this attempt answers every wake check asked for so far
        const bool quiet = InGrace();
        const int shown = Status.load();
        if (!quiet)
            Status = StatusChecking;
        CGServerSettings settings;
        const int status = GuardedCheck(settings);
        if (StartOver.exchange(0))
            Retry.StartOver();
        const long long ticks =
            Retry.After(status, settings.CheckMinutes, LoggedIn, AnnouncedDelay);
        LastWaitTicks = ticks;
        Report(status, shown, quiet);
        if (!Pause(ticks, status != StatusConnectFailed))
            return;
    }
}

void CGThreadPOP3::Report(int status, int shown, bool quiet) {
    if (status == StatusConnectFailed && InGrace()) {
        // The network may still be coming back: the line shown before stays. Only an attempt
        // that began before the grace may have shown "Checking...", and is told to put it back.
        Status = shown;
        if (!quiet)
            Notify();
        return;
    }
    Status = status; // stored before the notification, so the receiver sees this attempt
    Notify();
}

int CGThreadPOP3::GuardedCheck(CGServerSettings& settings) {
    try {
        settings = CopySettings();
        return CheckOnce(settings);
    } catch (...) {
        // Most likely out of memory. The attempt fails like a broken listing, and so the
        // long wait follows: a server that exhausts memory is not asked every five seconds.
        Session.Close();
        settings.CheckMinutes = CheckMinutes();
        LoggedIn = 0;
        return StatusProtocolError;
    }
}

int CGThreadPOP3::CheckOnce(const CGServerSettings& s) {
    struct CloseOnExit {
        CGPOP3Session& Session;
        ~CloseOnExit() { Session.Close(); }
    } closer{Session};

    CGTlsGate gate;
    gate.CertPin = s.CertPin;
    gate.StartTls = s.StartTls;
    gate.PlainLogin = s.PlainLogin;
    gate.AuthorityOnly = IsProviderHost(s.Server.Get());
    // Without authorities nothing verifies: a key would be pinned whatever answers.
    gate.NoFirstUse = !Session.Transport.CanVerify();
    LoggedIn = 0;
    AnnouncedDelay = 0;
    int reached = Pop3NotReached;
    if (s.OAuth.empty()) {
        reached = Session.Dialogue.Visit(s.Server.Get(), s.Port, s.UseSSL, s.Username.Get(),
                                         s.Password.Get(), gate);
    } else if (const int status = VisitSignedIn(s, gate, reached); status != StatusOk) {
        return status;
    }
    if (gate.Learned)
        KeepLearned(s, gate);
    switch (reached) {
    case Pop3NotReached:
        return StatusConnectFailed;
    case Pop3LoginRefused:
        return StatusLoginFailed;
    case Pop3LoginBusy:
        return StatusBusy;
    case Pop3LoginDelayed:
        AnnouncedDelay = Session.Dialogue.Capabilities.LoginDelay;
        return StatusLimitExceeded;
    case Pop3Untrusted:
        return StatusUntrusted;
    case Pop3Unencrypted:
        return StatusUnencrypted;
    case Pop3NoXoauth2:
        return StatusProtocolError;
    case Pop3TokenRefused:
        return StatusSignInNeeded;
    default:
        break;
    }
    LoggedIn = 1;
    const int r = Session.ListUidls(FetchHeaders);
    if (r == -2)
        return StatusLimitExceeded;
    if (r == -1)
        return StatusProtocolError;
    // The server ends the session its own way (and keeps its process for the next one).
    Session.Dialogue.Quit();
    return StatusOk;
}

void CGThreadPOP3::KeepLearned(const CGServerSettings& used, const CGTlsGate& gate) {
    std::lock_guard<std::mutex> lock(Guard);
    CGServerSettings& now = Settings;
    if (!SameServer(now, used) || now.CertPin != used.CertPin || now.StartTls != used.StartTls ||
        now.PlainLogin != used.PlainLogin)
        return;
    now.CertPin = gate.CertPin;
    now.StartTls = gate.StartTls;
    TrustLearned = 1;
}

int CGThreadPOP3::VisitSignedIn(const CGServerSettings& s, CGTlsGate& gate, int& reached) {
    std::string refreshToken = s.RefreshToken;
    const auto soon = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    bool fresh = false;
    if (Access.Token.empty() || Access.From != refreshToken || Access.Expires <= soon) {
        if (const int status = RefreshAccess(s, refreshToken); status != StatusOk)
            return status;
        fresh = true;
    }
    const char* user = s.OAuthUser.c_str();
    reached = Session.Dialogue.Visit(s.Server.Get(), s.Port, s.UseSSL, user, nullptr, gate,
                                     Access.Token.c_str());
    if (reached != Pop3TokenRefused || fresh)
        return StatusOk;
    // Revoked before its time, or the clocks disagree: one new token, on a new connection.
    Session.Close();
    if (const int status = RefreshAccess(s, refreshToken); status != StatusOk)
        return status;
    reached = Session.Dialogue.Visit(s.Server.Get(), s.Port, s.UseSSL, user, nullptr, gate,
                                     Access.Token.c_str());
    return StatusOk;
}

int CGThreadPOP3::RefreshAccess(const CGServerSettings& s, std::string& refreshToken) {
    Access = {};
    Tokens.Provider = FindOAuthProvider(s.OAuth);
    if (refreshToken.empty() || Tokens.Provider.ClientId.empty())
        return StatusSignInNeeded; // the sign-in could not be read back, or cannot be used here
    CGTokenGrant grant;
    switch (Tokens.Refresh(refreshToken, grant)) {
    case TokenGranted:
        break;
    case TokenRefused:
        return StatusSignInNeeded;
    case TokenUnreachable:
    case TokenCancelled:
        return StatusConnectFailed;
    default:
        return StatusProtocolError;
    }
    if (!grant.RefreshToken.empty() && grant.RefreshToken != refreshToken) {
        KeepRotatedToken(refreshToken, grant.RefreshToken);
        refreshToken = grant.RefreshToken;
    }
    Access.Token = grant.AccessToken;
    Access.From = refreshToken;
    Access.Expires = grant.Expires;
    return StatusOk;
}

void CGThreadPOP3::KeepRotatedToken(const std::string& used, const std::string& replacement) {
    std::lock_guard<std::mutex> lock(Guard);
    if (Settings.RefreshToken != used)
        return;
    Settings.RefreshToken = replacement;
    TrustLearned = 1;
}

void CGThreadPOP3::Notify() {
    std::lock_guard<std::mutex> lock(SinkGuard);
    if (CGNotifySink* sink = NotifySink.load())
        sink->Notify(NotifyMessage);
}

void CGThreadPOP3::DetachNotifySink() {
    std::lock_guard<std::mutex> lock(SinkGuard);
    NotifySink = nullptr;
}

long long CGRetryPolicy::After(int status, int minutes, int loggedIn, int delay) {
    constexpr long long Short = 5;
    const long long interval = static_cast<long long>(minutes > 0 ? minutes : 0) * 60;
    if (loggedIn)
        Refusals = 0;
    switch (status) {
    case StatusConnectFailed:
        return Short; // a network that comes back is seen quickly
    case StatusLoginFailed:
    case StatusBusy: {
        const long long doubled = Short << std::min(Refusals, 30);
        ++Refusals;
        return std::max(Short, std::min(doubled, interval));
    }
    case StatusLimitExceeded:
        return std::max(interval, static_cast<long long>(delay));
    default:
        return interval;
    }
}

bool CGThreadPOP3::Pause(long long ticks, bool checkNowEnds) {
    // Counted in ticks (one second in the program); check-now ends the wait at once, is
    // consumed and starts the refusals over (the system's wake check only ends the wait);
    // quit ends the thread.
    const auto span = std::chrono::milliseconds(ticks * TickMilliseconds.load());
    std::unique_lock<std::mutex> lock(Guard);
    Wake.wait_for(lock, span, [&] {
        return QuitRequested || StopRequested || (checkNowEnds && (CheckNow || WakeCheck));
    });
    if (QuitRequested || StopRequested)
        return false;
    if (checkNowEnds && CheckNow.exchange(0))
        Retry.StartOver();
    return true;
}
