#pragma once

#include "mail/notify_sink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

// A notification sink that counts the calls and lets a test wait for a number of them.
class CountingSink : public CGNotifySink {
public:
    void Notify(unsigned message) override {
        std::lock_guard<std::mutex> lock(Guard);
        ++Calls;
        LastMessage = message;
        if (StatusSource)
            Statuses.push_back(StatusSource->load());
        if (WaitSource)
            Waits.push_back(WaitSource->load());
        Changed.notify_all();
    }
    // true when at least n calls have arrived within timeoutMs.
    bool WaitFor(int n, int timeoutMs = 20000) {
        std::unique_lock<std::mutex> lock(Guard);
        return Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return Calls >= n; });
    }
    int Count() {
        std::lock_guard<std::mutex> lock(Guard);
        return Calls;
    }
    // The watched status at every call so far.
    std::vector<int> SeenStatuses() {
        std::lock_guard<std::mutex> lock(Guard);
        return Statuses;
    }
    // The watched wait at every call so far.
    std::vector<long long> SeenWaits() {
        std::lock_guard<std::mutex> lock(Guard);
        return Waits;
    }
    unsigned Message() {
        std::lock_guard<std::mutex> lock(Guard);
        return LastMessage;
    }

    // When set (before the thread starts), every call records this status.
    const std::atomic<int>* StatusSource = nullptr;
    // When set, every call records this wait (a thread's LastWaitTicks).
    const std::atomic<long long>* WaitSource = nullptr;

private:
    std::vector<int> Statuses;
    std::vector<long long> Waits;
    std::mutex Guard;
    std::condition_variable Changed;
    int Calls = 0;
    unsigned LastMessage = 0;
};
