#pragma once

#include <cstdint>

// The process-wide counter of private window-message numbers. Start-up sets it to 0x8000
// (WM_APP) before any object takes a number; every taker gets the current value and moves
// the counter on by one. Only the user-interface thread takes numbers.
extern int32_t NextPrivateMessage;

// Returns the next private message number and advances the counter.
uint32_t TakePrivateMessage();

// Base of every object that needs a window message of its own (tooltips, menus, the tray
// icon); the number is taken when the object is constructed.
class CGWMHandler {
public:
    CGWMHandler() : MessageId(TakePrivateMessage()) {}

    uint32_t MessageId;
};
