#pragma once

#include "toolkit/win_core.h"

#include <windows.h>

class CGWindow;

// A modal dialog bound to a native dialog run by the system dialog manager. Its messages go
// through the extension chain and the same virtual operations as ordinary windows; OK and
// Cancel close it, and bound controls decide their own colours. The object lives on the
// stack of the code that runs it and is bound to the native dialog only while it is open.
class CGDialog : public CGWinCore {
public:
    // parent: the window that opens the dialog (its owner), or null.
    explicit CGDialog(CGWinCore* parent = nullptr) { Parent = parent; }

    // Runs dialog resource resourceId modally. Returns the value given to EndDialog (1 for OK,
    // 2 for Cancel) or, after the "Dialog creation failed" box, a negative value. While a
    // close of the program is pending it opens nothing and returns 2 at once.
    int RunModal(int resourceId);

    // Virtual operations added to CGWinCore's, in this order.
    virtual INT_PTR DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The result of WM_INITDIALOG: 0 when the dialog has set the focus itself.
    virtual int OnInitDialog(HWND hwnd);
    // Runs before the dialog closes with OK; it cannot keep the dialog open.
    virtual void OnOK() {}
    // Colours of a plain resource control (one without a toolkit object); null keeps the
    // defaults.
    virtual HBRUSH OnDialogCtlColor(HWND control, HDC dc);

    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    // The close box ends the dialog like Cancel; destroying it would leave the modal loop
    // without a result.
    void OnClose() override;
    // A dialog is never the program's main window, so its end does not end the program.
    void OnDestroy() override {}

    // Binds a control object to dialog item id (inside OnInitDialog).
    void BindItem(CGWindow& control, int id);
    // The system chooser for an existing file. fileBuffer holds MAX_PATH bytes; filter is a
    // list of NUL-terminated pairs ending with an empty string. True when a file was chosen;
    // false at once while a close of the program is pending.
    bool ChooseOpenFile(char* fileBuffer, const char* filter);

protected:
    HWND OwnerHandle() const { return Parent ? Parent->Handle : nullptr; }
    // The failure box for a negative dialog result; returns the result unchanged.
    int ReportCreation(INT_PTR result);
};

// The one dialog procedure of the toolkit: finds the object through GWLP_USERDATA.
INT_PTR CALLBACK ToolkitDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
