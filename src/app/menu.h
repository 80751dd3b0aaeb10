#pragma once

#include "toolkit/handles.h"
#include "toolkit/window_extension.h"
#include "toolkit/wm_handler.h"

#include <string>
#include <vector>

// A menu handle with a message number of its own.
class CGMenu : public CGWMHandler {
public:
    CGMenu() = default;
    explicit CGMenu(HMENU menu) : Menu(menu) {}
    CGMenu(const CGMenu&) = delete;
    CGMenu& operator=(const CGMenu&) = delete;

    HMENU Menu = nullptr; // not owned here: a CGWEMenu owns the menu it loaded
};

// A menu resource attached to a window as its menu bar.
class CGWEMenu : public CGWindowExtension, public CGMenu {
public:
    // Loads the menu; a missing resource gives an error box and a null Menu.
    explicit CGWEMenu(unsigned resourceId);
    // Always 1; reports a menu that failed to load.
    int Attach(CGWinCore* owner) override;
    // 1 when Menu was loaded by this object and is destroyed with it.
    int OwnsMenu() const { return Loaded ? 1 : 0; }

    CGWinCore* NotifyTarget = nullptr; // not owned: told before the popup opens

private:
    CGMenuHandle Loaded;
};

// The same, shown as a popup (sub-menu 0 of the resource) instead of a menu bar: on
// WM_CONTEXTMENU at the point the message carries, or at a point given to ShowAt.
class CGWEPopupMenu : public CGWEMenu {
public:
    using CGWEMenu::CGWEMenu;
    int Attach(CGWinCore* owner) override;
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Returns when the menu has closed; the chosen command arrives as WM_COMMAND.
    void ShowAt(POINT point);

    // Item state by command id (nothing happens without a menu).
    void EnableItem(unsigned id, bool enabled);
    void CheckItem(unsigned id, bool checked);
};

// The main window's popup menu with its "Open Account" submenu.
class CGVRNMenu : public CGWEPopupMenu {
public:
    CGVRNMenu();
    // Refills "Open Account" with one entry per name, ids from the first account command.
    void RebuildAccountMenu(const std::vector<std::string>& names);
};
