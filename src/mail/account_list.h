#pragma once

#include "base/text.h"
#include "config/settings.h"
#include "mail/account.h"
#include "mail/notify_sink.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The configured accounts, in the user's order, and the new-mail options shared by all of
// them. The list owns its accounts; the raw pointers it hands out never own. Every operation
// runs on the user-interface thread; the checking threads never walk the list.
class CAccountList {
    using Owned = std::vector<std::unique_ptr<CGAccount>>;

public:
    explicit CAccountList(unsigned notifyMessage);
    // Destroys the accounts, each stopping its thread first (all are asked to quit at once).
    ~CAccountList();
    CAccountList(const CAccountList&) = delete;
    CAccountList& operator=(const CAccountList&) = delete;

    // Gives every account the sink and starts the threads not yet running, in list order,
    // 200 ms apart (the pause follows every account, started or not).
    void StartAll(CGNotifySink* sink);
    // Ends the long wait of every account.
    void CheckNowAll();
    // The same on the system's behalf, after a resume from sleep or when the network came
    // back: every account checks, quietly while the network may still be on its way
    // (CGThreadPOP3::RequestWakeCheck).
    void CheckAfterWake();
    // Marks everything listed as read on every account, then notifies per account (accounts
    // without a sink are skipped).
    void MarkAllRead();
    void UpdateStatusTexts();

    // Creates an account and appends it. With edit, edit(account) runs first, and when it
    // gives 0 (the details dialog was cancelled) the account is destroyed and null returned.
    CGAccount* AddAccount(const std::function<int(CGAccount&)>& edit = nullptr);
    // Destroys the account (an account not in the list is left alone and not destroyed). Its
    // section and seen file go at the next save, which drops it from the list.
    void RemoveAccount(CGAccount* account);
    // Exchanges the account with the one before it; nothing when first or not listed.
    void MoveUp(CGAccount* account);
    // Appends an existing account; returns it.
    CGAccount* Append(std::unique_ptr<CGAccount> account);

    // The exit: every account is told to quit, its socket interrupted and its sink taken
    // away, so no thread can reach anything the program is about to destroy. Accounts whose
    // threads end within waitMilliseconds are destroyed; the others are left to the end of
    // the process, never waited for (a thread may be blocked on a server). The list is empty
    // afterwards. Returns how many threads were still running.
    int ReleaseAtExit(int waitMilliseconds);

    int Count() const { return static_cast<int>(Accounts.size()); }
    // The account at position index from 0, or null.
    CGAccount* At(int index) const;
    // The position of the account, or -1 when it is not listed.
    int IndexOf(const CGAccount* account) const;
    // Any account with unread mail.
    bool AnyUnread() const;

    // The accounts in order, as references: for (CGAccount& a : list).
    class Iterator {
    public:
        explicit Iterator(Owned::const_iterator at) : At(at) {}
        CGAccount& operator*() const { return **At; }
        Iterator& operator++() {
            ++At;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return At != other.At; }

    private:
        Owned::const_iterator At;
    };
    Iterator begin() const { return Iterator(Accounts.begin()); }
    Iterator end() const { return Iterator(Accounts.end()); }

    // Reads the options and appends one account per listed section.
    int Load(const char* settingsPath);
    // Writes every account (each into a section and seen file of its own), then the options
    // and the account list, then removes the sections and seen files that accounts removed or
    // renamed in this run have left (unless a listed account is stored there now). Sections
    // it never knew stay untouched.
    int Save(const char* settingsPath);
    // Whether an account other than except has this name (AccountName), which the account
    // dialog refuses.
    bool NameTaken(const std::string& name, const CGAccount* except) const;

    const unsigned NotifyMessage;
    int PlaySound = 0;
    CGText CustomSound{""};
    int ChangeColour = 1;
    ColourRef NewMailColour = DefaultNewMailColour;
    // The pause after every account in StartAll.
    int StartSpacingMilliseconds = 200;

private:
    void ForgetUnused(const std::vector<std::string>& sections,
                      const std::vector<std::string>& seenFiles, const char* settingsPath);
    // The section each account is saved into, in list order.
    std::vector<std::string> PlanSections() const;
    bool AnyStoredIn(const std::string& section) const;
    bool AnySeenAt(const std::string& file) const;

    Owned Accounts;
    // Where the accounts removed since the last save were stored.
    std::vector<std::string> RemovedSections;
    std::vector<std::string> RemovedSeenFiles;
};
