#pragma once

#include "base/text.h"
#include "toolkit/window.h"

#include <cstdint>

// The window's whole text as an owned copy; empty (not null) when it has none.
CGText ReadWindowText(HWND window);

// Base of the controls a dialog binds to its items. The bound value stays current through
// the control's own reflected notifications, so the dialog reads results from its members
// after it has closed.
class CGCommonControl : public CGWindow {};

// A push button.
class CGCtrlButton : public CGCommonControl {
public:
    CGCtrlButton() { SetSize(100, 25); }
};

// A check box bound to a bool.
class CGCtrlButtonBOOL : public CGCtrlButton {
public:
    void SetCheck(int value);
    void OnReflectedNotify(UINT code, NMHDR* header) override;

    int Value = 0;
};

// An owner-drawn button that shows a colour.
class CGCtrlButtonColour : public CGCtrlButton {
public:
    void OnDrawItem(DRAWITEMSTRUCT* drawItem) override;
    // The system colour dialog, fully open and starting at colour; true and the chosen colour
    // in colour when the user confirms (never while a close of the program is pending).
    // Custom colours are not remembered between calls.
    static bool PickColour(COLORREF& colour, CGWinCore* owner);

    COLORREF Value = 0;
};

// An edit control.
class CGCtrlEdit : public CGCommonControl {
public:
    CGCtrlEdit() {
        SetSize(100, 25);
        Style |= WS_BORDER;
    }
};

// An edit control bound to a text; null shows as an empty field.
class CGCtrlEditText : public CGCtrlEdit {
public:
    void OnReflectedNotify(UINT code, NMHDR* header) override;
    virtual void ValueToWindow();
    virtual void WindowToValue();
    // After BindItem: limit the field to MaxLength characters and show Value.
    void Show();

    int MaxLength = 0;
    CGText Value;
};

// An edit control bound to a number within Min..Max. A number outside the range is never
// stored: the field turns light red while it holds one and shows Value again when the focus
// leaves it.
class CGCtrlEditInt : public CGCtrlEdit {
public:
    void OnReflectedNotify(UINT code, NMHDR* header) override;
    HBRUSH OnCtlColor(HDC dc) override;
    // Shows Value unless the field already reads as that number.
    void ShowValue();
    // After BindItem: room for the most negative number, then ShowValue.
    void Show();
    // The field's text as a number, like atoi but saturating instead of overflowing.
    int ReadNumber() const;
    bool InRange(int number) const { return number >= Min && number <= Max; }

    static constexpr COLORREF WarningColour = 0x007F7FFF;

    int32_t Value = 0;
    int32_t Min = 0;
    int32_t Max = 0;
};

// A combo box; the dialogs send it the combo messages themselves.
class CGCtrlCombo : public CGCommonControl {};

// A list box whose lines carry object pointers as item data.
class CGCtrlListBox : public CGCommonControl {
public:
    // The item data of the selected line, or null when none is selected.
    void* SelectedItemData() const;
    // Selects the first line carrying data; nothing changes when no line does.
    void SelectItemData(void* data);
};
