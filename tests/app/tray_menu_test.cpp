#include "app/menu.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "support/ui_harness.h"
#include "toolkit/window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Owner : public CGWindow {
public:
    Owner() {
        Style = WS_POPUP | WS_VISIBLE;
        SetBounds({100, 100, 200, 150});
    }
    ~Owner() override {
        if (Handle && IsWindow(Handle))
            DestroyWindow(Handle);
    }
    bool Make() { return Create(nullptr, "vt_tray_owner", nullptr, 7, 0); }
    int OnMenuCommand(int id) override {
        Commands.push_back(id);
        return 1;
    }
    std::vector<int> Commands;
};

// What an icon image looks like when drawn over magenta, as 0xRRGGBB per pixel.
std::vector<unsigned> Render(HICON icon, int size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    RECT all = {0, 0, size, size};
    FillRect(dc, &all, magenta);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::vector<unsigned> pixels(static_cast<unsigned*>(bits),
                                 static_cast<unsigned*>(bits) + size * size);
    for (unsigned& p : pixels)
        p &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(magenta);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

HICON LoadSized(unsigned id, int size) {
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
}

std::string ItemText(HMENU menu, int position) {
    char text[128] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

} // namespace

TEST(Icons, EnvelopeIsWhiteWithBlackOutlineAndTheNewMailFlapIsGreen) {
    const unsigned magenta = 0xFF00FF, white = 0xFFFFFF, black = 0, green = 0x00FF00;
    // Drawn for 16 and 32 pixels, and for the sizes of 150 % (24) and 300 % (48) scaling.
    const struct {
        int Size, TopEdge, FlapY, BodyY; // FlapY: just below the top edge; BodyY: low inside
    } images[] = {{16, 3, 5, 11}, {24, 5, 7, 16}, {32, 7, 10, 22}, {48, 10, 13, 33}};
    for (const auto& image : images) {
        const int size = image.Size;
        HICON normal = LoadSized(IDI_MAIL, size), fresh = LoadSized(IDI_NEW_MAIL, size);
        ASSERT_NE(normal, nullptr) << size;
        ASSERT_NE(fresh, nullptr) << size;
        auto a = Render(normal, size), b = Render(fresh, size);
        auto at = [size](const std::vector<unsigned>& p, int x, int y) { return p[y * size + x]; };
        const int mid = size / 2;
        const int flapY = image.FlapY, bodyY = image.BodyY, topEdge = image.TopEdge;
        EXPECT_EQ(at(a, 0, 0), magenta) << size; // the corner is transparent
        EXPECT_EQ(at(a, mid, topEdge), black) << size;
        EXPECT_EQ(at(a, mid, flapY), white) << size;
        EXPECT_EQ(at(a, mid, bodyY), white) << size;
        EXPECT_EQ(at(b, mid, flapY), green) << size;
        EXPECT_EQ(at(b, mid, bodyY), white) << size;
        EXPECT_EQ(at(b, 0, 0), magenta) << size;
        DestroyIcon(normal);
        DestroyIcon(fresh);
    }
}

TEST(Tray, AttachAddsTheIconAndSetIconKeepsOneImage) {
    BoxRecorder boxes;
    Owner owner;
    CGWETray tray(IDI_MAIL);
    CGWEIcon icon(IDI_MAIL);
    owner.AddExtension(&icon);
    owner.AddExtension(&tray);
    ASSERT_TRUE(owner.Make());
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(tray.IconData.hWnd, owner.Handle);
    EXPECT_EQ(tray.IconData.uID, IDI_MAIL);
    EXPECT_EQ(tray.IconData.uCallbackMessage, tray.MessageId);
    EXPECT_EQ(tray.IconData.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_STREQ(tray.IconData.szTip, "");
    ASSERT_NE(tray.IconData.hIcon, nullptr);
    EXPECT_NE(SendMessageA(owner.Handle, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(owner.Handle, WM_GETICON, ICON_SMALL, 0), 0);

    auto flapOf = [](HICON i) { return Render(i, 16)[5 * 16 + 8]; };
    EXPECT_EQ(flapOf(tray.IconData.hIcon), 0xFFFFFFu);
    HICON before = tray.IconData.hIcon;
    ASSERT_EQ(tray.SetIcon(IDI_NEW_MAIL), 1);
    EXPECT_EQ(flapOf(tray.IconData.hIcon), 0x00FF00u);
    EXPECT_EQ(tray.IconData.uID, IDI_MAIL); // the shell still addresses the same icon
    EXPECT_EQ(tray.Modify(), 1);
    EXPECT_EQ(tray.Modify(), 0); // the shell shows it already
    // Each image is loaded once: switching back shows the same one again.
    EXPECT_EQ(tray.SetIcon(IDI_MAIL), 1);
    EXPECT_EQ(tray.IconData.hIcon, before);
    EXPECT_EQ(tray.SetIcon(0), 1);
    EXPECT_EQ(tray.IconData.hIcon, nullptr);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(Tray, MissingIconsAreReported) {
    BoxRecorder boxes;
    Owner owner;
    CGWETray tray(999);
    CGWEIcon icon(998);
    owner.AddExtension(&icon);
    owner.AddExtension(&tray);
    ASSERT_TRUE(owner.Make());
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].Text.rfind("CGWETray: Can't load icon : 1813 (", 0), 0u)
        << boxes.Boxes()[0].Text;
    EXPECT_EQ(boxes.Boxes()[0].Text.back(), ')');
    EXPECT_EQ(boxes.Boxes()[0].Caption, "Error");
    EXPECT_EQ(boxes.Boxes()[0].Type, unsigned(MB_ICONWARNING));
    EXPECT_EQ(boxes.Boxes()[1].Text.rfind("CGWEIcon: Can't load any icons : ", 0), 0u);
    EXPECT_EQ(tray.IconData.hIcon, nullptr);
}

TEST(Tray, DestructionRemovesTheIconAndFreesEveryImage) {
    BoxRecorder boxes;
    Owner owner;
    NOTIFYICONDATAA copy;
    HICON images[3] = {};
    {
        CGWETray tray(IDI_MAIL);
        CGWEIcon icon(IDI_MAIL);
        owner.AddExtension(&icon);
        owner.AddExtension(&tray);
        ASSERT_TRUE(owner.Make());
        copy = tray.IconData;
        copy.hIcon = nullptr;
        copy.uFlags = NIF_TIP;
        ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &copy));
        images[0] = tray.IconData.hIcon;
        images[1] = reinterpret_cast<HICON>(SendMessageA(owner.Handle, WM_GETICON, ICON_BIG, 0));
        images[2] = reinterpret_cast<HICON>(SendMessageA(owner.Handle, WM_GETICON, ICON_SMALL, 0));
        owner.Extensions = nullptr;
    }
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &copy));
    // The window outlives the extensions: it no longer shows the images they freed.
    EXPECT_EQ(SendMessageA(owner.Handle, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(SendMessageA(owner.Handle, WM_GETICON, ICON_SMALL, 0), 0);
    for (HICON image : images) {
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(DestroyIcon(image)); // already gone
    }
}

TEST(Tray, ARestartedShellGetsTheIconBackWithItsCurrentImageAndTip) {
    BoxRecorder boxes;
    Owner owner;
    CGWETray tray(IDI_MAIL);
    owner.AddExtension(&tray);
    ASSERT_TRUE(owner.Make());
    tray.SetIcon(IDI_NEW_MAIL);
    lstrcpyA(tray.IconData.szTip, "1 / 1");
    ASSERT_EQ(tray.Modify(), 1);
    // The shell forgets its icons when it restarts, then tells every top-level window.
    NOTIFYICONDATAA gone = tray.IconData;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &gone));
    SendMessageA(owner.Handle, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &gone));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(Menu, ResourceHasTheItemsInOrder) {
    BoxRecorder boxes;
    CGVRNMenu menu;
    ASSERT_NE(menu.Menu, nullptr);
    EXPECT_EQ(menu.OwnsMenu(), 1);
    HMENU popup = GetSubMenu(menu.Menu, 0);
    ASSERT_EQ(GetMenuItemCount(popup), 9);
    struct Item {
        int Id;
        const char* Text;
    };
    const Item expected[] = {{40003, "Check Now"},
                             {40002, "Mark As Read\t(Single Click)"},
                             {-1, "Open Account"},
                             {0, ""},
                             {40005, "Show Floating Window"},
                             {40004, "Configure"},
                             {0, ""},
                             {40006, "About"},
                             {40001, "Exit"}};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(ItemText(popup, i), expected[i].Text) << i;
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STATE;
        GetMenuItemInfoA(popup, i, TRUE, &info);
        if (expected[i].Id != 0) { // separators always report themselves greyed
            EXPECT_EQ(info.fState & (MFS_GRAYED | MFS_CHECKED), 0u) << i;
        }
        if (expected[i].Id == 0)
            EXPECT_TRUE(info.fType & MFT_SEPARATOR) << i;
        else if (expected[i].Id == -1)
            EXPECT_NE(info.hSubMenu, nullptr);
        else
            EXPECT_EQ(int(info.wID), expected[i].Id) << i;
    }
    HMENU accounts = GetSubMenu(popup, 2);
    ASSERT_EQ(GetMenuItemCount(accounts), 1);
    EXPECT_EQ(ItemText(accounts, 0), "Marker");
    EXPECT_EQ(GetMenuItemID(accounts, 0), 40007u);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(Menu, RebuildListsTheAccountsInOrderWithIdsFrom40007) {
    CGVRNMenu menu;
    HMENU accounts = GetSubMenu(GetSubMenu(menu.Menu, 0), 2);
    const int before = NextPrivateMessage;
    menu.RebuildAccountMenu({"ann - pop.one", "bob - pop.two", "pop.three"});
    EXPECT_EQ(NextPrivateMessage, before + 2);
    ASSERT_EQ(GetMenuItemCount(accounts), 3);
    EXPECT_EQ(ItemText(accounts, 0), "ann - pop.one");
    EXPECT_EQ(ItemText(accounts, 2), "pop.three");
    EXPECT_EQ(GetMenuItemID(accounts, 0), 40007u);
    EXPECT_EQ(GetMenuItemID(accounts, 2), 40009u);

    // An account removed: the rest are renumbered from 40007.
    menu.RebuildAccountMenu({"bob - pop.two", "pop.three"});
    ASSERT_EQ(GetMenuItemCount(accounts), 2);
    EXPECT_EQ(ItemText(accounts, 0), "bob - pop.two");
    EXPECT_EQ(GetMenuItemID(accounts, 1), 40008u);
    menu.RebuildAccountMenu({});
    EXPECT_EQ(GetMenuItemCount(accounts), 0);
}

