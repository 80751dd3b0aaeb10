#include "mail/thread.h"

CGThread::~CGThread() {
    // A thread still running here would use a half-destroyed object; derived destructors
    // must have stopped it. Detaching keeps the process alive rather than terminating it.
    if (Thread.joinable()) {
        if (Thread.get_id() == std::this_thread::get_id())
            Thread.detach();
        else
            Thread.join();
    }
}

void CGThread::Start() {
    if (AutoStart.load() == 0 || Running.load())
        return;
    if (Thread.joinable())
        Thread.join(); // the previous run has ended; release it before starting anew
    StopRequested = 0;
    Running = true;
    Thread = std::thread(&CGThread::Entry, this);
}

void CGThread::Stop() {
    StopRequested = 1;
    if (Thread.joinable() && Thread.get_id() != std::this_thread::get_id())
        Thread.join();
}

void CGThread::Entry(CGThread* self) {
    // No exception may leave a thread entry: it would end the whole program.
    try {
        self->Run();
    } catch (...) {
    }
    self->Running = false;
}
