#include "app/menu.h"

#include "resources/resource.h"
#include "toolkit/win_core.h"
#include "toolkit/win_support.h"

CGWEMenu::CGWEMenu(unsigned resourceId)
    : Loaded(LoadMenuA(ToolkitInstance(), MAKEINTRESOURCEA(resourceId))) {
    Menu = Loaded.get();
    if (!Menu)
        ShowToolkitError(nullptr, "Error", MB_OK, "Can't load menu (%lu)",
                         static_cast<unsigned long>(GetLastError()));
}

int CGWEMenu::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    if (Menu)
        SetMenu(owner->Handle, Menu);
    else
        ToolkitMessageBox(owner->Handle, "Menu failed to load", "Runtime Error", MB_ICONERROR);
    return 1;
}

int CGWEPopupMenu::Attach(CGWinCore* owner) {
    CGWindowExtension::Attach(owner);
    if (!Menu)
        ToolkitMessageBox(owner->Handle, "Menu failed to load", "Runtime Error", MB_ICONERROR);
    return 1;
}

LRESULT CGWEPopupMenu::OnMessage(HWND, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_CONTEXTMENU)
        return 0;
    ShowAt({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
    return 1;
}

void CGWEPopupMenu::ShowAt(POINT point) {
    if (!Owner)
        return;
    // Without this the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(Owner->Handle);
    if (NotifyTarget)
        SendMessageA(NotifyTarget->Handle, MessageId,
                     reinterpret_cast<WPARAM>(static_cast<CGMenu*>(this)), 0);
    if (!Menu)
        return;
    TrackPopupMenu(GetSubMenu(Menu, 0), 0, point.x, point.y, 0, Owner->Handle, nullptr);
}

void CGWEPopupMenu::EnableItem(unsigned id, bool enabled) {
    if (Menu)
        EnableMenuItem(Menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void CGWEPopupMenu::CheckItem(unsigned id, bool checked) {
    if (Menu)
        CheckMenuItem(Menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

CGVRNMenu::CGVRNMenu() : CGWEPopupMenu(IDR_POPUP_MENU) {}

void CGVRNMenu::RebuildAccountMenu(const std::vector<std::string>& names) {
    if (!Menu)
        return;
    // Neither handle is owned here; each wrapper takes a message number like any CGMenu.
    CGMenu popup(GetSubMenu(Menu, 0));
    CGMenu accounts(GetSubMenu(popup.Menu, 2));
    if (!accounts.Menu)
        return;
    for (int i = GetMenuItemCount(accounts.Menu) - 1; i >= 0; --i)
        DeleteMenu(accounts.Menu, i, MF_BYPOSITION);
    unsigned position = 0;
    for (const std::string& name : names) {
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_STRING;
        item.wID = ID_FIRST_ACCOUNT + position;
        item.dwTypeData = const_cast<char*>(name.c_str());
        item.cch = static_cast<UINT>(name.size());
        InsertMenuItemA(accounts.Menu, position, TRUE, &item);
        ++position;
    }
}
