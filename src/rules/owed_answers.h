// The commands sent to windows, as every thread must know them. A command to
// another program's window is posted: it takes effect when that program next
// handles its messages. Until the window answers, what any thread reads of it
// may be from before the command, so no step reads or commands it meanwhile.
// And a step that read a window must not command it after another step's
// command has reached it: what it read is no longer so. One record for the
// whole process: the answer comes back on the thread that sent the command,
// whichever thread asks.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "rules/types.h"

namespace torvane {

class OwedAnswers {
public:
    // A point in the order of commands: before it, or since it.
    using Stamp = std::uint64_t;

    OwedAnswers() { entries_.reserve(32); }

    // Records one more command to `window`, which owes its answer. False when
    // there is no memory to record it: the caller must then send nothing.
    bool Owe(WindowHandle window) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* entry = find(window);
        if (entry == nullptr) {
            try {
                entry = &entries_.emplace_back(Entry{window, 0, 0});
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        if (entry->owed++ == 0) owing_.fetch_add(1, std::memory_order_release);
        entry->last = ++sequence_;
        return true;
    }

    // One answer of `window` has come; an answer nobody waits for is ignored.
    void Answered(WindowHandle window) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* entry = find(window);
        if (entry == nullptr || entry->owed == 0) return;
        if (--entry->owed == 0) owing_.fetch_sub(1, std::memory_order_release);
    }

    bool Owes(WindowHandle window) const {
        // Most of the time nothing is owed: no lock then.
        if (owing_.load(std::memory_order_acquire) == 0) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        const Entry* entry = const_cast<OwedAnswers*>(this)->find(window);
        return entry != nullptr && entry->owed > 0;
    }

    // Now, in the order of commands: taken when a window is read.
    Stamp Now() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return sequence_;
    }

    // Whether a command has gone to `window` since `stamp`. A window whose
    // entry has been forgotten since counts as commanded, unless no entry
    // forgotten since was commanded after `stamp`.
    bool CommandedSince(WindowHandle window, Stamp stamp) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const Entry* entry = const_cast<OwedAnswers*>(this)->find(window);
        return (entry != nullptr ? entry->last : forgotten_) > stamp;
    }

    // Forgets the windows that owe nothing and no longer concern the rules
    // (`kept` false), so that the record holds only the windows bound now
    // and those still owing.
    template <class Kept>
    void Forget(Kept kept) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(entries_, [&](const Entry& e) {
            if (e.owed > 0 || kept(e.window)) return false;
            forgotten_ = std::max(forgotten_, e.last);
            return true;
        });
    }

    // How many windows owe answers.
    std::size_t size() const { return static_cast<std::size_t>(owing_.load(std::memory_order_acquire)); }

private:
    struct Entry {
        WindowHandle window;
        int owed;    // answers owed
        Stamp last;  // its newest command
    };
    Entry* find(WindowHandle window) {
        for (Entry& e : entries_) {
            if (e.window == window) return &e;
        }
        return nullptr;
    }

    mutable std::mutex mutex_;
    std::atomic<int> owing_{0};  // windows that owe answers
    Stamp sequence_ = 0;         // commands recorded so far
    Stamp forgotten_ = 0;        // the newest command of a forgotten window
    std::vector<Entry> entries_;
};

}  // namespace torvane
