#pragma once

#include "config/settings.h"
#include "mail/account.h"
#include "mail/notify_sink.h"
#include "base/text.h"

#include <string>
#include <vector>

// The configured accounts, in the user's order, and the new-mail options shared by all of
// them. Every operation runs on the user-interface thread; the checking threads never walk
// the list.
class CAccountList {
public:
    explicit CAccountList(unsigned notifyMessage);
    // Destroys the accounts, each stopping its thread first.
    ~CAccountList();
    CAccountList(const CAccountList&) = delete;
    CAccountList& operator=(const CAccountList&) = delete;

    // Gives every account the sink and starts the threads not yet running, in list order,
    // 200 ms apart (the pause follows every account, started or not).
    void StartAll(CGNotifySink* sink);
    // Ends the long wait of every account.
    void CheckNowAll();
    // Marks everything listed as read on every account, then notifies per account (accounts
    // without a sink are skipped).
    void MarkAllRead();
    void UpdateStatusTexts();

    // Creates an account. With an owner and an EditAccountHook, the hook edits it first and
    // a cancel (hook returns 0) destroys it and gives null; otherwise it is appended.
    CGAccount* AddAccount(void* ownerDialog);
    // Unlinks and destroys (an account not in the list is left alone and not destroyed). Its
    // section leaves the settings file at the next save.
    void RemoveAccount(CGAccount* account);
    // Exchanges the account with the one before it; nothing when first or not listed.
    void MoveUp(CGAccount* account);
    // Appends an existing account (taking ownership).
    void Append(CGAccount* account);

    int Count() const;
    // The account at position index from 0, or null.
    CGAccount* At(int index) const;
    // Any account with unread mail.
    bool AnyUnread() const;

    // Reads the options and appends one account per listed section.
    int Load(const char* settingsPath);
    // Writes the options, the account list and every account, then removes the sections and
    // seen files that accounts removed or renamed in this run have left (unless a listed
    // account still has that name). Sections it never knew stay untouched.
    int Save(const char* settingsPath);

    // Set by the dialogs: runs the account details dialog for a new account; 1 = OK.
    using EditAccountFn = int (*)(CGAccount& account, void* ownerDialog);
    static EditAccountFn EditAccountHook;

    const unsigned NotifyMessage;
    int PlaySound = 0;
    CGText CustomSound{""};
    CGAccount* Accounts = nullptr; // owned, linked through Next
    int ChangeColour = 1;
    ColourRef NewMailColour = DefaultNewMailColour;
    // The pause after every account in StartAll.
    int StartSpacingMilliseconds = 200;

private:
    void ForgetUnused(const std::vector<std::string>& sections,
                      const std::vector<std::string>& seenFiles, const char* settingsPath);

    std::vector<std::string> RemovedSections; // of accounts removed since the last save
};
