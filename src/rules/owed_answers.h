// The windows that have been sent a command and have not answered yet. A
// command to another program's window is posted: it takes effect when that
// program next handles its messages. Until the window answers, what any
// thread reads of it may be from before the command, so no step reads or
// commands it meanwhile. One record for the whole process: the answer comes
// back on the thread that sent the command, whichever thread asks.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "rules/types.h"

namespace torvane {

class OwedAnswers {
public:
    OwedAnswers() { entries_.reserve(32); }

    // Records one more answer that `window` owes. False when there is no
    // memory to record it: the caller must then send nothing.
    bool Owe(WindowHandle window) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [handle, count] : entries_) {
            if (handle == window) return ++count, true;
        }
        try {
            entries_.emplace_back(window, 1);
        } catch (const std::bad_alloc&) {
            return false;
        }
        total_.fetch_add(1, std::memory_order_release);
        return true;
    }

    // One answer of `window` has come; an answer nobody waits for is ignored.
    void Answered(WindowHandle window) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].first != window) continue;
            if (--entries_[i].second == 0) {
                entries_[i] = entries_.back();
                entries_.pop_back();
                total_.fetch_sub(1, std::memory_order_release);
            }
            return;
        }
    }

    bool Owes(WindowHandle window) const {
        // Most of the time nothing is owed: no lock then.
        if (total_.load(std::memory_order_acquire) == 0) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry.first == window) return true;
        }
        return false;
    }

    // How many windows owe answers.
    std::size_t size() const { return static_cast<std::size_t>(total_.load(std::memory_order_acquire)); }

private:
    mutable std::mutex mutex_;
    std::atomic<int> total_{0};
    std::vector<std::pair<WindowHandle, int>> entries_;  // window, answers owed
};

}  // namespace torvane
