#include "app/tray_icon.h"

#include "app/app_seams.h"
#include "app/show_last_error.h"
#include "toolkit/win_core.h"
#include "toolkit/win_support.h"

#include <commctrl.h>

namespace {

// The image of the size the shell uses for small (LIM_SMALL) or large (LIM_LARGE) icons at
// the system's DPI, made from the nearest larger image of the resource when it has none of
// that size, so that it stays sharp.
CGIcon LoadIconSized(unsigned id, int metric) {
    HICON icon = nullptr;
    const HRESULT result = LoadIconMetric(ToolkitInstance(), MAKEINTRESOURCEW(id), metric, &icon);
    if (FAILED(result) && HRESULT_FACILITY(result) == FACILITY_WIN32)
        SetLastError(HRESULT_CODE(result)); // for the error box
    return CGIcon(SUCCEEDED(result) ? icon : nullptr);
}

} // namespace

CGWETray::~CGWETray() {
    if (IconData.cbSize)
        AppSeams.NotifyIcon(NIM_DELETE, &IconData);
}

int CGWETray::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    IconData = {};
    // The first-version layout: only the fields up to a 64-character tooltip are used.
    IconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    IconData.uID = IconId;
    IconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    SetIcon(IconId);
    IconData.hWnd = owner->Handle;
    IconData.uCallbackMessage = MessageId;
    IconData.szTip[0] = 0;
    if (!AppSeams.NotifyIcon(NIM_ADD, &IconData)) {
        ShowLastError("CGWETray: Can't notify shell");
        return 0;
    }
    SentIcon = IconData.hIcon;
    SentTip.clear();
    return 1;
}

LRESULT CGWETray::OnMessage(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == TaskbarCreated && TaskbarCreated != 0 && IconData.cbSize &&
        AppSeams.NotifyIcon(NIM_ADD, &IconData)) {
        SentIcon = IconData.hIcon;
        SentTip = IconData.szTip;
    }
    return 0;
}

int CGWETray::SetIcon(unsigned id) {
    IconData.hIcon = nullptr;
    if (id == 0)
        return 1;
    CGIcon& image = Images[id];
    if (!image)
        image = LoadIconSized(id, LIM_SMALL);
    IconData.hIcon = image.get();
    if (!image) {
        ShowLastError("CGWETray: Can't load icon");
        return 0;
    }
    return 1;
}

int CGWETray::Modify() {
    if (IconData.hIcon == SentIcon && SentTip == IconData.szTip)
        return 0;
    if (!AppSeams.NotifyIcon(NIM_MODIFY, &IconData))
        return 0;
    SentIcon = IconData.hIcon;
    SentTip = IconData.szTip;
    return 1;
}

CGWEIcon::~CGWEIcon() {
    if (!Owner || !Owner->Handle || !IsWindow(Owner->Handle))
        return;
    if (Big)
        SendMessageA(Owner->Handle, WM_SETICON, ICON_BIG, 0);
    if (Small)
        SendMessageA(Owner->Handle, WM_SETICON, ICON_SMALL, 0);
}

int CGWEIcon::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    Big = LoadIconSized(IconId, LIM_LARGE);
    if (Big)
        SendMessageA(owner->Handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Big.get()));
    Small = LoadIconSized(IconId, LIM_SMALL);
    if (Small)
        SendMessageA(owner->Handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Small.get()));
    if (!Big && !Small) {
        ShowLastError("CGWEIcon: Can't load any icons");
        return 0;
    }
    return 1;
}
