#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CGAccount;

// Tooltips over the floating window's status lines, one per account: the account's name and
// the senders and subjects of its last new mail.
class CLineTips {
public:
    CLineTips() = default;
    ~CLineTips();
    CLineTips(const CLineTips&) = delete;
    CLineTips& operator=(const CLineTips&) = delete;

    // Makes line i of owner (the area lines[i]) show texts[i] (UTF-8), in place of what the
    // lines showed before; nothing is done when nothing changed. The tooltip window is made
    // at the first call.
    void Update(HWND owner, const std::vector<RECT>& lines, const std::vector<std::string>& texts);
    HWND Window() const { return Tip; }

private:
    HWND Tip = nullptr; // owned; an owned window also goes with its owner
    UINT Tools = 0;     // tools 0 .. Tools - 1 are registered
    std::vector<RECT> ShownLines;
    std::vector<std::string> ShownTexts;
};

// The tip of an account's line: its name, then (with details) "Sender: Subject" of each
// message of its last new mail, one per line.
std::string LineTipText(const CGAccount& account, bool details);
