#include "app/indication.h"

#include "app/app_seams.h"
#include "app/main_window.h"
#include "resources/resource.h"
#include "toolkit/handles.h"

#include <mmsystem.h>

#include <algorithm>

std::string TrayTip(const std::vector<std::string>& lines) {
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            joined += "\r\n";
        joined += lines[i];
    }
    joined.resize(std::min<size_t>(joined.size(), 255));
    joined.resize(std::min<size_t>(joined.size(), 63));
    return joined;
}

SIZE FloatingSize(const std::vector<SIZE>& extents, unsigned dpi) {
    LONG width = 0, height = 0;
    for (const SIZE& e : extents) {
        width = std::max<LONG>(width, e.cx + ScaleToDpi(2 * SideMargin, dpi));
        height += e.cy;
    }
    return {std::max<LONG>(width, ScaleToDpi(75, dpi)), height + ScaleToDpi(2 * TopMargin, dpi)};
}

CGFont FloatingFont(unsigned dpi) {
    constexpr int SystemFontHeight = 16; // the system font's cell at 96 DPI
    LOGFONTW font;
    if ((dpi == DefaultDpi && SystemDpi() == DefaultDpi) || !MessageFontForDpi(dpi, font))
        return nullptr;
    font.lfHeight = ScaleToDpi(SystemFontHeight, dpi);
    font.lfWidth = 0;
    font.lfWeight = FW_BOLD;
    font.lfItalic = 0;
    font.lfUnderline = 0;
    font.lfStrikeOut = 0;
    return CGFont(CreateFontIndirectW(&font));
}

void CMainWindow::RefreshIndication() {
    PlayNewMailSound();
    const bool unread = AccountList.AnyUnread();
    PopupMenu.EnableItem(ID_MARK_AS_READ, unread);
    Tray.SetIcon(unread ? IDI_NEW_MAIL : IDI_MAIL);
    ShowStatusLines(); // and the tray, once, if its image or tooltip changed
}

void CMainWindow::PlayNewMailSound() {
    bool newMail = false;
    std::vector<CAccountNews> news;
    for (CGAccount& a : AccountList) {
        CGNewMailNote note;
        if (a.TakeNewMail(&note)) {
            newMail = true;
            news.push_back({&a, a.Name.GetOrEmpty(), std::move(note)});
        }
    }
    // One sound and one notification however many accounts saw new mail.
    AnnounceNewMail(news);
    if (!newMail || !AccountList.PlaySound)
        return;
    if (!AccountList.CustomSound.IsEmpty())
        AppSeams.PlaySound(AccountList.CustomSound.Get(), nullptr, SND_ASYNC);
    else
        AppSeams.PlaySound("MailBeep", nullptr, SND_ALIAS | SND_ASYNC);
}

void CMainWindow::ShowStatusLines() {
    AccountList.UpdateStatusTexts();
    std::vector<std::string> lines;
    for (CGAccount& a : AccountList)
        lines.emplace_back(a.StatusText);
    const long long fill = AccountList.ChangeColour && AccountList.AnyUnread()
                               ? static_cast<long long>(AccountList.NewMailColour)
                               : -1;
    // A check that changed nothing (most of them) costs no resize, repaint or shell call.
    const bool linesChanged = lines != ShownLines;
    if (linesChanged) {
        std::vector<SIZE> extents;
        CGWindowDC dc(Handle);
        CGSelection font(dc.Get(), LineFont.get());
        for (const std::string& line : lines) {
            SIZE extent = {};
            GetTextExtentPoint32A(dc.Get(), line.c_str(), static_cast<int>(line.size()), &extent);
            LineHeight = extent.cy;
            extents.push_back(extent);
        }
        const SIZE size = FloatingSize(extents, Dpi);
        SetSize(size.cx, size.cy);
    }
    // The tooltip also says what to do about a sign-in that ended.
    std::vector<std::string> tips = lines;
    for (std::string& t : tips)
        if (t == StatusLine(StatusSignInNeeded, 0, 0))
            t = "Sign-in needed: open Configure";
    const std::string tip = TrayTip(tips);
    lstrcpynA(Tray.IconData.szTip, tip.c_str(), sizeof Tray.IconData.szTip);
    Tray.Modify();
    UpdateLineTips(); // when a line or what it names changed
    if (linesChanged || fill != ShownFill)
        Redraw();
    ShownLines = std::move(lines);
    ShownFill = fill;
}

void CMainWindow::OnPaint(HDC dc) {
    RECT r;
    GetClientRect(Handle, &r);
    if (AccountList.ChangeColour && AccountList.AnyUnread()) {
        CGBrush brush(CreateSolidBrush(AccountList.NewMailColour));
        FillRect(dc, &r, brush.get());
        SetBkColor(dc, AccountList.NewMailColour);
    }
    const int side = ScaleToDpi(SideMargin, Dpi), top = ScaleToDpi(TopMargin, Dpi);
    r.left += side;
    r.right -= side;
    r.top += top;
    r.bottom -= top;
    CGSelection font(dc, LineFont.get());
    for (CGAccount& a : AccountList) {
        // Centred between the margins, but not cut at them: the last line's descenders reach
        // below the bottom margin, and the window's frame takes a pixel of each margin.
        DrawTextA(dc, a.StatusText, lstrlenA(a.StatusText), &r,
                  DT_SINGLELINE | DT_CENTER | DT_NOCLIP);
        r.top += LineHeight;
    }
}
