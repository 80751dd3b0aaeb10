#include "toolkit/dialog_template.h"

#include "base/text.h"
#include "toolkit/handles.h"
#include "toolkit/win_support.h"

#include <cstring>

namespace {

// WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
constexpr uint32_t DialogStyle = 0x00C800C0;
// WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON
constexpr uint32_t OkButtonStyle = 0x50030001;
// WS_CHILD | WS_VISIBLE
constexpr uint32_t LabelStyle = 0x50000000;
// Predefined classes by ordinal.
constexpr uint32_t ButtonClass = 0x0080FFFF;
constexpr uint32_t StaticClass = 0x0082FFFF;

} // namespace

int CGDialogTemplate::PointSize(int height, int dpi) {
    return height < 0 ? -MulDiv(height, 72, dpi) : height;
}

void CGDialogTemplate::Put16(unsigned value) {
    uint16_t v = static_cast<uint16_t>(value);
    std::memcpy(Template.Reserve(2), &v, 2);
}

void CGDialogTemplate::Put32(uint32_t value) {
    std::memcpy(Template.Reserve(4), &value, 4);
}

void CGDialogTemplate::PutRectangle(const RECT& r) {
    Put16(static_cast<unsigned>(r.left));
    Put16(static_cast<unsigned>(r.top));
    Put16(static_cast<unsigned>(r.right - r.left));
    Put16(static_cast<unsigned>(r.bottom - r.top));
}

void CGDialogTemplate::PutText(const char* utf8) {
    CGText text(utf8 ? utf8 : "");
    text.BuildWide();
    int units = text.Wide() ? text.WideLength() : 0;
    unsigned char* out = Template.Reserve(2 * units + 2);
    if (units)
        std::memcpy(out, text.Wide(), 2 * units);
    // The terminator is already zero: chunks start zero-filled.
}

void CGDialogTemplate::BeginTemplate(const RECT& rectangle) {
    CGWindowDC screen(nullptr);
    NONCLIENTMETRICSW metrics;
    std::memset(&metrics, 0, sizeof metrics);
    // The size without the padded-border field, which every Windows version accepts.
    metrics.cbSize = 500;
    if (screen.Get() && SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        WriteHeader(rectangle, metrics.lfMessageFont, GetDeviceCaps(screen.Get(), LOGPIXELSY));
}

void CGDialogTemplate::WriteHeader(const RECT& rectangle, const LOGFONTW& font, int dpi) {
    Put16(1);      // dlgVer
    Put16(0xFFFF); // signature
    Put32(0);      // helpID
    Put32(0);      // exStyle
    Put32(DialogStyle);
    ItemCountField = reinterpret_cast<uint16_t*>(Template.Reserve(2));
    PutRectangle(rectangle);
    PutText("");         // no menu
    PutText("");         // the standard dialog class
    PutText("varnocle"); // title
    Put16(static_cast<unsigned>(PointSize(font.lfHeight, dpi)));
    Put16(static_cast<unsigned>(font.lfWeight));
    unsigned char* flags = Template.Reserve(2);
    flags[0] = font.lfItalic;
    flags[1] = font.lfCharSet;
    // Through UTF-8 like every text of the template; a face name fills its array without a
    // terminator only when broken, so cut it there.
    wchar_t face[LF_FACESIZE + 1] = {};
    std::memcpy(face, font.lfFaceName, sizeof font.lfFaceName);
    CGText name;
    name.FromWide(reinterpret_cast<const char16_t*>(face));
    PutText(name.Get());
}

void CGDialogTemplate::AddItem(uint32_t style, const RECT& rectangle, uint32_t id,
                               uint32_t windowClass, const char* title) {
    int n = Template.Size(false);
    if (n % 4)
        Template.Reserve(4 - n % 4);
    Put32(0); // helpID
    Put32(0); // exStyle
    Put32(style);
    PutRectangle(rectangle);
    Put32(id);
    Put32(windowClass);
    PutText(title);
    Put16(0); // extraCount
    if (ItemCountField)
        ++*ItemCountField;
}

void CGDialogTemplate::AddButtonOK(const RECT& rectangle) {
    AddItem(OkButtonStyle, rectangle, IDOK, ButtonClass, "OK");
}

void CGDialogTemplate::AddLabel(const RECT& rectangle, const char* text) {
    AddItem(LabelStyle, rectangle, 0xFFFFFFFF, StaticClass, text);
}

int CGDialogTemplate::RunTemplate() {
    // Without a header the bytes are no template at all; never hand them to the system.
    if (!ItemCountField) {
        SetLastError(ERROR_INVALID_DATA);
        return ReportCreation(-1);
    }
    if (ClosePending())
        return IDCANCEL;
    CGModalRun run;
    auto block = Template.Flatten();
    INT_PTR result = DialogBoxIndirectParamA(
        ToolkitInstance(), reinterpret_cast<const DLGTEMPLATE*>(block.get()), OwnerHandle(),
        ToolkitDialogProc, reinterpret_cast<LPARAM>(static_cast<CGWinCore*>(this)));
    return ReportCreation(result);
}
