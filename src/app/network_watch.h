#pragma once

#include <windows.h>

#include <memory>

// Tells a window when the computer's IPv4 addresses change, as when a network comes back (or
// goes): NotifyAddrChange in its overlapped form, with its event watched by a wait of the
// system's thread pool that posts Message to Window. Idle, it costs nothing: no thread of
// ours, nothing polled. The window asks for the next change with Rearm when the message comes.
class CNetworkWatch {
public:
    CNetworkWatch();
    ~CNetworkWatch();
    CNetworkWatch(const CNetworkWatch&) = delete;
    CNetworkWatch& operator=(const CNetworkWatch&) = delete;

    // Starts watching for window (not owned); 1 when the system took the request.
    int Start(HWND window, UINT message);
    // Asks for the next change, once the last request has completed.
    void Rearm();
    // Cancels the request and ends the wait. Waits for nothing but a post in progress.
    void Stop();
    // The event a change signals (tests signal it themselves); null when not watching.
    HANDLE ChangeEvent() const;

private:
    struct Request;
    // The thread pool's callback: one post to the window, nothing else.
    static void CALLBACK Signalled(void* context, BOOLEAN timedOut);
    int Ask();

    std::unique_ptr<Request> Pending;
    HANDLE Wait = nullptr; // the thread pool's wait; ended by UnregisterWaitEx, not closed
    HWND Window = nullptr; // not owned
    UINT Message = 0;
};
