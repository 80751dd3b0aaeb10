#include "support/dialog_driver.h"
#include "support/scoped_seams.h"
#include "toolkit/controls.h"
#include "toolkit/dialog.h"
#include "toolkit/dialog_test_ids.h"
#include "toolkit/link_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include <string>
#include <vector>

namespace {

// The test dialog with its controls bound the way the program's dialogs bind theirs.
class ControlsDialog : public CGDialog {
public:
    ControlsDialog() {
        Number.Min = 1;
        Number.Max = 99999;
        Number.Value = 5;
        Text.MaxLength = 20;
    }
    int OnInitDialog(HWND) override {
        BindItem(Text, IDC_TEXT);
        Text.Write(Text.Value);
        BindItem(Number, IDC_NUMBER);
        Number.Write(Number.Value);
        BindItem(Check, IDC_CHECK);
        Check.Write(Check.Value);
        BindItem(List, IDC_LIST);
        for (int i = 0; i < 3; ++i) {
            LRESULT line =
                SendMessageA(List.Handle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Names[i]));
            SendMessageA(List.Handle, LB_SETITEMDATA, line, reinterpret_cast<LPARAM>(&Items[i]));
        }
        BindItem(Colour, IDC_COLOUR);
        return TRUE;
    }

    CGCtrlEditText Text;
    CGCtrlEditInt Number;
    CGCtrlButtonBOOL Check;
    CGCtrlListBox List;
    CGCtrlButtonColour Colour;
    int Items[3] = {};
    const char* Names[3] = {"one", "two", "three"};
};

// The colour inside an edit field, away from its border and text.
COLORREF FieldColour(HWND field) {
    UpdateWindow(field);
    RECT r;
    GetClientRect(field, &r);
    HDC dc = GetDC(field);
    COLORREF c = GetPixel(dc, r.right - 4, r.bottom / 2);
    ReleaseDC(field, dc);
    return c;
}

// Typing as the user does: the field has the focus while its text changes.
void TypeNumber(HWND dialog, const char* text) {
    SetFocus(GetDlgItem(dialog, IDC_NUMBER));
    DialogDriver::Type(dialog, IDC_NUMBER, text);
}

void LeaveField(HWND dialog) {
    SetFocus(GetDlgItem(dialog, IDC_OTHER));
}

} // namespace

TEST(Controls, NumberFieldKeepsTheLastValidValueAndWarns) {
    ControlsDialog dialog;
    DialogDriver driver;
    const COLORREF warning = CGCtrlEditInt::WarningColour;
    std::vector<std::string> shown;
    std::vector<int> values;
    std::vector<bool> red;
    auto note = [&](HWND top) {
        shown.push_back(DialogDriver::ItemText(top, IDC_NUMBER));
        values.push_back(dialog.Number.Value);
        red.push_back(FieldColour(GetDlgItem(top, IDC_NUMBER)) == warning);
    };
    driver.WaitFor("Controls")
        .Do(note) // as opened
        .Do([&](HWND top) {
            TypeNumber(top, "0");
            note(top);
            LeaveField(top);
            note(top);
            TypeNumber(top, "100000");
            note(top);
            LeaveField(top);
            note(top);
            TypeNumber(top, "");
            note(top);
            LeaveField(top);
            note(top);
            TypeNumber(top, "12abc");
            note(top);
            LeaveField(top);
            note(top);
            TypeNumber(top, "0042");
            LeaveField(top);
            note(top);
            TypeNumber(top, "99999");
            note(top);
            DialogDriver::Press(top, VK_RETURN);
        });
    EXPECT_EQ(dialog.RunModal(IDD_CONTROLS), IDOK);
    ASSERT_TRUE(driver.Finished());
    std::vector<std::string> wantShown = {"5", "0",     "5",     "100000", "5",    "",
                                          "5", "12abc", "12abc", "0042",   "99999"};
    std::vector<int> wantValues = {5, 5, 5, 5, 5, 5, 5, 12, 12, 42, 99999};
    std::vector<bool> wantRed = {false, true,  false, true,  false, true,
                                 false, false, false, false, false};
    EXPECT_EQ(shown, wantShown);
    EXPECT_EQ(values, wantValues);
    EXPECT_EQ(red, wantRed);
    EXPECT_EQ(dialog.Number.Value, 99999); // readable after the dialog closed
}

