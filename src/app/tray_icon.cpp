#include "app/tray_icon.h"

#include "app/show_last_error.h"
#include "toolkit/win_core.h"
#include "toolkit/win_support.h"

namespace {

HICON LoadIconSized(unsigned id, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageA(ToolkitInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

} // namespace

CGWETray::~CGWETray() {
    if (IconData.hIcon) {
        DestroyIcon(IconData.hIcon);
        IconData.hIcon = nullptr;
    }
    if (IconData.cbSize)
        Shell_NotifyIconA(NIM_DELETE, &IconData);
}

int CGWETray::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    if (IconData.hIcon)
        DestroyIcon(IconData.hIcon);
    IconData = {};
    // The first-version layout: only the fields up to a 64-character tooltip are used.
    IconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    IconData.uID = IconId;
    IconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    SetIcon(IconId);
    IconData.hWnd = owner->Handle;
    IconData.uCallbackMessage = MessageId;
    IconData.szTip[0] = 0;
    if (!Shell_NotifyIconA(NIM_ADD, &IconData)) {
        ShowLastError("CGWETray: Can't notify shell");
        return 0;
    }
    return 1;
}

LRESULT CGWETray::OnMessage(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == TaskbarCreated && TaskbarCreated != 0 && IconData.cbSize)
        Shell_NotifyIconA(NIM_ADD, &IconData);
    return 0;
}

int CGWETray::SetIcon(unsigned id) {
    if (IconData.hIcon)
        DestroyIcon(IconData.hIcon);
    IconData.hIcon = nullptr;
    if (id == 0)
        return 1;
    IconData.hIcon = LoadIconSized(id, SM_CXSMICON, SM_CYSMICON);
    if (!IconData.hIcon) {
        ShowLastError("CGWETray: Can't load icon");
        return 0;
    }
    return 1;
}

int CGWEIcon::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    // The images live as long as the process.
    HICON big = LoadIconSized(IconId, SM_CXICON, SM_CYICON);
    if (big)
        SendMessageA(owner->Handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    HICON small = LoadIconSized(IconId, SM_CXSMICON, SM_CYSMICON);
    if (small)
        SendMessageA(owner->Handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    if (!big && !small) {
        ShowLastError("CGWEIcon: Can't load any icons");
        return 0;
    }
    return 1;
}
