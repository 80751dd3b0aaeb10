#include "dialogs/dlg_accounts.h"

#include "dialogs/dlg_configure.h"
#include "mail/account_list.h"
#include "resources/dialog_ids.h"
#include "toolkit/win_support.h"

CDlgAccounts::CDlgAccounts(CAccountList& list, CGWinCore* owner)
    : CGDialog(owner), AccountList(&list) {
    // No sound file path is longer, and a longer text would not read back whole.
    SoundFileEdit.MaxLength = MAX_PATH - 1;
}

CGAccount* CDlgAccounts::Selected() const {
    return static_cast<CGAccount*>(AccountsBox.SelectedItemData());
}

void CDlgAccounts::BindAccountControls() {
    BindItem(UpButton, IDC_UP);
    ToolTip.AddTool(&UpButton, "Move the selected email account up the list");
    BindItem(DownButton, IDC_DOWN);
    ToolTip.AddTool(&DownButton, "Move the selected email account down the list");
    BindItem(AccountsBox, IDC_ACCOUNT_LIST);
    FillList();
    ToolTip.AddTool(&AccountsBox, "The list of accounts to check for new e-mails.");
    BindItem(AddButton, IDC_ADD);
    ToolTip.AddTool(&AddButton, "Add an account to be checked for e-mail.");
    BindItem(EditButton, IDC_EDIT);
    ToolTip.AddTool(&EditButton, "Edit the details of the selected email account.");
    BindItem(RemoveButton, IDC_REMOVE);
    ToolTip.AddTool(&RemoveButton, "Remove the selected e-mail account from varnocle.");
}

void CDlgAccounts::BindOptionControls() {
    BindItem(SoundFileEdit, IDC_SOUND_FILE);
    ToolTip.AddTool(&SoundFileEdit, "The sound file to play when new mail is detected. Leave "
                                    "blank to play the Windows default New Mail sound.");
    BindItem(ChangeColourBox, IDC_CHANGE_COLOUR);
    ToolTip.AddTool(&ChangeColourBox,
                    "Change the floating window colour when new mail is detected");
    BindItem(ColourButton, IDC_COLOUR);
    ToolTip.AddTool(&ColourButton,
                    "The colour to change the floating window to when new mail is detected");
    BindItem(PlaySoundBox, IDC_PLAY_SOUND);
    ToolTip.AddTool(&PlaySoundBox, "Play a sound when new mail is detected");
}

void CDlgAccounts::WriteControls(const CNewMailOptions& options) {
    SoundFileEdit.Write(options.CustomSound);
    ChangeColourBox.Write(options.ChangeColour);
    ColourButton.Write(options.NewMailColour);
    PlaySoundBox.Write(options.PlaySound);
}

CNewMailOptions CDlgAccounts::ReadControls() {
    CNewMailOptions options;
    options.PlaySound = PlaySoundBox.Read();
    options.CustomSound = SoundFileEdit.Read();
    options.ChangeColour = ChangeColourBox.Read();
    options.NewMailColour = ColourButton.Read();
    return options;
}

int CDlgAccounts::OnInitDialog(HWND) {
    AddExtension(&ToolTip);
    ToolTip.Attach(this);
    BindAccountControls();
    BindOptionControls();
    WriteControls(Options);
    CentreOnParent(1);
    return 0;
}

void CDlgAccounts::FillList() {
    SendMessageA(AccountsBox.Handle, LB_RESETCONTENT, 0, 0);
    for (CGAccount& a : *AccountList) {
        const char* name = a.Name.GetOrEmpty();
        LRESULT line =
            SendMessageA(AccountsBox.Handle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        if (line >= 0)
            SendMessageA(AccountsBox.Handle, LB_SETITEMDATA, line, reinterpret_cast<LPARAM>(&a));
    }
}

void CDlgAccounts::UpdateButtons() {
    LRESULT s = SendMessageA(AccountsBox.Handle, LB_GETCURSEL, 0, 0);
    LRESULT n = SendMessageA(AccountsBox.Handle, LB_GETCOUNT, 0, 0);
    EnableWindow(EditButton.Handle, s >= 0);
    EnableWindow(RemoveButton.Handle, s >= 0);
    EnableWindow(UpButton.Handle, s > 0);
    EnableWindow(DownButton.Handle, s >= 0 && s != n - 1);
}

void CDlgAccounts::Reselect(CGAccount* account) {
    FillList();
    AccountsBox.SelectItemData(account);
    UpdateButtons();
}

void CDlgAccounts::EditSelected() {
    CGAccount* account = Selected();
    if (!account)
        return;
    EditAccount(*account, this, AccountList);
    Reselect(account);
}

void CDlgAccounts::AddClicked() {
    // The new account joins the list only when its details dialog ends with OK.
    AccountList->AddAccount(
        [this](CGAccount& account) { return EditAccount(account, this, AccountList); });
    FillList();
    UpdateButtons();
}

void CDlgAccounts::RemoveClicked() {
    CGAccount* account = Selected();
    if (!account)
        return;
    if (ToolkitMessageBox(Handle, "Remove. Are you sure?", "Varnocle", MB_YESNO) != IDYES)
        return;
    // Its seen file goes with its section, at the save that drops it from the list.
    AccountList->RemoveAccount(account);
    FillList();
    UpdateButtons();
}

void CDlgAccounts::MoveClicked(bool down) {
    CGAccount* account = Selected();
    if (!account)
        return;
    if (!down)
        AccountList->MoveUp(account);
    else if (CGAccount* next = AccountList->At(AccountList->IndexOf(account) + 1))
        AccountList->MoveUp(next);
    Reselect(account);
}

void CDlgAccounts::ChooseSound() {
    char path[MAX_PATH];
    if (ChooseOpenFile(path, "Sound files (*.wav)\0*.wav\0"))
        SoundFileEdit.Write(CGText(path));
}

void CDlgAccounts::ChooseColour() {
    COLORREF colour = ReadControls().NewMailColour;
    if (CGCtrlButtonColour::PickColour(colour, this))
        ColourButton.Write(colour);
}

void CDlgAccounts::OnChildNotify(HWND from, UINT code, NMHDR*) {
    if (from == AccountsBox.Handle) {
        if (code == LBN_SELCHANGE)
            UpdateButtons();
        else if (code == LBN_DBLCLK)
            EditSelected();
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (GetDlgCtrlID(from) == IDC_SOUND_BROWSE)
        ChooseSound();
    else if (from == ColourButton.Handle)
        ChooseColour();
    else if (from == AddButton.Handle)
        AddClicked();
    else if (from == EditButton.Handle)
        EditSelected();
    else if (from == RemoveButton.Handle)
        RemoveClicked();
    else if (from == UpButton.Handle)
        MoveClicked(false);
    else if (from == DownButton.Handle)
        MoveClicked(true);
}

void CDlgAccounts::OnOK() {
    Options = ReadControls();
}

void RunAccountsDialog(CAccountList& list, CGWinCore* owner) {
    CDlgAccounts dialog(list, owner);
    dialog.Options = {list.PlaySound, list.CustomSound, list.ChangeColour, list.NewMailColour};
    if (dialog.RunModal(IDD_ACCOUNTS) != IDOK)
        return;
    const CNewMailOptions& chosen = dialog.Options;
    list.PlaySound = chosen.PlaySound;
    list.CustomSound.Assign(chosen.CustomSound.GetOrEmpty());
    list.ChangeColour = chosen.ChangeColour;
    list.NewMailColour = chosen.NewMailColour;
}
