#include "mail/account.h"
#include "mail/account_list.h"

// Reading and writing the settings file arrive with the settings store; until then nothing
// is loaded or saved.
int CGAccount::Load(const char*, const char*) {
    UpdateName();
    UpdateStatusText();
    return 0;
}

int CGAccount::Save(const char*) {
    return 0;
}

int CAccountList::Load(const char*) {
    return 0;
}

int CAccountList::Save(const char*) {
    return 0;
}
