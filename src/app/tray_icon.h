#pragma once

#include "toolkit/handles.h"
#include "toolkit/window_extension.h"
#include "toolkit/wm_handler.h"

#include <shellapi.h>

#include <map>
#include <string>

// The program's icon in the notification area. The owner window receives the icon's mouse
// messages as MessageId (lParam = the mouse message) and interprets them itself.
class CGWETray : public CGWindowExtension, public CGWMHandler {
public:
    explicit CGWETray(unsigned iconId) : IconId(iconId) {}
    // Removes the icon from the notification area; the image shown goes with Image.
    ~CGWETray() override;

    // Adds the icon (image IconId, empty tooltip). 0 after an error box when the shell
    // refused it; the program then runs without a tray icon.
    int Attach(CGWinCore* owner) override;
    // Shows image id (0 = none) in IconData without telling the shell: the caller sends
    // Modify(). Each image is loaded once and kept, since a program that runs for months
    // must not load one per check (Wine, for one, never gives all of such a load back).
    // 0 after an error box when the icon could not be loaded.
    int SetIcon(unsigned id);
    // Adds the icon again when the shell announces a new notification area (it restarted
    // and lost every icon); the message still goes on to the owner.
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Sends IconData to the shell when its image or tooltip differs from what the shell
    // has; 1 when sent, 0 when nothing changed (or the shell refused).
    int Modify();

    NOTIFYICONDATAA IconData = {}; // hIcon: one of Images, not owned by the struct
    unsigned IconId;               // also the icon's id towards the shell
    const UINT TaskbarCreated = RegisterWindowMessageA("TaskbarCreated");

private:
    std::map<unsigned, CGIcon> Images; // loaded once, by resource id
    HICON SentIcon = nullptr;          // not owned: what the shell shows now
    std::string SentTip;
};

// Gives its owner the large and small icon from one icon resource.
class CGWEIcon : public CGWindowExtension {
public:
    explicit CGWEIcon(unsigned iconId) : IconId(iconId) {}
    // Takes the images back from a window that is still there before they are freed.
    ~CGWEIcon() override;
    // 1 when at least one of the two images was set; else 0 after an error box.
    int Attach(CGWinCore* owner) override;

    unsigned IconId;

private:
    CGIcon Big;
    CGIcon Small;
};
