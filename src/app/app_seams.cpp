#include "app/app_seams.h"

#include "dialogs/dlg_about.h"
#include "dialogs/dlg_accounts.h"

#include <mmsystem.h>

namespace {

BOOL SystemPlaySound(const char* sound, HMODULE module, DWORD flags) {
    return PlaySoundA(sound, module, flags);
}

// Constructing the About box runs it; it is gone again when the user has closed it.
void ShowAboutDialog(CGWinCore* owner) {
    CGDlgAbout about(owner);
}

BOOL SystemNotifyIcon(DWORD message, NOTIFYICONDATAA* data) {
    return Shell_NotifyIconA(message, data);
}

constexpr CAppSeams ProgramSeams = {SystemPlaySound, RunAccountsDialog, ShowAboutDialog,
                                    SystemNotifyIcon};

} // namespace

constinit CAppSeams AppSeams = ProgramSeams;

CAppSeams DefaultAppSeams() {
    return ProgramSeams;
}
