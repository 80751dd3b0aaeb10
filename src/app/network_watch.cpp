#include "app/network_watch.h"

#include <iphlpapi.h>

// One request for the next change. The system writes into it until the request completes.
struct CNetworkWatch::Request {
    Request() : Event(CreateEventA(nullptr, FALSE, FALSE, nullptr)) { Overlapped.hEvent = Event; }
    ~Request() {
        if (Event)
            CloseHandle(Event);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    OVERLAPPED Overlapped = {};
    HANDLE Event; // auto-reset: each change wakes the wait once
};

CNetworkWatch::CNetworkWatch() = default;

CNetworkWatch::~CNetworkWatch() {
    Stop();
}

int CNetworkWatch::Start(HWND window, UINT message) {
    Stop();
    Window = window;
    Message = message;
    Pending = std::make_unique<Request>();
    // Asked before the wait exists: a change in between leaves the event set for it.
    if (!Pending->Event || !Ask() ||
        !RegisterWaitForSingleObject(&Wait, Pending->Event, Signalled, this, INFINITE,
                                     WT_EXECUTEINWAITTHREAD)) {
        Wait = nullptr;
        Stop();
        return 0;
    }
    return 1;
}

int CNetworkWatch::Ask() {
    HANDLE notification = nullptr; // the IP helper's own, not ours to close
    return NotifyAddrChange(&notification, &Pending->Overlapped) == ERROR_IO_PENDING ? 1 : 0;
}

void CNetworkWatch::Rearm() {
    if (Pending && HasOverlappedIoCompleted(&Pending->Overlapped))
        Ask();
}

void CNetworkWatch::Stop() {
    if (Wait) {
        // Returns once a callback in progress has posted; none starts afterwards.
        UnregisterWaitEx(Wait, INVALID_HANDLE_VALUE);
        Wait = nullptr;
    }
    if (!Pending)
        return;
    if (!HasOverlappedIoCompleted(&Pending->Overlapped))
        CancelIPChangeNotify(&Pending->Overlapped);
    // A cancelled request may still be written to for a moment: rather than wait for it at
    // exit, leave it to the end of the process.
    if (!HasOverlappedIoCompleted(&Pending->Overlapped))
        (void)Pending.release();
    Pending.reset();
}

HANDLE CNetworkWatch::ChangeEvent() const {
    return Pending ? Pending->Event : nullptr;
}

void CALLBACK CNetworkWatch::Signalled(void* context, BOOLEAN) {
    const auto* self = static_cast<const CNetworkWatch*>(context);
    PostMessageA(self->Window, self->Message, 0, 0);
}
