#include "support/dialog_driver.h"
#include "support/scoped_seams.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_template.h"
#include "toolkit/dialog_test_ids.h"
#include "toolkit/win_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Add16(Bytes& b, unsigned v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void Add32(Bytes& b, uint32_t v) {
    Add16(b, v & 0xFFFF);
    Add16(b, v >> 16);
}
void AddWide(Bytes& b, const std::u16string& s) {
    for (char16_t c : s)
        Add16(b, c);
    Add16(b, 0);
}
void Align(Bytes& b) {
    while (b.size() % 4)
        b.push_back(0);
}

Bytes Written(const CGDialogTemplate& t) {
    auto block = t.Template.Flatten();
    auto* p = reinterpret_cast<const unsigned char*>(block.get());
    return Bytes(p, p + t.Template.Size(false));
}

// Records which of its operations ran.
class LoggingDialog : public CGDialog {
public:
    using CGDialog::CGDialog;
    int OnInitDialog(HWND) override {
        Log.push_back("init");
        return InitResult;
    }
    void OnOK() override { Log.push_back("ok"); }
    HBRUSH OnDialogCtlColor(HWND control, HDC) override {
        Coloured.push_back(GetDlgCtrlID(control));
        return nullptr;
    }
    std::vector<std::string> Log;
    std::vector<int> Coloured;
    int InitResult = TRUE;
};

class ColourProbe : public CGCommonControl {
public:
    HBRUSH OnCtlColor(HDC) override {
        ++Calls;
        return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    }
    int Calls = 0;
};

} // namespace

TEST(DialogTemplate, PointSizeFollowsTheScreenResolution) {
    EXPECT_EQ(CGDialogTemplate::PointSize(-12, 96), 9);
    EXPECT_EQ(CGDialogTemplate::PointSize(-16, 120), 10); // 9.6 rounds
    EXPECT_EQ(CGDialogTemplate::PointSize(-11, 96), 8);   // 8.25
    EXPECT_EQ(CGDialogTemplate::PointSize(10, 96), 10);   // cell heights are taken as given
}

TEST(DialogTemplate, BytesFollowTheExtendedLayout) {
    LOGFONTW font = {};
    font.lfHeight = -12;
    font.lfWeight = 700;
    font.lfItalic = 1;
    font.lfCharSet = 0xA1;
    // Non-ASCII, and of a length that leaves the header 2 bytes short of a 4-byte boundary.
    const std::u16string face = u"S\u00e9goe \u2713";
    std::memcpy(font.lfFaceName, face.c_str(), (face.size() + 1) * 2);

    CGDialogTemplate t;
    t.WriteHeader({0, 0, 200, 40}, font, 96);
    t.AddLabel({40, 10, 140, 20}, "v\xc3\xa9"); // "vé" in UTF-8
    t.AddButtonOK({145, 8, 195, 20});

    Bytes want;
    Add16(want, 1);
    Add16(want, 0xFFFF);
    Add32(want, 0);
    Add32(want, 0);
    Add32(want, 0x00C800C0);
    Add16(want, 2); // two items
    for (unsigned v : {0, 0, 200, 40})
        Add16(want, v);
    AddWide(want, u"");
    AddWide(want, u"");
    AddWide(want, u"varnocle");
    Add16(want, 9);
    Add16(want, 700);
    want.push_back(1);
    want.push_back(0xA1);
    AddWide(want, face);
    ASSERT_EQ(want.size() % 4, 2u); // the case that needs padding
    Align(want);
    Add32(want, 0);
    Add32(want, 0);
    Add32(want, 0x50000000);
    for (unsigned v : {40, 10, 100, 10})
        Add16(want, v);
    Add32(want, 0xFFFFFFFF);
    Add32(want, 0x0082FFFF);
    AddWide(want, u"v\u00e9");
    Add16(want, 0);
    ASSERT_EQ(want.size() % 4, 0u); // and the case that needs none
    Align(want);
    Add32(want, 0);
    Add32(want, 0);
    Add32(want, 0x50030001);
    for (unsigned v : {145, 8, 50, 12})
        Add16(want, v);
    Add32(want, 1);
    Add32(want, 0x0080FFFF);
    AddWide(want, u"OK");
    Add16(want, 0);

    EXPECT_EQ(Written(t), want);
    ASSERT_NE(t.ItemCountField, nullptr);
    EXPECT_EQ(*t.ItemCountField, 2);
}

