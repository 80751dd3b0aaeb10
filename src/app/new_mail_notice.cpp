#include "app/new_mail_notice.h"

#include "app/app_seams.h"
#include "app/main_window.h"
#include "base/text.h"

#include <shellapi.h>

#include <algorithm>

namespace {

// Three lines of 76 and "and N more" stay within the 255 characters a balloon holds.
constexpr std::size_t MaxLines = 3;
constexpr std::size_t MaxTitleUnits = 63;
constexpr std::size_t MaxTextUnits = 255;

// The UTF-16 units of the UTF-8 sequence led by b (a stray byte counts as one).
std::size_t Units(unsigned char b) {
    return b >= 0xF0 ? 2 : 1;
}
std::size_t SequenceBytes(unsigned char b) {
    return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
}

// The text cut to maxUnits UTF-16 units between characters, "…" ending a cut one.
std::string CutUtf8(const std::string& text, std::size_t maxUnits) {
    std::size_t units = 0, fitsWithMark = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto b = static_cast<unsigned char>(text[at]);
        units += Units(b);
        at = std::min(text.size(), at + SequenceBytes(b));
        if (units + 1 <= maxUnits)
            fitsWithMark = at;
    }
    if (units <= maxUnits)
        return text;
    return text.substr(0, fitsWithMark) + "\xE2\x80\xA6";
}

std::string Count(int n) {
    return std::to_string(n) + (n == 1 ? " new message" : " new messages");
}

} // namespace

std::string MessageLine(const CGMessageHeaders& headers, std::size_t maxUnits) {
    const std::string sender = headers.Sender.empty() ? "(unknown sender)" : headers.Sender;
    const std::string subject = headers.Subject.empty() ? "(no subject)" : headers.Subject;
    return CutUtf8(sender + ": " + subject, maxUnits);
}

CNewMailNotice ComposeNotice(const std::vector<CAccountNews>& news, bool details) {
    CNewMailNotice notice;
    notice.Title = news.size() == 1 ? CutUtf8("New mail for " + news[0].Name, MaxTitleUnits)
                                    : std::string("New mail");
    int total = 0;
    std::vector<std::string> lines;
    for (const CAccountNews& n : news) {
        total += n.Note.Count;
        for (const CGMessageHeaders& h : n.Note.Headers)
            if (details && lines.size() < MaxLines)
                lines.push_back(MessageLine(h));
    }
    if (lines.empty()) {
        notice.Text = Count(total);
        return notice;
    }
    for (const std::string& line : lines)
        notice.Text += (notice.Text.empty() ? "" : "\n") + line;
    const int rest = total - static_cast<int>(lines.size());
    if (rest > 0)
        notice.Text += "\nand " + std::to_string(rest) + " more";
    return notice;
}

std::wstring WideCut(const std::string& text, std::size_t maxUnits) {
    CGText cut(CutUtf8(text, maxUnits).c_str());
    cut.BuildWide();
    const char16_t* wide = cut.Wide() ? cut.Wide() : u"";
    return std::wstring(wide, wide + std::char_traits<char16_t>::length(wide));
}

int ShowNotice(HWND window, unsigned iconId, const CNewMailNotice& notice) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = iconId;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND | NIIF_RESPECT_QUIET_TIME;
    lstrcpynW(data.szInfoTitle, WideCut(notice.Title, MaxTitleUnits).c_str(),
              sizeof data.szInfoTitle / sizeof(wchar_t));
    lstrcpynW(data.szInfo, WideCut(notice.Text, MaxTextUnits).c_str(),
              sizeof data.szInfo / sizeof(wchar_t));
    return AppSeams.NotifyIconWide(NIM_MODIFY, &data) ? 1 : 0;
}

void CMainWindow::AnnounceNewMail(const std::vector<CAccountNews>& news) {
    for (const CAccountNews& n : news)
        n.Account->LastNewMail = n.Note.Headers;
    if (news.empty() || !AccountList.Notify)
        return;
    if (!ShowNotice(Handle, Tray.IconId, ComposeNotice(news, AccountList.NotifyDetails != 0)))
        return;
    Announced.clear();
    for (const CAccountNews& n : news)
        Announced.push_back(n.Account);
}

void CMainWindow::OpenAnnounced() {
    // As a double click on their lines: their mail programs, then everything marked read.
    for (const CGAccount* a : Announced)
        if (AccountList.IndexOf(a) >= 0)
            OpenProgram(a->DoubleClick);
    Announced.clear();
    AccountList.MarkAllRead();
}
