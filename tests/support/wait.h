// Waiting for a condition with a deadline, for threaded tests.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "engine/shared_state.h"

namespace torvane::testing {

inline constexpr std::chrono::milliseconds kDeadline{5000};

template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds deadline = kDeadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Waits until every running worker has finished `cycles` more cycles;
// `meanwhile` runs once the count to wait from has been taken.
inline bool WaitForCycles(const Shared& shared, std::uint64_t cycles, const std::function<void()>& meanwhile = {}) {
    const auto all = shared.workers();
    std::array<std::uint64_t, std::tuple_size_v<decltype(all)>> start{};
    for (std::size_t i = 0; i < all.size(); ++i) start[i] = all[i]->cycles.load();
    if (meanwhile) meanwhile();
    return WaitUntil([&] {
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i]->cycles.load() < start[i] + cycles) return false;
        return true;
    });
}

// The workers' interval from now on, and each worker in a sleep of it. Each
// is woken once: one that counted its cycle just before may already sleep
// the new interval.
inline bool SetInterval(Shared& shared, int ms) {
    shared.PollInterval = ms;
    return WaitForCycles(shared, 1, [&shared] {
        for (WorkerFlags* worker : shared.workers()) worker->wakeup.notify();
    });
}

// Runs `body` while holding the busy flag, waiting for it as long as needed.
template <class Body>
void WithFlag(Shared& shared, Body body) {
    while (!shared.busy.tryTake()) std::this_thread::yield();
    BusyGuard guard(shared.busy);
    body();
}

}  // namespace torvane::testing