TEST(DialogTemplate, RunsWithTheSystemFontAndFailsWithoutAHeader) {
    ScriptedBoxes boxes;
    {
        CGDialogTemplate t;
        t.BeginTemplate({0, 0, 120, 40});
        t.AddLabel({5, 5, 60, 15}, "Label text");
        t.AddButtonOK({65, 5, 115, 17});
        DialogDriver driver;
        std::string title, label;
        driver.WaitFor("varnocle").Do([&](HWND top) {
            title = DialogDriver::TitleOf(top);
            HWND labelWindow = FindWindowExA(top, nullptr, "Static", nullptr);
            label = DialogDriver::TitleOf(labelWindow);
            DialogDriver::Press(top, VK_RETURN);
        });
        EXPECT_EQ(t.RunTemplate(), IDOK);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(label, "Label text");
    }
    {
        CGDialogTemplate empty; // no header was written
        empty.AddButtonOK({0, 0, 10, 10});
        EXPECT_LT(empty.RunTemplate(), 0);
    }
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0].Caption, "Error");
    EXPECT_EQ(boxes.Shown[0].Text.rfind("Dialog creation failed (", 0), 0u);
}

TEST(Dialog, EnterEndsWithOkAfterOnOkEscAndCloseBoxWithCancel) {
    ScriptedBoxes boxes;
    struct Case {
        const char* name;
        std::function<void(HWND)> close;
        int result;
        bool ok;
    };
    std::vector<Case> cases = {
        {"enter", [](HWND d) { DialogDriver::Press(d, VK_RETURN); }, IDOK, true},
        {"escape", [](HWND d) { DialogDriver::Press(d, VK_ESCAPE); }, IDCANCEL, false},
        {"close box", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL, false},
        {"ok with another code",
         [](HWND d) { PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 7), 0); }, IDOK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggingDialog dialog;
        DialogDriver driver;
        driver.WaitFor("Controls").Do(c.close);
        EXPECT_EQ(dialog.RunModal(IDD_CONTROLS), c.result);
        EXPECT_TRUE(driver.Finished());
        std::vector<std::string> want = {"init"};
        if (c.ok)
            want.push_back("ok");
        EXPECT_EQ(dialog.Log, want);
    }
    EXPECT_TRUE(boxes.Shown.empty());
}

TEST(Dialog, WithoutParentItIsCentredOnTheDesktop) {
    LoggingDialog dialog;
    DialogDriver driver;
    RECT r = {};
    driver.WaitFor("Controls").Do([&](HWND top) {
        GetWindowRect(top, &r);
        PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.RunModal(IDD_CONTROLS);
    RECT desk;
    GetWindowRect(GetDesktopWindow(), &desk);
    EXPECT_NEAR(r.left + (r.right - r.left) / 2, desk.right / 2, 1);
    EXPECT_NEAR(r.top + (r.bottom - r.top) / 2, desk.bottom / 2, 1);
}

TEST(Dialog, ControlColoursGoToTheBoundObjectElseToTheDialog) {
    LoggingDialog dialog;
    ColourProbe probe;
    DialogDriver driver;
    LRESULT boundBrush = 0;
    driver.WaitFor("Controls").Do([&](HWND top) {
        dialog.BindItem(probe, IDC_TEXT);
        HDC dc = GetDC(top);
        boundBrush = SendMessageA(top, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(GetDlgItem(top, IDC_TEXT)));
        SendMessageA(top, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(GetDlgItem(top, IDC_LABEL)));
        ReleaseDC(top, dc);
        PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.RunModal(IDD_CONTROLS);
    EXPECT_GE(probe.Calls, 1);
    EXPECT_EQ(boundBrush, reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH)));
    EXPECT_NE(std::find(dialog.Coloured.begin(), dialog.Coloured.end(), IDC_LABEL),
              dialog.Coloured.end());
    // Bound to the item: its parent is the dialog, its bounds in the dialog's client area.
    EXPECT_EQ(probe.Parent, &dialog);
    EXPECT_GE(probe.Bounds.left, 0);
    EXPECT_LT(probe.Bounds.left, 100);
}

TEST(Dialog, MissingResourceIsReportedAndCountsAsCancel) {
    ScriptedBoxes boxes;
    LoggingDialog dialog;
    EXPECT_LT(dialog.RunModal(4321), 0);
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0].Text, "Dialog creation failed (1814)");
    EXPECT_EQ(boxes.Shown[0].Caption, "Error");
    EXPECT_TRUE(dialog.Log.empty());
}

