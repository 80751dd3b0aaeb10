#include "mail/account_list.h"

#include <chrono>
#include <thread>

CAccountList::CAccountList(unsigned notifyMessage) : NotifyMessage(notifyMessage) {}

CAccountList::~CAccountList() {
    // Stop every thread first (they end together), then free the accounts.
    for (CGAccount& a : *this)
        a.RequestQuit();
    Accounts.clear();
}

void CAccountList::StartAll(CGNotifySink* sink) {
    for (CGAccount& a : *this) {
        a.NotifySink = sink;
        a.Start();
        // Spread the first checks so that the accounts do not all connect at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(StartSpacingMilliseconds));
    }
}

void CAccountList::CheckNowAll() {
    for (CGAccount& a : *this)
        a.RequestCheckNow();
}

void CAccountList::CheckAfterWake() {
    for (CGAccount& a : *this)
        a.RequestWakeCheck();
}

void CAccountList::MarkAllRead() {
    for (CGAccount& a : *this) {
        a.Session.MarkAllSeen();
        if (CGNotifySink* sink = a.NotifySink.load())
            sink->Notify(a.NotifyMessage);
    }
}

void CAccountList::UpdateStatusTexts() {
    for (CGAccount& a : *this)
        a.UpdateStatusText();
}

CGAccount* CAccountList::AddAccount(const std::function<int(CGAccount&)>& edit) {
    auto account = std::make_unique<CGAccount>(NotifyMessage);
    if (edit && !edit(*account))
        return nullptr;
    return Append(std::move(account));
}

CGAccount* CAccountList::Append(std::unique_ptr<CGAccount> account) {
    Accounts.push_back(std::move(account));
    return Accounts.back().get();
}

void CAccountList::RemoveAccount(CGAccount* account) {
    const int index = IndexOf(account);
    if (index < 0)
        return;
    if (!account->Section.empty())
        RemovedSections.push_back(account->Section);
    if (!account->UidlFilePath.empty())
        RemovedSeenFiles.push_back(account->UidlFilePath);
    Accounts.erase(Accounts.begin() + index);
}

void CAccountList::MoveUp(CGAccount* account) {
    const int index = IndexOf(account);
    if (index > 0)
        std::swap(Accounts[index - 1], Accounts[index]);
}

int CAccountList::ReleaseAtExit(int waitMilliseconds) {
    for (CGAccount& a : *this) {
        a.DetachNotifySink();
        a.RequestQuit();
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    auto running = [&] {
        int n = 0;
        for (CGAccount& a : *this)
            n += a.IsRunning() ? 1 : 0;
        return n;
    };
    while (running() > 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int left = 0;
    for (std::unique_ptr<CGAccount>& a : Accounts) {
        if (!a->IsRunning())
            continue;
        // Destroying it would wait for its thread. It has no sink and nothing else of the
        // program's, so the end of the process may take it, thread and all.
        (void)a.release();
        ++left;
    }
    Accounts.clear();
    return left;
}

CGAccount* CAccountList::At(int index) const {
    return index >= 0 && index < Count() ? Accounts[index].get() : nullptr;
}

int CAccountList::IndexOf(const CGAccount* account) const {
    for (int i = 0; i < Count(); ++i)
        if (Accounts[i].get() == account)
            return i;
    return -1;
}

bool CAccountList::AnyUnread() const {
    for (CGAccount& a : *this)
        if (a.UnreadCount() > 0)
            return true;
    return false;
}

bool CAccountList::AnyStoredIn(const std::string& section) const {
    for (CGAccount& a : *this)
        if (SameStoredName(section, a.Section))
            return true;
    return false;
}

bool CAccountList::AnySeenAt(const std::string& file) const {
    for (CGAccount& a : *this)
        if (SameStoredName(file, a.UidlFilePath))
            return true;
    return false;
}

bool CAccountList::NameTaken(const std::string& name, const CGAccount* except) const {
    for (CGAccount& a : *this)
        if (&a != except && SameStoredName(name, a.Name.GetOrEmpty()))
            return true;
    return false;
}
