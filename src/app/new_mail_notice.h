#pragma once

#include "mail/message_headers.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// The notification of new mail: one per round of account reports that brought new mail,
// shown from the tray icon (a balloon; a toast on Windows 10 and 11).

class CGAccount;

// One account's part of it.
struct CAccountNews {
    CGAccount* Account = nullptr; // not owned
    std::string Name;
    CGNewMailNote Note;
};

// Its texts, in UTF-8.
struct CNewMailNotice {
    std::string Title;
    std::string Text;
};

// The title ("New mail for <account>", or "New mail" for several accounts) and the text: with
// details, up to three lines "Sender: Subject" in account order, then "and N more" for the
// rest; otherwise, or when no sender is known, "N new messages".
CNewMailNotice ComposeNotice(const std::vector<CAccountNews>& news, bool details);

// "Sender: Subject" of one message, cut to maxUnits UTF-16 units.
std::string MessageLine(const CGMessageHeaders& headers, std::size_t maxUnits = 76);

// The UTF-8 text as UTF-16 of at most maxUnits units, cut between characters with "…" at the
// end when it did not fit.
std::wstring WideCut(const std::string& text, std::size_t maxUnits);

// The tray's balloon (NIF_INFO) for the icon iconId of window: the notification, quiet
// during the user's quiet time and without a sound of its own (the program plays its own
// when the user wants one). 1 when the shell took it.
int ShowNotice(HWND window, unsigned iconId, const CNewMailNotice& notice);
