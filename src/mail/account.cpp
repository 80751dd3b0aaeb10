#include "mail/account.h"

#include "config/ini_text.h"

#include <cstdio>
#include <cstring>

CGAccount::CGAccount(unsigned notifyMessage) : CGThreadPOP3(notifyMessage) {}

CGAccount::~CGAccount() {
    // The thread must be gone before the members it could still read.
    Stop();
}

void CGAccount::UpdateName() {
    Name.Assign(AccountName(CopySettings()).c_str());
}

std::string AccountName(const CGServerSettings& settings) {
    std::string name;
    if (!settings.Username.IsEmpty()) {
        name = settings.Username.Get();
        name += " - ";
    }
    name += settings.Server.GetOrEmpty();
    std::string cleaned;
    for (char c : name) {
        if (c != ',')
            cleaned += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return CGIniText::Trim(cleaned.c_str());
}

std::string StatusLine(int status, int unread, int total) {
    const char* fixed = nullptr;
    switch (status) {
    case StatusChecking:
        fixed = "Checking...";
        break;
    case StatusConnectFailed:
        fixed = "Failed to connect to that host/port";
        break;
    case StatusLoginFailed:
        fixed = "Bad username/password";
        break;
    case StatusProtocolError:
        fixed = "Protocol Error";
        break;
    case StatusLimitExceeded:
        fixed = "Server Limit Exceeded";
        break;
    case StatusUntrusted:
        fixed = "Certificate not trusted";
        break;
    case StatusUnencrypted:
        fixed = "Encryption unavailable";
        break;
    case StatusBusy:
        fixed = "Server busy, will retry";
        break;
    case StatusSignInNeeded:
        fixed = "Sign-in needed";
        break;
    default:
        break;
    }
    char line[32];
    if (fixed)
        std::snprintf(line, sizeof line, "%.31s", fixed);
    else
        std::snprintf(line, sizeof line, "%d / %d", unread, total);
    return line;
}

void CGAccount::UpdateStatusText() {
    int unread = 0;
    int total = 0;
    {
        std::lock_guard<std::mutex> lock(Mutex());
        // Both counts of one listing, never one old and one new.
        unread = Session.UnreadCountUnlocked();
        total = Session.MessageCountUnlocked();
    }
    const std::string line = StatusLine(Status.load(), unread, total);
    std::snprintf(StatusText, sizeof StatusText, "%.31s", line.c_str());
}

void CGAccount::ApplySettings(const CGServerSettings& settings) {
    ReplaceSettings(settings);
    UpdateName();
}

bool SameStoredName(const std::string& a, const std::string& b) {
    return CGIniText::SameName(a, b);
}
