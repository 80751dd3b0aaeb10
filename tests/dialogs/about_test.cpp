#include "dialogs/dlg_about.h"
#include "support/dialog_driver.h"

#include <gtest/gtest.h>

#include <string>

TEST(About, LabelShowsTheProductVersion) {
    VS_FIXEDFILEINFO info = {};
    info.dwProductVersionMS = MAKELONG(1, 1); // 1.1
    info.dwProductVersionLS = MAKELONG(0, 2); // .2.0
    info.dwFileVersionMS = MAKELONG(9, 9);    // never shown
    char text[256];
    FormatVersionLabel(&info, text, sizeof text);
    EXPECT_STREQ(text, "varnocle v1.1r2");
    info.dwProductVersionMS = MAKELONG(10, 2);
    info.dwProductVersionLS = MAKELONG(7, 0);
    FormatVersionLabel(&info, text, sizeof text);
    EXPECT_STREQ(text, "varnocle v2.10r0");
    FormatVersionLabel(nullptr, text, sizeof text);
    EXPECT_STREQ(text, "varnocle");
    // This binary carries the program's version record.
    ReadVersionLabel(text, sizeof text);
    EXPECT_STREQ(text, "varnocle v1.1r2");
}

namespace {

struct AboutView {
    std::string Title, Label, Ok, LinkText;
    bool HasIcon = false;
    bool LinkRightOfIcon = false;
};

AboutView Look(HWND top) {
    AboutView v;
    v.Title = DialogDriver::TitleOf(top);
    v.Ok = DialogDriver::ItemText(top, IDOK);
    HWND label = nullptr, icon = nullptr;
    for (HWND c = GetWindow(top, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        std::string name = cls;
        if (name == "GSYSLINK")
            v.LinkText = DialogDriver::TitleOf(c);
        else if ((name == "Static" || name == "STATIC") &&
                 (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = c;
        else if (name == "Static" || name == "STATIC")
            label = c;
    }
    v.Label = label ? DialogDriver::TitleOf(label) : "";
    v.HasIcon = icon && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
    HWND link = FindWindowExA(top, nullptr, "GSYSLINK", nullptr);
    if (icon && link) {
        RECT a, b;
        GetWindowRect(icon, &a);
        GetWindowRect(link, &b);
        v.LinkRightOfIcon = b.left >= a.right - 1;
    }
    return v;
}

} // namespace

TEST(About, ShowsIconVersionLinkAndClosesWithEnterOrEscape) {
    ScriptedBoxes boxes;
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        DialogDriver driver;
        AboutView view;
        driver.WaitFor("varnocle").Do([&](HWND top) {
            view = Look(top);
            DialogDriver::Press(top, key);
        });
        CGDlgAbout about(nullptr);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(about.Result, key == VK_RETURN ? IDOK : IDCANCEL);
        EXPECT_EQ(view.Title, "varnocle");
        EXPECT_EQ(view.Label, "varnocle v1.1r2");
        EXPECT_EQ(view.Ok, "OK");
        EXPECT_EQ(view.LinkText, MakerWebSite);
        EXPECT_TRUE(view.HasIcon);
        EXPECT_TRUE(view.LinkRightOfIcon);
    }
    EXPECT_TRUE(boxes.Shown.empty()); // the second run found GSYSLINK registered
}
