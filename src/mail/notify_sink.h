#pragma once

// Where an account reports that a check attempt has ended (and where mark-as-read asks for a
// refresh). The checking threads call it, so it must be quick and must not touch a window
// directly: the program's sink posts the account list's message to the main window; tests
// count the calls and wake a waiter.
class CGNotifySink {
public:
    virtual ~CGNotifySink() = default;
    // message: the account list's NotifyMessage; the receiver looks at every account.
    virtual void Notify(unsigned message) = 0;
};

#ifdef _WIN32
// Posts the message to a window with wParam 0 and lParam 0.
class CGPostMessageSink : public CGNotifySink {
public:
    explicit CGPostMessageSink(void* window = nullptr) : Window(window) {}
    void Notify(unsigned message) override;
    void* Window; // HWND; set before the sink is handed to StartAll
};
#endif
