#pragma once

// Shared pieces of the account dialog tests: accounts made without a thread, and reads of
// what the dialogs show.

// windows.h first: it renames PlaySound, a member of the account list, and every use in a
// test must see the same name.
#include <windows.h>

#include "mail/account_list.h"
#include "support/dialog_driver.h"

#include <string>
#include <vector>

inline CGAccount* AddNamed(CAccountList& list, const char* user, const char* server) {
    CGAccount* account = list.AddAccount();
    CGServerSettings s;
    s.Username.Assign(user);
    s.Server.Assign(server);
    account->ApplySettings(s);
    return account;
}

inline std::vector<std::string> ListLines(HWND dialog, int id) {
    std::vector<std::string> lines;
    HWND box = GetDlgItem(dialog, id);
    LRESULT n = SendMessageA(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[512] = {};
        SendMessageA(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        lines.emplace_back(text);
    }
    return lines;
}

inline std::vector<std::string> AccountNames(const CAccountList& list) {
    std::vector<std::string> names;
    for (const CGAccount& a : list)
        names.emplace_back(a.Name.IsNull() ? "(null)" : a.Name.Get());
    return names;
}

// Selects a line as the user does: the list notifies its dialog.
inline void SelectLine(HWND dialog, int id, int line) {
    HWND box = GetDlgItem(dialog, id);
    SendMessageA(box, LB_SETCURSEL, line, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

inline int SelectedLine(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageA(dialog, id, LB_GETCURSEL, 0, 0));
}
