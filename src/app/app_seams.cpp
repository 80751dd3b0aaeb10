#include "app/app_seams.h"

#include "dialogs/dlg_about.h"
#include "dialogs/dlg_accounts.h"

#include <mmsystem.h>
#include <shellapi.h>

namespace {

BOOL SystemPlaySound(const char* sound, HMODULE module, DWORD flags) {
    return PlaySoundA(sound, module, flags);
}

HINSTANCE SystemShellExecute(HWND owner, const char* verb, const char* file, const char* parameters,
                             const char* directory, int show) {
    return ShellExecuteA(owner, verb, file, parameters, directory, show);
}

// Constructing the About box runs it; it is gone again when the user has closed it.
void ShowAboutDialog(CGWinCore* owner) {
    CGDlgAbout about(owner);
}

constexpr CAppSeams ProgramSeams = {SystemPlaySound, SystemShellExecute, RunAccountsDialog,
                                    ShowAboutDialog};

} // namespace

constinit CAppSeams AppSeams = ProgramSeams;

CAppSeams DefaultAppSeams() {
    return ProgramSeams;
}
