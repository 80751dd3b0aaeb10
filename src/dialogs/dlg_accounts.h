#pragma once

#include "toolkit/controls.h"
#include "toolkit/dialog.h"
#include "toolkit/window_extensions.h"

class CAccountList;
class CGAccount;

// The accounts dialog (resource 106): the accounts in checking order with add, edit,
// remove and reorder, and the new-mail options. Account changes act on the live list at
// once; the options are edited on copies that only "Done" hands back.
class CDlgAccounts : public CGDialog {
public:
    CDlgAccounts(CAccountList& list, CGWinCore* owner);

    int OnInitDialog(HWND hwnd) override;
    void OnChildNotify(HWND from, UINT code, NMHDR* header) override;
    void OnOK() override;

    void FillList();
    void UpdateButtons();
    void EditSelected();

    int PlaySound = 0;
    CGText CustomSound;
    int ChangeColour = 0;
    COLORREF NewMailColour = 0;
    CAccountList* AccountList;
    CGCtrlListBox AccountsBox;
    CGCtrlButton AddButton;
    CGCtrlButton EditButton;
    CGCtrlButton RemoveButton;
    CGCtrlButton UpButton;
    CGCtrlButton DownButton;
    CGCtrlButton PlaySoundBox;
    CGCtrlEdit SoundFileEdit;
    CGCtrlButton ChangeColourBox;
    CGCtrlButtonColour ColourButton;
    CGWEToolTip ToolTip;

private:
    // The list and its buttons, then the new-mail options, each with its tooltip.
    void BindAccountControls();
    void BindOptionControls();
    CGAccount* Selected() const;
    void Reselect(CGAccount* account);
    void AddClicked();
    void RemoveClicked();
    void MoveClicked(bool down);
    void ChooseSound();
    void ChooseColour();
};

// Runs the accounts dialog on list with owner as parent; "Done" takes over the new-mail
// options, any other end keeps the old ones. Account changes stay in either case.
void RunAccountsDialog(CAccountList& list, CGWinCore* owner);
