// Waiting for a condition with a deadline, for threaded tests.
#pragma once

#include <chrono>
#include <thread>

#include "rules/rule_table.h"

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

// Waits until every running worker has finished `cycles` more cycles.
inline bool WaitForCycles(const Shared& shared, std::uint64_t cycles) {
    const WorkerFlags* all[] = {&shared.scanThread, &shared.lockThread, &shared.correctionThread,
                                &shared.stateWatchThread};
    std::uint64_t start[4];
    for (int i = 0; i < 4; ++i) start[i] = all[i]->Cycles.load();
    return WaitUntil([&] {
        for (int i = 0; i < 4; ++i)
            if (all[i]->Cycles.load() < start[i] + cycles) return false;
        return true;
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
