#pragma once

#include <atomic>
#include <thread>

// A worker thread: Start() runs Run() on a new thread, Stop() asks it to end and waits.
// Base of the account's checking thread and of the update check.
class CGThread {
public:
    CGThread() = default;
    CGThread(const CGThread&) = delete;
    CGThread& operator=(const CGThread&) = delete;
    // Derived classes stop the thread in their own destructor, before their members go.
    virtual ~CGThread();

    // Starts Run() on a new thread when AutoStart is set and no thread is running;
    // otherwise does nothing.
    void Start();
    // Sets StopRequested and waits until Run() has returned. Subclasses that wait inside
    // Run() override it to wake that wait first, then call this.
    virtual void Stop();
    virtual void Run() = 0;

    bool IsRunning() const { return Running.load(); }

    std::atomic<int> StopRequested{0};
    std::atomic<int> AutoStart{1};

private:
    static void Entry(CGThread* self);

    std::thread Thread; // joined by Stop() or by the next Start()
    std::atomic<bool> Running{false};
};