namespace {

// Runs a dialog from inside another when it gets command NestCommand, as the accounts dialog
// runs the details dialog, and notes what the code after the inner dialog meets.
class NestingDialog : public LoggingDialog {
public:
    static constexpr int NestCommand = 4001;
    explicit NestingDialog(CGWinCore* parent = nullptr) : LoggingDialog(parent) {}
    int OnMenuCommand(int id) override {
        if (id != NestCommand)
            return 0;
        if (Inner)
            InnerResult = Inner->RunModal(IDD_CONTROLS);
        else
            InnerResult = ToolkitMessageBox(Handle, "Inner box", "Box title", MB_YESNO);
        CloseQueuedBeforeReturn = PeekMessageA(&Seen, CloseTarget, WM_CLOSE, WM_CLOSE, PM_NOREMOVE);
        // A close is pending now: nothing new may open any more.
        AfterwardsBox = ToolkitMessageBox(Handle, "Too late", "Box title", MB_OK);
        AfterwardsDialog = LoggingDialog(this).RunModal(IDD_CONTROLS);
        char path[MAX_PATH];
        COLORREF colour = 0;
        AfterwardsChooser =
            ChooseOpenFile(path, "All\0*.*\0") || CGCtrlButtonColour::PickColour(colour, this);
        return 1;
    }
    NestingDialog* Inner = nullptr;
    HWND CloseTarget = nullptr;
    MSG Seen = {};
    int InnerResult = 0;
    BOOL CloseQueuedBeforeReturn = TRUE;
    int AfterwardsBox = 0;
    int AfterwardsDialog = 0;
    bool AfterwardsChooser = true;
};

int ChoosersOpened = 0;

BOOL WINAPI CountFileChooser(OPENFILENAMEA*) {
    ++ChoosersOpened;
    return TRUE;
}

BOOL WINAPI CountColourChooser(CHOOSECOLORA*) {
    ++ChoosersOpened;
    return TRUE;
}

} // namespace

// The program's close while dialogs run: every open dialog of the thread ends as cancelled,
// innermost first, the code after each meets no new dialog, box or chooser, and the close's
// target hears of it once the outermost dialog has returned.
TEST(Dialog, APendingCloseEndsEveryDialogAsCancelledAndOpensNothingNew) {
    ScopedSeams seams(ToolkitSeams);
    seams->ShowMessageBox = DefaultToolkitSeams().ShowMessageBox; // the innermost: the system's
    seams->GetOpenFileName = CountFileChooser;
    seams->ChooseColor = CountColourChooser;
    ChoosersOpened = 0;
    HWND target = CreateWindowA("Static", "target", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    NestingDialog outer;
    NestingDialog inner(&outer);
    outer.Inner = &inner;
    outer.CloseTarget = inner.CloseTarget = target;
    DialogDriver driver;
    int depth = 0, ended = 0, openedLater = 0;
    driver.WaitFor("Controls")
        .Do([](HWND top) { PostMessageA(top, WM_COMMAND, NestingDialog::NestCommand, 0); })
        .Then([&](HWND top) { return top && inner.Handle == top; })
        .Do([](HWND top) { PostMessageA(top, WM_COMMAND, NestingDialog::NestCommand, 0); })
        .WaitFor("Box title")
        .Do([&](HWND) {
            depth = ModalDepth();
            RequestCloseAfterModals(target);
            ended = CancelThreadDialogs();
        })
        .Then([&](HWND top) {
            // Whatever opens from now on is a fault; it is closed so that the test ends.
            if (top) {
                ++openedLater;
                PostMessageA(top, WM_COMMAND, IDCANCEL, 0);
            }
            return false;
        });
    EXPECT_EQ(outer.RunModal(IDD_CONTROLS), IDCANCEL);
    EXPECT_EQ(openedLater, 0);
    EXPECT_EQ(depth, 3);
    EXPECT_EQ(ended, 3);
    EXPECT_EQ(ModalDepth(), 0);
    for (const NestingDialog* d : {&inner, &outer}) {
        EXPECT_EQ(d->InnerResult, IDCANCEL);
        EXPECT_FALSE(d->CloseQueuedBeforeReturn);
        EXPECT_EQ(d->AfterwardsBox, IDCANCEL);
        EXPECT_EQ(d->AfterwardsDialog, IDCANCEL);
        EXPECT_FALSE(d->AfterwardsChooser);
    }
    EXPECT_EQ(ChoosersOpened, 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, target, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, target, WM_CLOSE, WM_CLOSE, PM_REMOVE)); // only once
    ClearPendingClose();
    DestroyWindow(target);
}