TEST(Menu, ItemStateByCommand) {
    CGVRNMenu menu;
    menu.EnableItem(ID_MARK_AS_READ, false);
    menu.CheckItem(ID_SHOW_FLOATING, true);
    EXPECT_TRUE(GetMenuState(menu.Menu, ID_MARK_AS_READ, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu.Menu, ID_SHOW_FLOATING, MF_BYCOMMAND) & MF_CHECKED);
    menu.EnableItem(ID_MARK_AS_READ, true);
    menu.CheckItem(ID_SHOW_FLOATING, false);
    EXPECT_EQ(GetMenuState(menu.Menu, ID_MARK_AS_READ, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_EQ(GetMenuState(menu.Menu, ID_SHOW_FLOATING, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

TEST(Menu, MissingResourceGivesTwoBoxesAndAHarmlessMenu) {
    BoxRecorder boxes;
    Owner owner;
    CGWEPopupMenu menu(999);
    EXPECT_EQ(menu.Menu, nullptr);
    EXPECT_EQ(menu.OwnsMenu(), 0);
    owner.AddExtension(&menu);
    ASSERT_TRUE(owner.Make());
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].Text, "Can't load menu (1814)");
    EXPECT_EQ(boxes.Boxes()[0].Caption, "Error");
    EXPECT_EQ(boxes.Boxes()[1].Text, "Menu failed to load");
    EXPECT_EQ(boxes.Boxes()[1].Caption, "Runtime Error");
    EXPECT_EQ(boxes.Boxes()[1].Type, unsigned(MB_ICONERROR));
    menu.EnableItem(ID_MARK_AS_READ, false);
    menu.ShowAt({10, 10});
    EXPECT_EQ(SendMessageA(owner.Handle, WM_CONTEXTMENU, 0, MAKELPARAM(5, 5)), 1);
    EXPECT_EQ(boxes.Boxes().size(), 2u);
}

namespace {

// While a popup menu runs its own loop, a timer looks at it and then answers with keys.
RECT SeenMenu;
const char* KeysToSend = nullptr;

// The visible popup menu of this process: other test programs may show theirs meanwhile.
HWND OwnPopupMenu() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM out) -> BOOL {
            char cls[16] = {};
            DWORD process = 0;
            GetClassNameA(hwnd, cls, sizeof cls);
            GetWindowThreadProcessId(hwnd, &process);
            if (lstrcmpA(cls, "#32768") || process != GetCurrentProcessId() ||
                !IsWindowVisible(hwnd))
                return TRUE;
            *reinterpret_cast<HWND*>(out) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK InspectMenu(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND popup = OwnPopupMenu();
    SeenMenu = {};
    if (popup)
        GetWindowRect(popup, &SeenMenu);
    HWND target = popup ? popup : GetForegroundWindow();
    for (const char* k = KeysToSend; k && *k; ++k) {
        WPARAM key = *k == 'd' ? VK_DOWN : *k == 'r' ? VK_RETURN : VK_ESCAPE;
        PostMessageA(target, WM_KEYDOWN, key, 0);
        PostMessageA(target, WM_KEYUP, key, 0);
    }
    if (!KeysToSend)
        EndMenu();
}

} // namespace

TEST(Menu, PopupOpensAtTheClickPointAndDeliversTheChosenCommand) {
    BoxRecorder boxes;
    Owner owner;
    CGVRNMenu menu;
    owner.AddExtension(&menu);
    ASSERT_TRUE(owner.Make());

    KeysToSend = nullptr;
    SetTimer(nullptr, 0, 200, InspectMenu);
    EXPECT_EQ(SendMessageA(owner.Handle, WM_CONTEXTMENU, 0, MAKELPARAM(300, 400)), 1);
    EXPECT_EQ(SeenMenu.left, 300);
    EXPECT_EQ(SeenMenu.top, 400);

    // The first item, chosen with the keyboard, arrives as a menu command.
    KeysToSend = "dr";
    SetTimer(nullptr, 0, 200, InspectMenu);
    menu.ShowAt({50, 60});
    EXPECT_EQ(SeenMenu.left, 50);
    EXPECT_EQ(SeenMenu.top, 60);
    PumpMessages();
    EXPECT_EQ(owner.Commands, (std::vector<int>{ID_CHECK_NOW}));
    EXPECT_TRUE(boxes.Boxes().empty());
}
