#include "config/config_seams.h"
#include "config/settings.h"
#include "dialogs/dialog_test_support.h"
#include "dialogs/dlg_accounts.h"
#include "resources/dialog_ids.h"
#include "support/scoped_seams.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Which of "Edit", "Remove ", "^" and "v" are enabled, in that order, as "ER^v" with "-"
// for a disabled one.
std::string Buttons(HWND d) {
    std::string s;
    s += DialogDriver::Enabled(d, IDC_EDIT) ? 'E' : '-';
    s += DialogDriver::Enabled(d, IDC_REMOVE) ? 'R' : '-';
    s += DialogDriver::Enabled(d, IDC_UP) ? '^' : '-';
    s += DialogDriver::Enabled(d, IDC_DOWN) ? 'v' : '-';
    return s;
}

const char* const Title = "Edit Account Details";

std::vector<COLORREF> ColourStarts; // the colour each chooser opened with

BOOL WINAPI PickBlue(CHOOSECOLORA* request) {
    ColourStarts.push_back(request->rgbResult);
    request->rgbResult = RGB(0, 0, 255);
    return TRUE;
}

BOOL WINAPI PickSound(OPENFILENAMEA* request) {
    std::snprintf(request->lpstrFile, request->nMaxFile, "C:\\sounds\\ding.wav");
    return TRUE;
}

} // namespace

TEST(AccountsDialog, DoneTakesTheOptionsAndTheCloseBoxKeepsThem) {
    ScopedSeams seams(ToolkitSeams);
    seams->ChooseColor = PickBlue;
    seams->GetOpenFileName = PickSound;
    for (bool done : {true, false}) {
        SCOPED_TRACE(done ? "done" : "close box");
        CAccountList list(0x8000);
        list.PlaySound = 0;
        list.ChangeColour = 1;
        list.NewMailColour = RGB(1, 2, 3);
        std::string buttons, sound;
        bool colourChecked = false;
        ColourStarts.clear();
        DialogDriver driver;
        driver.WaitFor(Title)
            .Do([&](HWND d) {
                buttons = Buttons(d);
                colourChecked = DialogDriver::Checked(d, IDC_CHANGE_COLOUR);
                DialogDriver::Click(d, IDC_PLAY_SOUND);
                DialogDriver::Click(d, IDC_CHANGE_COLOUR);
                DialogDriver::Click(d, IDC_SOUND_BROWSE);
                DialogDriver::Click(d, IDC_COLOUR);
                DialogDriver::Click(d, IDC_COLOUR); // starts from the colour just chosen
            })
            .Do([&](HWND d) {
                sound = DialogDriver::ItemText(d, IDC_SOUND_FILE);
                if (done)
                    DialogDriver::Press(d, VK_RETURN);
                else
                    PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            });
        RunAccountsDialog(list, nullptr);
        ASSERT_TRUE(driver.Finished());
        EXPECT_EQ(buttons, "----"); // no accounts: only "Add" of the account buttons
        EXPECT_TRUE(colourChecked);
        EXPECT_EQ(sound, "C:\\sounds\\ding.wav");
        EXPECT_EQ(list.PlaySound, done ? 1 : 0);
        EXPECT_EQ(list.ChangeColour, done ? 0 : 1);
        EXPECT_EQ(list.NewMailColour, done ? RGB(0, 0, 255) : RGB(1, 2, 3));
        EXPECT_EQ(ColourStarts, (std::vector<COLORREF>{RGB(1, 2, 3), RGB(0, 0, 255)}));
        EXPECT_STREQ(list.CustomSound.Get(), done ? "C:\\sounds\\ding.wav" : "");
        EXPECT_EQ(list.Count(), 0);
    }
}

TEST(AccountsDialog, ButtonsFollowTheSelectionAndMovesReorderTheList) {
    CAccountList list(0x8000);
    AddNamed(list, "ann", "x.example");
    AddNamed(list, nullptr, "y.example");
    AddNamed(list, "cy", "z.example");
    std::vector<std::string> seen;
    DialogDriver driver;
    auto note = [&](HWND d) {
        seen.push_back(Buttons(d) + " " + std::to_string(SelectedLine(d, IDC_ACCOUNT_LIST)));
    };
    driver.WaitFor(Title)
        .Do([&](HWND d) {
            EXPECT_EQ(ListLines(d, IDC_ACCOUNT_LIST),
                      (std::vector<std::string>{"ann - x.example", "y.example", "cy - z.example"}));
            note(d); // nothing selected
            SelectLine(d, IDC_ACCOUNT_LIST, 0);
            note(d);
            SelectLine(d, IDC_ACCOUNT_LIST, 2);
            note(d);
            DialogDriver::Click(d, IDC_DOWN); // the last one: nothing moves
        })
        .Do([&](HWND d) {
            note(d);
            DialogDriver::Click(d, IDC_UP);
        })
        .Do([&](HWND d) {
            note(d);
            SelectLine(d, IDC_ACCOUNT_LIST, 0);
            DialogDriver::Click(d, IDC_DOWN);
        })
        .Do([&](HWND d) {
            note(d);
            EXPECT_EQ(ListLines(d, IDC_ACCOUNT_LIST),
                      (std::vector<std::string>{"cy - z.example", "ann - x.example", "y.example"}));
            DialogDriver::Press(d, VK_ESCAPE);
        });
    RunAccountsDialog(list, nullptr);
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(seen, (std::vector<std::string>{"---- -1", "ER-v 0", "ER^- 2", "ER^- 2", "ER^v 1",
                                              "ER^v 1"}));
    // Moves act on the live list and stay after a cancelled dialog.
    EXPECT_EQ(AccountNames(list),
              (std::vector<std::string>{"cy - z.example", "ann - x.example", "y.example"}));
}

