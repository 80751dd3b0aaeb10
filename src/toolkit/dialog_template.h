#pragma once

#include "base/chunk_buffer.h"
#include "toolkit/dialog.h"

#include <cstdint>

// A dialog without a resource: its extended dialog template (DLGTEMPLATEEX and its items) is
// written into memory at run time. Derived dialogs build the template in their constructor.
class CGDialogTemplate : public CGDialog {
public:
    explicit CGDialogTemplate(CGWinCore* parent = nullptr) : CGDialog(parent) {}

    // Writes the header with the system message font; writes nothing when the font cannot be
    // read (the dialog then cannot be created). rectangle: left, top, right, bottom in dialog
    // units.
    void BeginTemplate(const RECT& rectangle);
    // The header for a given font and screen resolution (dots per inch).
    void WriteHeader(const RECT& rectangle, const LOGFONTW& font, int dpi);
    // The default push button "OK" with id 1.
    void AddButtonOK(const RECT& rectangle);
    // A static text without an id; text is UTF-8.
    void AddLabel(const RECT& rectangle, const char* text);
    // Runs the template modally; the result as RunModal.
    int RunTemplate();

    // The point size of a font of the given LOGFONT height at dpi dots per inch.
    static int PointSize(int height, int dpi);

    uint16_t* ItemCountField = nullptr; // cDlgItems inside Template; null before the header
    CGChunkBuffer Template;

private:
    void Put16(unsigned value);
    void Put32(uint32_t value);
    void PutRectangle(const RECT& rectangle);
    void PutText(const char* utf8);
    void AddItem(uint32_t style, const RECT& rectangle, uint32_t id, uint32_t windowClass,
                 const char* title);
};
