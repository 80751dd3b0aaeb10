#include "toolkit/controls.h"

#include "base/scan.h"

#include "toolkit/handles.h"
#include "toolkit/toolkit_seams.h"
#include "toolkit/win_support.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

CGText ReadWindowText(HWND window) {
    int n = GetWindowTextLengthA(window);
    if (n < 0)
        n = 0;
    auto buffer = std::make_unique<char[]>(n + 1);
    buffer[0] = 0;
    if (n > 0)
        GetWindowTextA(window, buffer.get(), n + 1);
    return CGText(buffer.get());
}

void CGCtrlButtonBOOL::Write(int value) {
    Value = value ? 1 : 0;
    SendMessageA(Handle, BM_SETCHECK, static_cast<WPARAM>(Value), 0);
}

int CGCtrlButtonBOOL::Read() {
    Value = SendMessageA(Handle, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    return Value;
}

void CGCtrlButtonBOOL::OnReflectedNotify(UINT code, NMHDR*) {
    if (code == BN_CLICKED)
        Read();
}

void CGCtrlButtonColour::Write(COLORREF colour) {
    Value = colour;
    Redraw();
}

void CGCtrlButtonColour::OnDrawItem(DRAWITEMSTRUCT* drawItem) {
    CGBrush brush(CreateSolidBrush(Value));
    HGDIOBJ old = SelectObject(drawItem->hDC, brush.get());
    const RECT& r = drawItem->rcItem;
    Rectangle(drawItem->hDC, r.left, r.top, r.right, r.bottom);
    SelectObject(drawItem->hDC, old);
}

bool CGCtrlButtonColour::PickColour(COLORREF& colour, CGWinCore* owner) {
    if (ClosePending())
        return false;
    CGModalRun run;
    // Offered afresh at every call: a soft palette rather than sixteen blacks.
    COLORREF custom[16];
    for (int i = 0; i < 16; ++i)
        custom[i] = RGB(255 - i * 8, 255 - (i % 4) * 24, 255 - (i / 4) * 24);
    CHOOSECOLORA request;
    std::memset(&request, 0, sizeof request);
    // The size the system expects of this build (36 bytes only in 32-bit builds).
    request.lStructSize = sizeof request;
    request.hwndOwner = owner ? owner->Handle : nullptr;
    request.rgbResult = colour;
    request.lpCustColors = custom;
    request.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ToolkitSeams.ChooseColor(&request))
        return false;
    colour = request.rgbResult;
    return true;
}

void CGCtrlEditText::Write(const CGText& text) {
    SendMessageA(Handle, EM_LIMITTEXT, static_cast<WPARAM>(MaxLength), 0);
    if (&text != &Value)
        Value = text;
    // The field's change notification takes the text back into Value as the field holds it.
    SetWindowTextA(Handle, Value.GetOrEmpty());
}

const CGText& CGCtrlEditText::Read() {
    Value = ReadWindowText(Handle);
    return Value;
}

void CGCtrlEditText::OnReflectedNotify(UINT code, NMHDR*) {
    if (code == EN_CHANGE)
        Read();
}

int CGCtrlEditInt::ReadNumber() const {
    return ParseLeadingInt(ReadWindowText(Handle).Get());
}

void CGCtrlEditInt::ShowValue() {
    CGText text = ReadWindowText(Handle);
    if (text.IsEmpty() || ParseLeadingInt(text.Get()) != Value) {
        char number[32];
        std::snprintf(number, sizeof number, "%d", static_cast<int>(Value));
        SetWindowTextA(Handle, number);
    }
}

void CGCtrlEditInt::Write(int number) {
    SendMessageA(Handle, EM_LIMITTEXT, 11, 0);
    Value = number;
    ShowValue();
}

int CGCtrlEditInt::Read() {
    int number = ReadNumber();
    if (InRange(number))
        Value = number;
    return Value;
}

void CGCtrlEditInt::OnReflectedNotify(UINT code, NMHDR*) {
    if (code == EN_CHANGE) {
        Read();
        Redraw();
    } else if (code == EN_KILLFOCUS) {
        ShowValue();
    }
}

HBRUSH CGCtrlEditInt::OnCtlColor(HDC dc) {
    if (InRange(ReadNumber()))
        return nullptr;
    SetBkColor(dc, WarningColour);
    SetDCBrushColor(dc, WarningColour);
    return static_cast<HBRUSH>(GetStockObject(DC_BRUSH));
}

void CGCtrlCombo::AddEntry(const char* text) {
    SendMessageA(Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void CGCtrlCombo::Write(int index) {
    SendMessageA(Handle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int CGCtrlCombo::Read() const {
    return static_cast<int>(SendMessageA(Handle, CB_GETCURSEL, 0, 0));
}

void* CGCtrlListBox::SelectedItemData() const {
    LRESULT index = SendMessageA(Handle, LB_GETCURSEL, 0, 0);
    if (index < 0)
        return nullptr;
    return reinterpret_cast<void*>(SendMessageA(Handle, LB_GETITEMDATA, index, 0));
}

void CGCtrlListBox::SelectItemData(void* data) {
    LRESULT count = SendMessageA(Handle, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (reinterpret_cast<void*>(SendMessageA(Handle, LB_GETITEMDATA, i, 0)) == data) {
            SendMessageA(Handle, LB_SETCURSEL, i, 0);
            return;
        }
    }
}
