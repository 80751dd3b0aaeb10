#include "mail/account_list.h"

#include <chrono>
#include <thread>

CAccountList::EditAccountFn CAccountList::EditAccountHook = nullptr;

CAccountList::CAccountList(unsigned notifyMessage) : NotifyMessage(notifyMessage) {}

CAccountList::~CAccountList() {
    // Stop every thread first (they end together), then free the accounts.
    for (CGAccount* a = Accounts; a; a = a->Next)
        a->RequestQuit();
    while (Accounts) {
        CGAccount* next = Accounts->Next;
        delete Accounts;
        Accounts = next;
    }
}

void CAccountList::StartAll(CGNotifySink* sink) {
    for (CGAccount* a = Accounts; a; a = a->Next) {
        a->NotifySink = sink;
        a->Start();
        // Spread the first checks so that the accounts do not all connect at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(StartSpacingMilliseconds));
    }
}

void CAccountList::CheckNowAll() {
    for (CGAccount* a = Accounts; a; a = a->Next)
        a->RequestCheckNow();
}

void CAccountList::MarkAllRead() {
    for (CGAccount* a = Accounts; a; a = a->Next) {
        a->Session.MarkAllSeen();
        if (CGNotifySink* sink = a->NotifySink.load())
            sink->Notify(a->NotifyMessage);
    }
}

void CAccountList::UpdateStatusTexts() {
    for (CGAccount* a = Accounts; a; a = a->Next)
        a->UpdateStatusText();
}

CGAccount* CAccountList::AddAccount(void* ownerDialog) {
    auto* account = new CGAccount(NotifyMessage);
    if (ownerDialog && EditAccountHook && !EditAccountHook(*account, ownerDialog)) {
        delete account;
        return nullptr;
    }
    Append(account);
    return account;
}

void CAccountList::Append(CGAccount* account) {
    account->Next = nullptr;
    CGAccount** link = &Accounts;
    while (*link)
        link = &(*link)->Next;
    *link = account;
}

void CAccountList::RemoveAccount(CGAccount* account) {
    if (!account)
        return;
    for (CGAccount** link = &Accounts; *link; link = &(*link)->Next) {
        if (*link == account) {
            *link = account->Next;
            if (!account->Section.empty())
                RemovedSections.push_back(account->Section);
            delete account;
            return;
        }
    }
}

void CAccountList::MoveUp(CGAccount* account) {
    if (!account)
        return;
    for (CGAccount** link = &Accounts; *link; link = &(*link)->Next) {
        CGAccount* previous = *link;
        if (previous->Next == account) {
            *link = account;
            previous->Next = account->Next;
            account->Next = previous;
            return;
        }
    }
}

int CAccountList::Count() const {
    int n = 0;
    for (CGAccount* a = Accounts; a; a = a->Next)
        ++n;
    return n;
}

CGAccount* CAccountList::At(int index) const {
    CGAccount* a = Accounts;
    for (int i = 0; a && i < index; ++i)
        a = a->Next;
    return index >= 0 ? a : nullptr;
}

bool CAccountList::AnyUnread() const {
    for (CGAccount* a = Accounts; a; a = a->Next)
        if (a->UnreadCount() > 0)
            return true;
    return false;
}