TEST(Controls, TextFieldFollowsEveryChangeAndDistinguishesEmptyFromNull) {
    ControlsDialog dialog;
    DialogDriver driver;
    std::string opened;
    LRESULT limit = 0;
    bool nullWhileTyped = true;
    driver.WaitFor("Controls").Do([&](HWND top) {
        opened = DialogDriver::ItemText(top, IDC_TEXT);
        limit = SendDlgItemMessageA(top, IDC_TEXT, EM_GETLIMITTEXT, 0, 0);
        DialogDriver::Type(top, IDC_TEXT, "host,with,commas");
        nullWhileTyped = dialog.Text.Value.IsNull();
        DialogDriver::Type(top, IDC_TEXT, "");
        PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.RunModal(IDD_CONTROLS);
    EXPECT_EQ(opened, "");
    EXPECT_EQ(limit, 20);
    EXPECT_FALSE(nullWhileTyped);
    EXPECT_FALSE(dialog.Text.Value.IsNull());
    EXPECT_STREQ(dialog.Text.Value.Get(), "");
}

TEST(Controls, CheckBoxAndListBoxSelection) {
    ControlsDialog dialog;
    dialog.Check.Value = 1;
    DialogDriver driver;
    bool shownChecked = false;
    void* none = &dialog;
    void* afterUnknown = &dialog;
    void* afterKnown = nullptr;
    driver.WaitFor("Controls")
        .Do([&](HWND top) {
            shownChecked = DialogDriver::Checked(top, IDC_CHECK);
            DialogDriver::Click(top, IDC_CHECK); // posted: runs before the next step
            none = dialog.List.SelectedItemData();
            dialog.List.SelectItemData(&dialog.Items[2]);
            int stranger = 0;
            dialog.List.SelectItemData(&stranger);
            afterUnknown = dialog.List.SelectedItemData();
            dialog.List.SelectItemData(&dialog.Items[1]);
            afterKnown = dialog.List.SelectedItemData();
        })
        .Do([&](HWND top) { DialogDriver::Press(top, VK_ESCAPE); });
    dialog.RunModal(IDD_CONTROLS);
    EXPECT_TRUE(shownChecked);
    EXPECT_EQ(dialog.Check.Value, 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(afterUnknown, &dialog.Items[2]);
    EXPECT_EQ(afterKnown, &dialog.Items[1]);
}

namespace {

std::vector<CHOOSECOLORA> ColourRequests;
std::vector<std::vector<COLORREF>> CustomSeen;
bool ColourAnswer = true;

BOOL WINAPI AnswerColour(CHOOSECOLORA* request) {
    ColourRequests.push_back(*request);
    CustomSeen.emplace_back(request->lpCustColors, request->lpCustColors + 16);
    request->lpCustColors[0] = RGB(1, 2, 3); // the user defines a custom colour
    if (!ColourAnswer)
        return FALSE;
    request->rgbResult = RGB(10, 20, 30);
    return TRUE;
}

std::vector<OPENFILENAMEA> FileRequests;
std::string FileFilter;

BOOL WINAPI AnswerFile(OPENFILENAMEA* request) {
    FileRequests.push_back(*request);
    const char* f = request->lpstrFilter;
    FileFilter.assign(f, f + std::strlen(f) + 1 + std::strlen(f + std::strlen(f) + 1) + 1);
    std::strcpy(request->lpstrFile, "C:\\sounds\\ding.wav");
    return TRUE;
}

} // namespace

TEST(Controls, ColourButtonShowsItsColourAndTheChooserStartsFresh) {
    ScopedSeams seams(ToolkitSeams);
    seams->ChooseColor = AnswerColour;
    ColourRequests.clear();
    CustomSeen.clear();
    ControlsDialog dialog;
    dialog.Colour.Value = RGB(200, 30, 40);
    DialogDriver driver;
    COLORREF drawn = 0;
    bool first = false, second = true;
    COLORREF afterCancel = 0;
    HWND shown = nullptr;
    driver.WaitFor("Controls").Do([&](HWND top) {
        shown = top;
        HWND button = GetDlgItem(top, IDC_COLOUR);
        UpdateWindow(button);
        RECT r;
        GetClientRect(button, &r);
        HDC dc = GetDC(button);
        drawn = GetPixel(dc, r.right / 2, r.bottom / 2);
        ReleaseDC(button, dc);

        COLORREF colour = dialog.Colour.Value;
        ColourAnswer = true;
        first = CGCtrlButtonColour::PickColour(colour, &dialog);
        dialog.Colour.Value = colour;
        ColourAnswer = false;
        afterCancel = colour;
        second = CGCtrlButtonColour::PickColour(afterCancel, nullptr);
        PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.RunModal(IDD_CONTROLS);
    EXPECT_EQ(drawn, RGB(200, 30, 40));
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(dialog.Colour.Value, RGB(10, 20, 30));
    EXPECT_EQ(afterCancel, RGB(10, 20, 30)); // unchanged by the cancelled call
    ASSERT_EQ(ColourRequests.size(), 2u);
    EXPECT_EQ(ColourRequests[0].lStructSize, sizeof(CHOOSECOLORA));
    EXPECT_EQ(ColourRequests[0].Flags, DWORD(CC_RGBINIT | CC_FULLOPEN));
    EXPECT_EQ(ColourRequests[0].rgbResult, RGB(200, 30, 40));
    EXPECT_EQ(ColourRequests[0].hwndOwner, shown); // the dialog that asked
    EXPECT_NE(shown, nullptr);
    EXPECT_EQ(ColourRequests[1].hwndOwner, nullptr);
    // The custom colour defined in the first call is not offered in the second.
    EXPECT_EQ(CustomSeen[0], CustomSeen[1]);
}

TEST(Controls, OpenFileChooserAsksForAnExistingFile) {
    ScopedSeams seams(ToolkitSeams);
    seams->GetOpenFileName = AnswerFile;
    FileRequests.clear();
    ControlsDialog dialog;
    DialogDriver driver;
    char path[MAX_PATH] = "left over";
    bool chosen = false;
    HWND dialogWindow = nullptr;
    driver.WaitFor("Controls").Do([&](HWND top) {
        dialogWindow = top;
        chosen = dialog.ChooseOpenFile(path, "Sound files (*.wav)\0*.wav\0");
        PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.RunModal(IDD_CONTROLS);
    EXPECT_TRUE(chosen);
    EXPECT_STREQ(path, "C:\\sounds\\ding.wav");
    ASSERT_EQ(FileRequests.size(), 1u);
    const OPENFILENAMEA& r = FileRequests[0];
    EXPECT_EQ(r.lStructSize, sizeof(OPENFILENAMEA));
    EXPECT_EQ(r.hwndOwner, dialogWindow);
    EXPECT_EQ(r.nMaxFile, DWORD(MAX_PATH));
    EXPECT_EQ(r.nFilterIndex, 1u);
    EXPECT_EQ(r.Flags, DWORD(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
    EXPECT_EQ(r.lpstrFileTitle, nullptr);
    EXPECT_EQ(r.lpstrInitialDir, nullptr);
    EXPECT_EQ(FileFilter, std::string("Sound files (*.wav)\0*.wav\0", 26));
}

namespace {

std::vector<std::string> Opened;

HINSTANCE WINAPI RecordOpen(HWND, const char* verb, const char* file, const char*, const char*,
                            INT) {
    Opened.push_back(std::string(verb) + " " + file);
    return reinterpret_cast<HINSTANCE>(33);
}

} // namespace

TEST(Controls, LinkTurnsHotUnderTheMouseAndOpensOnClick) {
    ScopedSeams seams(ToolkitSeams);
    seams->ShellExecute = RecordOpen;
    Opened.clear();
    ControlsDialog dialog;
    CGCtrlSysLink link;
    link.Url = "https://example.org/x";
    DialogDriver driver;
    int hotInside = 0, hotOutside = 1;
    bool captured = false, released = false, bordered = true;
    std::string text;
    driver.WaitFor("Controls").Do([&](HWND top) {
        ASSERT_TRUE(link.Create("", "GSYSLINK", &dialog, 7, 0));
        link.SetLink(link.Url);
        link.SetBounds({10, 10, 150, 30});
        text = DialogDriver::TitleOf(link.Handle);
        bordered = GetWindowLongA(link.Handle, GWL_STYLE) & WS_BORDER;
        ReleaseCapture();
        SendMessageA(link.Handle, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        hotInside = link.Hot;
        captured = GetCapture() == link.Handle;
        SendMessageA(link.Handle, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)); // still inside
        SendMessageA(link.Handle, WM_MOUSEMOVE, 0, MAKELPARAM(500, 5));
        hotOutside = link.Hot;
        released = GetCapture() != link.Handle;
        SendMessageA(link.Handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageA(link.Handle, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.RunModal(IDD_CONTROLS);
    EXPECT_EQ(text, "https://example.org/x");
    EXPECT_FALSE(bordered);
    EXPECT_EQ(hotInside, 1);
    EXPECT_TRUE(captured);
    EXPECT_EQ(hotOutside, 0);
    EXPECT_TRUE(released);
    EXPECT_EQ(Opened, std::vector<std::string>{"open https://example.org/x"});
    EXPECT_NE(link.LinkFont, nullptr);
}
