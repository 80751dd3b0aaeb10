#include "mail/notify_sink.h"

#include <windows.h>

void CGPostMessageSink::Notify(unsigned message) {
    if (Window)
        PostMessageA(static_cast<HWND>(Window), message, 0, 0);
}
