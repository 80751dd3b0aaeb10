#include "app/line_tips.h"

#include "app/indication.h"
#include "app/main_window.h"
#include "app/new_mail_notice.h"
#include "mail/account.h"

#include <commctrl.h>

#include <algorithm>

namespace {

// A line of a tip is as long as a line of the notification; the tip wraps at this width.
constexpr int TipWidth = 480;
constexpr std::size_t MaxTipUnits = 1023;

TTTOOLINFOW Tool(HWND owner, UINT id) {
    TTTOOLINFOW info = {};
    info.cbSize = sizeof info;
    info.uFlags = TTF_SUBCLASS;
    info.hwnd = owner;
    info.uId = id;
    return info;
}

} // namespace

CLineTips::~CLineTips() {
    if (Tip && IsWindow(Tip))
        DestroyWindow(Tip);
}

void CLineTips::Update(HWND owner, const std::vector<RECT>& lines,
                       const std::vector<std::string>& texts) {
    const auto same = [](const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; };
    if (Tip && texts == ShownTexts &&
        std::equal(lines.begin(), lines.end(), ShownLines.begin(), ShownLines.end(), same))
        return;
    ShownLines = lines;
    ShownTexts = texts;
    if (!Tip) {
        Tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
        if (!Tip)
            return; // no tips, as with no tooltip control at all
        SendMessageW(Tip, TTM_SETMAXTIPWIDTH, 0, TipWidth);
    }
    for (UINT id = 0; id < Tools; ++id) {
        TTTOOLINFOW info = Tool(owner, id);
        SendMessageW(Tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    Tools = 0;
    for (std::size_t i = 0; i < lines.size() && i < texts.size(); ++i) {
        std::wstring text = WideCut(texts[i], MaxTipUnits);
        TTTOOLINFOW info = Tool(owner, Tools);
        info.rect = lines[i];
        info.lpszText = text.data(); // copied by the control
        if (SendMessageW(Tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)))
            ++Tools;
    }
}

std::string LineTipText(const CGAccount& account, bool details) {
    std::string text = account.Name.GetOrEmpty();
    if (details)
        for (const CGMessageHeaders& h : account.LastNewMail)
            text += "\r\n" + MessageLine(h);
    return text;
}

void CMainWindow::UpdateLineTips() {
    // The lines as OnPaint draws them: below the top margin, LineHeight apart, across.
    RECT client;
    GetClientRect(Handle, &client);
    std::vector<RECT> lines;
    std::vector<std::string> texts;
    LONG top = client.top + ScaleToDpi(TopMargin, Dpi);
    for (CGAccount& a : AccountList) {
        lines.push_back({client.left, top, client.right, top + LineHeight});
        texts.push_back(LineTipText(a, AccountList.NotifyDetails != 0));
        top += LineHeight;
    }
    LineTips.Update(Handle, lines, texts);
}
