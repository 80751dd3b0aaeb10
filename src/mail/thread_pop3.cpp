#include "mail/thread_pop3.h"

#include <chrono>
#include <cstring>

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
}

void CGThreadPOP3::RequestCheckNow() {
    std::lock_guard<std::mutex> lock(Guard);
    CheckNow = 1;
    Wake.notify_all();
}

CGServerSettings CGThreadPOP3::CopySettings() const {
    std::lock_guard<std::mutex> lock(Guard);
    return Settings;
}

void CGThreadPOP3::ReplaceSettings(const CGServerSettings& settings) {
    std::lock_guard<std::mutex> lock(Guard);
    Settings = settings;
}

void CGThreadPOP3::ReplaceEditedSettings(CGServerSettings settings, bool trustDecided) {
    std::lock_guard<std::mutex> lock(Guard);
    const bool same = SameServer(Settings, settings);
    if (!trustDecided) {
        settings.CertPin = same ? Settings.CertPin : std::string();
        settings.StartTls = same ? Settings.StartTls : 0;
        settings.PlainLogin = same ? Settings.PlainLogin : 0;
    }
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
        Status = StatusChecking;
        CGServerSettings settings;
        const int status = GuardedCheck(settings);
        Status = status; // stored before the notification, so the receiver sees this attempt
        Notify();
        const bool goOn = (status == StatusConnectFailed || status == StatusLoginFailed)
                              ? ShortWait()
                              : LongWait(settings.CheckMinutes);
        if (!goOn)
            return;
    }
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
    const int reached = Session.Dialogue.Visit(s.Server.Get(), s.Port, s.UseSSL, s.Username.Get(),
                                               s.Password.Get(), gate);
    if (gate.Learned)
        KeepLearned(s, gate);
    switch (reached) {
    case Pop3NotReached:
        return StatusConnectFailed;
    case Pop3LoginRefused:
        return StatusLoginFailed;
    case Pop3Untrusted:
        return StatusUntrusted;
    case Pop3Unencrypted:
        return StatusUnencrypted;
    default:
        break;
    }
    const int r = Session.ListUidls();
    if (r == -2)
        return StatusLimitExceeded;
    if (r == -1)
        return StatusProtocolError;
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

void CGThreadPOP3::Notify() {
    std::lock_guard<std::mutex> lock(SinkGuard);
    if (CGNotifySink* sink = NotifySink.load())
        sink->Notify(NotifyMessage);
}

void CGThreadPOP3::DetachNotifySink() {
    std::lock_guard<std::mutex> lock(SinkGuard);
    NotifySink = nullptr;
}

bool CGThreadPOP3::LongWait(int minutes) {
    // The interval counts in ticks (one second in the program); check-now ends it at once
    // and is consumed, quit ends the thread.
    const auto ticks = static_cast<long long>(minutes > 0 ? minutes : 0) * 60;
    const auto span = std::chrono::milliseconds(ticks * TickMilliseconds.load());
    std::unique_lock<std::mutex> lock(Guard);
    Wake.wait_for(lock, span, [&] { return QuitRequested || StopRequested || CheckNow; });
    if (QuitRequested || StopRequested)
        return false;
    CheckNow = 0;
    return true;
}

bool CGThreadPOP3::ShortWait() {
    // Five ticks after a failed connection or login; check-now is left for the next long
    // wait.
    const auto span = std::chrono::milliseconds(5LL * TickMilliseconds.load());
    std::unique_lock<std::mutex> lock(Guard);
    Wake.wait_for(lock, span, [&] { return QuitRequested || StopRequested; });
    return !(QuitRequested || StopRequested);
}
