#pragma once

#include "base/text.h"
#include "mail/thread_pop3.h"

#include <string>
#include <vector>

// One configured mailbox as the user sees it: its checking thread and session, a display
// name (also its settings section), a status line, and the program to open for it.
//
// Threads: the members declared here are used on the user-interface thread only. The settings
// and the session's bookkeeping are shared with the checking thread and guarded by
// Mutex() (see CGThreadPOP3).
class CGAccount : public CGThreadPOP3 {
public:
    explicit CGAccount(unsigned notifyMessage);
    ~CGAccount() override;

    // Name = AccountName of the settings.
    void UpdateName();
    // StatusText from Status and the counts: "Checking...", "%d / %d", or the failure text,
    // cut to 31 characters.
    void UpdateStatusText();
    // Replaces the connection settings (under the mutex) and rebuilds the name, as the
    // details dialog does on OK. The thread uses them from its next attempt on.
    void ApplySettings(const CGServerSettings& settings);

    // Fills the account from a settings section and reads its seen-identifier file.
    int Load(const char* section, const char* settingsPath);
    // Writes the account into section and its seen list to that section's seen file
    // (replacing that file atomically). Section and UidlFilePath move to the new places only
    // once each is written whole. 1 when everything was written.
    int Save(const std::string& section, const char* settingsPath);

    // Writes what is known about proving the server ("certpin", "starttls", "plainlogin") and
    // the sign-in ("oauth", "oauth-user", "oauth-token": a refresh token the provider replaced)
    // to the section the account is stored in, at once rather than at exit: the next start
    // must not trust a key afresh, nor hold a refresh token the provider has retired. Only while
    // that section holds the same server: after an edit to another server the whole account moves
    // at the next save, and the old section must never get the new server's keys. 1 when written or
    // nothing is to be written now.
    int SaveTrust(const char* settingsPath);

    // Writes the seen list to path through a temporary file renamed over it; 1 on success.
    int SaveSeenList(const std::string& path) const;
    int SaveSeenListInPlace(const std::string& path) const;

    // Convenience reads of the session's bookkeeping.
    int UnreadCount() const { return Session.UnreadCount(); }
    int MessageCount() const { return Session.MessageCount(); }
    // Reads and clears NewMail; what was announced moves to note when given.
    int TakeNewMail(CGNewMailNote* note = nullptr) { return Session.TakeNewMail(note); }

    // Where the account is stored now: the section it was loaded from or last saved under
    // (its entry in the account list: Name, or Name with a number when another account has
    // that name), and the file holding its seen list. Empty for an account that was never
    // stored. They lag behind Name after an edit until the next save moves them.
    std::string Section;
    std::string UidlFilePath;
    // The server (host, port, kind of connection) that Section holds.
    CGServerSettings StoredServer;
    char StatusText[32] = {};
    CGText Name{""};
    CGText DoubleClick;
    // The senders and subjects of the account's last announced new mail, newest first.
    std::vector<CGMessageHeaders> LastNewMail;
};

// "Username - Server", or Server alone when there is no user name. The name is also the
// account's entry in the comma-separated account list and its section in the settings file,
// so it has no commas, no line ends and no blanks at either end (the store drops those).
std::string AccountName(const CGServerSettings& settings);

// The seen-identifier file of a section: the section's name with every character that a
// file name cannot hold replaced by "_" (and a "_" before a name that Windows reserves for a
// device), so ordinary names keep their file.
std::string SeenFilePath(const std::string& section);

// The status line for a status code and counts, at most 31 characters.
std::string StatusLine(int status, int unread, int total);

// Whether two section names (or seen-file paths) name the same thing: the settings file and
// the Windows file system ignore letter case.
bool SameStoredName(const std::string& a, const std::string& b);
