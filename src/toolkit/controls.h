#pragma once

#include "base/text.h"
#include "toolkit/window.h"

#include <cstdint>

// The window's whole text as an owned copy; empty (not null) when it has none.
CGText ReadWindowText(HWND window);

// Base of the controls a dialog binds to its items. A control that holds a value has one way
// in and one way out: Write shows a value, Read takes what the control shows now. Both keep
// it in the control's Value, which its own reflected notifications keep current too, so the
// value stays readable after the dialog has closed.
class CGCommonControl : public CGWindow {};

// A push button.
class CGCtrlButton : public CGCommonControl {
public:
    CGCtrlButton() { SetSize(100, 25); }
};

// A check box bound to a bool.
class CGCtrlButtonBOOL : public CGCtrlButton {
public:
    // Ticks the box for a non-zero value, clears it for 0.
    void Write(int value);
    // 1 when the box is ticked, else 0.
    int Read();
    void OnReflectedNotify(UINT code, NMHDR* header) override;

    int Value = 0;
};

// An owner-drawn button that shows a colour.
class CGCtrlButtonColour : public CGCtrlButton {
public:
    void Write(COLORREF colour);
    COLORREF Read() const { return Value; }
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
    // After BindItem: limits the field to MaxLength characters and shows text.
    void Write(const CGText& text);
    // The field's text, never null.
    const CGText& Read();
    void OnReflectedNotify(UINT code, NMHDR* header) override;

    int MaxLength = 0;
    CGText Value;
};

// An edit control bound to a number within Min..Max. A number outside the range is never
// stored: the field turns light red while it holds one and shows Value, the last valid
// number, again when the focus leaves it.
class CGCtrlEditInt : public CGCtrlEdit {
public:
    // After BindItem: room for the most negative number; number becomes the last valid one
    // and is shown unless the field already reads as it.
    void Write(int number);
    // The field's number when it is in range, else the last valid one.
    int Read();
    void OnReflectedNotify(UINT code, NMHDR* header) override;
    HBRUSH OnCtlColor(HDC dc) override;

    static constexpr COLORREF WarningColour = 0x007F7FFF;

    int32_t Value = 0;
    int32_t Min = 0;
    int32_t Max = 0;

private:
    // The field's text as a number, like atoi but saturating instead of overflowing.
    int ReadNumber() const;
    bool InRange(int number) const { return number >= Min && number <= Max; }
    void ShowValue();
};

// A drop-down list of fixed entries.
class CGCtrlCombo : public CGCommonControl {
public:
    void AddEntry(const char* text);
    // Selects entry index.
    void Write(int index);
    // The selected entry, or -1 when none is.
    int Read() const;
};

// A list box whose lines carry object pointers as item data.
class CGCtrlListBox : public CGCommonControl {
public:
    // The item data of the selected line, or null when none is selected.
    void* SelectedItemData() const;
    // Selects the first line carrying data; nothing changes when no line does.
    void SelectItemData(void* data);
};
