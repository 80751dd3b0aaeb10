#include "toolkit/dialog.h"

#include "toolkit/toolkit_seams.h"
#include "toolkit/win_support.h"
#include "toolkit/window.h"
#include "toolkit/window_extension.h"

#include <cstring>

INT_PTR CALLBACK ToolkitDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CGWinCore* core;
    if (msg == WM_INITDIALOG) {
        core = reinterpret_cast<CGWinCore*>(lParam);
        if (core)
            core->Bind(hwnd);
    } else {
        core = CGWinCore::FromHandle(hwnd);
    }
    if (!core)
        return FALSE;
    // Only dialogs pass themselves to the dialog manager, so the object is a CGDialog. No
    // exception may cross the system's frames: a failing handler counts as "not handled".
    try {
        return static_cast<CGDialog*>(core)->DialogProc(hwnd, msg, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

int CGDialog::RunModal(int resourceId) {
    if (ClosePending())
        return IDCANCEL;
    CGModalRun run;
    INT_PTR result =
        DialogBoxParamA(ToolkitInstance(), MAKEINTRESOURCEA(resourceId), OwnerHandle(),
                        ToolkitDialogProc, reinterpret_cast<LPARAM>(static_cast<CGWinCore*>(this)));
    return ReportCreation(result);
}

int CGDialog::ReportCreation(INT_PTR result) {
    if (result < 0)
        ShowToolkitError(OwnerHandle(), "Error", MB_OK, "Dialog creation failed (%lu)",
                         static_cast<unsigned long>(GetLastError()));
    Handle = nullptr;
    return static_cast<int>(result);
}

INT_PTR CGDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    for (CGWindowExtension* e = Extensions; e; e = e->Next) {
        if (LRESULT r = e->OnMessage(hwnd, msg, wParam, lParam))
            return r;
    }
    return HandleMessage(hwnd, msg, wParam, lParam);
}

int CGDialog::OnInitDialog(HWND) {
    return TRUE;
}

HBRUSH CGDialog::OnDialogCtlColor(HWND, HDC) {
    return nullptr;
}

void CGDialog::OnClose() {
    EndDialog(Handle, IDCANCEL);
}

LRESULT CGDialog::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        Handle = hwnd;
        AttachExtensions();
        if (!GetParent(Handle))
            CentreOnParent(0);
        return OnInitDialog(hwnd);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            EndDialog(Handle, IDOK);
            return 1;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(Handle, IDCANCEL);
            return 1;
        }
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lParam);
        HDC dc = reinterpret_cast<HDC>(wParam);
        // Only CGWindow objects have colours of their own; dialogs nested as items do not.
        if (auto* object = dynamic_cast<CGWindow*>(FromHandle(control)))
            return reinterpret_cast<LRESULT>(object->OnCtlColor(dc));
        return reinterpret_cast<LRESULT>(OnDialogCtlColor(control, dc));
    }
    default:
        break;
    }
    return CGWinCore::HandleMessage(hwnd, msg, wParam, lParam);
}

void CGDialog::BindItem(CGWindow& control, int id) {
    control.Parent = FromHandle(Handle);
    control.Handle = GetDlgItem(Handle, id);
    if (control.Handle) {
        control.Bind(control.Handle);
        control.ReadStyles();
    }
    control.RefreshBounds();
    control.OnAttach();
}

bool CGDialog::ChooseOpenFile(char* fileBuffer, const char* filter) {
    fileBuffer[0] = 0;
    if (ClosePending())
        return false;
    CGModalRun run;
    OPENFILENAMEA request;
    std::memset(&request, 0, sizeof request);
    // The size the system expects of this build (88 bytes only in 32-bit builds).
    request.lStructSize = sizeof request;
    request.hwndOwner = Handle;
    request.lpstrFile = fileBuffer;
    request.nMaxFile = MAX_PATH;
    request.lpstrFilter = filter;
    request.nFilterIndex = 1;
    request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    return ToolkitSeams.GetOpenFileName(&request) != FALSE;
}
