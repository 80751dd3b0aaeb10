#include "app/app_seams.h"

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

// Placeholder until the dialogs exist: the accounts dialog adds no account (so a first start
// without accounts ends the program), and About shows nothing.
void NoAccountsDialog(CAccountList&, CGWinCore*) {}
void NoAboutDialog(CGWinCore*) {}

} // namespace

CAppSeams DefaultAppSeams() {
    return {SystemPlaySound, SystemShellExecute, NoAccountsDialog, NoAboutDialog};
}

CAppSeams AppSeams = DefaultAppSeams();
