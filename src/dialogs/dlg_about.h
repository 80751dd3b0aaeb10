#pragma once

#include "toolkit/dialog_template.h"
#include "toolkit/link_controls.h"

#include <cstddef>

// The About box: the program's icon, its name and version, a link to the maker's web site
// and OK. It has no resource; constructing the object builds the template and runs it, and
// the constructor returns when the user has closed the dialog.
class CGDlgAbout : public CGDialogTemplate {
public:
    explicit CGDlgAbout(CGWinCore* parent);

    int OnInitDialog(HWND hwnd) override;

    CGCtrlSysLink Link;
    CGCtrlStatic Icon;
    int Result = 0; // what the dialog ended with
};

// "varnocle v<major>.<minor>r<build>" from a product version, or "varnocle" without one.
void FormatVersionLabel(const VS_FIXEDFILEINFO* info, char* out, size_t size);
// The label for this program's own version record.
void ReadVersionLabel(char* out, size_t size);

// The address the About box links to.
extern const char* const MakerWebSite;