TEST(AccountsDialog, RemoveAsksAndLeavesTheSeenFileToTheSave) {
    TempDir dir;
    ScopedSeams<CConfigSeams> config(ConfigSeams);
    config->DataFolder = dir.Path();
    std::string ini;
    MakeDataPath("ini", "varnocle", ini);
    CAccountList list(0x8000);
    AddNamed(list, "ann", "x.example");
    AddNamed(list, nullptr, "y.example");
    ASSERT_EQ(list.Save(ini.c_str()), 1);
    const std::string path = list.At(0)->UidlFilePath;
    ASSERT_TRUE(FileExists(path));

    ScriptedBoxes boxes;
    boxes.Answers = {IDNO, IDYES};
    bool keptAfterNo = false;
    std::string buttons;
    DialogDriver driver;
    driver.WaitFor(Title)
        .Do([&](HWND d) {
            SelectLine(d, IDC_ACCOUNT_LIST, 0);
            DialogDriver::Click(d, IDC_REMOVE);
        })
        .Do([&](HWND d) {
            keptAfterNo = ListLines(d, IDC_ACCOUNT_LIST).size() == 2;
            DialogDriver::Click(d, IDC_REMOVE);
        })
        .Do([&](HWND d) {
            buttons = Buttons(d);
            PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
    RunAccountsDialog(list, nullptr);
    ASSERT_TRUE(driver.Finished());
    EXPECT_TRUE(keptAfterNo);
    ASSERT_EQ(boxes.Shown.size(), 2u);
    EXPECT_EQ(boxes.Shown[0].Text, "Remove. Are you sure?");
    EXPECT_EQ(boxes.Shown[0].Caption, "Varnocle");
    EXPECT_EQ(boxes.Shown[0].Type & MB_TYPEMASK, unsigned(MB_YESNO));
    EXPECT_EQ(buttons, "----");
    EXPECT_EQ(AccountNames(list), std::vector<std::string>{"y.example"}); // stays removed
    // Until the settings drop the account, its read state stays: a crash now brings it back
    // whole.
    EXPECT_TRUE(FileExists(path));
    ASSERT_EQ(list.Save(ini.c_str()), 1);
    EXPECT_FALSE(FileExists(path));
}

TEST(AccountsDialog, AddAndEditRunTheDetailsDialog) {
    CAccountList list(0x8000);
    AddNamed(list, "ann", "x.example");
    std::vector<std::string> afterAdd, afterEdit;
    std::string buttonsAfterAdd;
    int selectedAfterEdit = -1;
    ScriptedBoxes boxes;
    DialogDriver driver;
    driver.WaitFor(Title)
        .Do([](HWND d) { DialogDriver::Click(d, IDC_ADD); })
        .WaitFor("Varnocle")
        .Do([](HWND d) {
            DialogDriver::Type(d, IDC_HOST, "x.example");
            DialogDriver::Type(d, IDC_USER, "ANN");
            DialogDriver::Click(d, IDOK); // the name of the listed account: refused
        })
        .WaitFor("Varnocle")
        .Do([](HWND d) { DialogDriver::Press(d, VK_ESCAPE); }) // a cancelled add
        .WaitFor(Title)
        .Do([](HWND d) { DialogDriver::Click(d, IDC_ADD); })
        .WaitFor("Varnocle")
        .Do([](HWND d) {
            DialogDriver::Type(d, IDC_HOST, "new.example");
            DialogDriver::Type(d, IDC_USER, "bo");
            DialogDriver::Type(d, IDC_PORT, "1995");
            DialogDriver::Click(d, IDOK);
        })
        .WaitFor(Title)
        .Do([&](HWND d) {
            afterAdd = ListLines(d, IDC_ACCOUNT_LIST);
            buttonsAfterAdd = Buttons(d);
            SelectLine(d, IDC_ACCOUNT_LIST, 0);
            HWND box = GetDlgItem(d, IDC_ACCOUNT_LIST);
            PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_ACCOUNT_LIST, LBN_DBLCLK),
                         reinterpret_cast<LPARAM>(box));
        })
        .WaitFor("Varnocle")
        .Do([](HWND d) {
            DialogDriver::Type(d, IDC_HOST, "renamed.example");
            DialogDriver::Press(d, VK_RETURN);
        })
        .WaitFor(Title)
        .Do([&](HWND d) {
            afterEdit = ListLines(d, IDC_ACCOUNT_LIST);
            selectedAfterEdit = SelectedLine(d, IDC_ACCOUNT_LIST);
            DialogDriver::Press(d, VK_RETURN);
        });
    RunAccountsDialog(list, nullptr);
    ASSERT_TRUE(driver.Finished());
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0].Caption, "Error");
    EXPECT_EQ(afterAdd, (std::vector<std::string>{"ann - x.example", "bo - new.example"}));
    EXPECT_EQ(buttonsAfterAdd, "----");
    EXPECT_EQ(afterEdit, (std::vector<std::string>{"ann - renamed.example", "bo - new.example"}));
    EXPECT_EQ(selectedAfterEdit, 0);
    ASSERT_NE(list.At(1), nullptr);
    CGServerSettings added = list.At(1)->CopySettings();
    EXPECT_EQ(added.Port, 1995);
    EXPECT_EQ(added.UseSSL, 1);
    EXPECT_EQ(added.CheckMinutes, 5);
    EXPECT_STREQ(added.Password.Get(), ""); // never typed: empty, not null
}
