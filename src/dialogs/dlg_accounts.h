#pragma once

#include "toolkit/controls.h"
#include "toolkit/dialog.h"
#include "toolkit/window_extensions.h"

class CAccountList;
class CGAccount;

// The new-mail options as the accounts dialog shows them.
struct CNewMailOptions {
    int PlaySound = 0;
    CGText CustomSound; // empty: the system's "new mail" sound
    int ChangeColour = 0;
    COLORREF NewMailColour = 0;
    int Notify = 1;        // a notification for new mail
    int NotifyDetails = 1; // naming senders and subjects in it
};

// The accounts dialog (resource 106): the accounts in checking order with add, edit,
// remove and reorder, and the new-mail options. Account changes act on the live list at
// once; the options are edited on a copy that only "Done" hands back.
class CDlgAccounts : public CGDialog {
public:
    CDlgAccounts(CAccountList& list, CGWinCore* owner);

    int OnInitDialog(HWND hwnd) override;
    void OnChildNotify(HWND from, UINT code, NMHDR* header) override;
    // "Done": Options become what the dialog shows.
    void OnOK() override;

    void FillList();
    void UpdateButtons();
    void EditSelected();

    CNewMailOptions Options;   // shown when the dialog opens; after "Done", as confirmed
    CAccountList* AccountList; // not owned
    CGCtrlListBox AccountsBox;
    CGCtrlButton AddButton;
    CGCtrlButton EditButton;
    CGCtrlButton RemoveButton;
    CGCtrlButton UpButton;
    CGCtrlButton DownButton;
    CGCtrlButtonBOOL PlaySoundBox;
    CGCtrlEditText SoundFileEdit;
    CGCtrlButtonBOOL ChangeColourBox;
    CGCtrlButtonColour ColourButton;
    CGCtrlButtonBOOL NotifyBox;
    CGCtrlButtonBOOL NotifyDetailsBox;
    CGWEToolTip ToolTip;

private:
    // The list and its buttons, then the new-mail options, each with its tooltip.
    void BindAccountControls();
    void BindOptionControls();
    // Shows options in their controls when the dialog opens.
    void WriteControls(const CNewMailOptions& options);
    // What the option controls show now; the one way the dialog reads them.
    CNewMailOptions ReadControls();
    CGAccount* Selected() const;
    void Reselect(CGAccount* account);
    void AddClicked();
    void RemoveClicked();
    void MoveClicked(bool down);
    void ChooseSound();
    void ChooseColour();
    // The details box means something only while there is a notification.
    void FollowNotifyBox();
};

// Runs the accounts dialog on list with owner as parent; "Done" takes over the new-mail
// options, any other end keeps the old ones. Account changes stay in either case.
void RunAccountsDialog(CAccountList& list, CGWinCore* owner);
