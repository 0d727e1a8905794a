// The commands sent to windows, as every thread must know them, and where
// they put each window. A command to
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
        Entry* at = Obtain(window);
        if (at == nullptr) return false;
        if (at->owed++ == 0) owing_.fetch_add(1, std::memory_order_release);
        at->released = false;
        at->last = sequence_.load(std::memory_order_relaxed) + 1;
        sequence_.store(at->last, std::memory_order_release);
        return true;
    }

    // One answer of `window` has come; an answer nobody waits for is ignored.
    void Answered(WindowHandle window) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto at = Find(window);
        if (at == entries_.end() || at->window != window || at->owed == 0) return;
        if (--at->owed > 0) return;
        owing_.fetch_sub(1, std::memory_order_release);
        if (at->released) Erase(at);
    }

    bool Owes(WindowHandle window) const {
        // Most of the time nothing is owed: no lock then.
        if (owing_.load(std::memory_order_acquire) == 0) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto at = const_cast<OwedAnswers*>(this)->Find(window);
        return at != entries_.end() && at->window == window && at->owed > 0;
    }

    // Now, in the order of commands: taken when a window is read.
    Stamp Now() const { return sequence_.load(std::memory_order_acquire); }

    // Whether a command has gone to `window` since `stamp`. A window whose
    // entry has been forgotten counts as commanded when any forgotten
    // window's last command came after `stamp`.
    bool CommandedSince(WindowHandle window, Stamp stamp) const {
        // Most of the time no command at all has gone since: no lock then.
        if (sequence_.load(std::memory_order_acquire) <= stamp) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto at = const_cast<OwedAnswers*>(this)->Find(window);
        return (at != entries_.end() && at->window == window ? at->last : forgotten_) > stamp;
    }

    // `window` no longer concerns the rules: its entry goes, once it has
    // answered, so that the record holds only the windows bound now and
    // those still owing.
    void Forget(WindowHandle window) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto at = Find(window);
        if (at == entries_.end() || at->window != window) return;
        if (at->owed > 0) at->released = true;
        else Erase(at);
    }

    // How many windows owe answers.
    std::size_t size() const { return static_cast<std::size_t>(owing_.load(std::memory_order_acquire)); }

    // What keeps commands from a window: nothing; it is gone (the next scan
    // pass unbinds it); or it refuses them (its program runs as
    // administrator). A mark holds while the window is bound and goes with
    // it (Forget).
    enum class Block { None, Gone, Refused };
    void Mark(WindowHandle window, Block block) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* entry = Obtain(window);
        if (entry == nullptr || entry->block != Block::None || block == Block::None) return;
        entry->block = block;
        blocked_.fetch_add(1, std::memory_order_release);
    }
    Block Blocked(WindowHandle window) const {
        // Most of the time no window is marked: no lock then.
        if (blocked_.load(std::memory_order_acquire) == 0) return Block::None;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto at = const_cast<OwedAnswers*>(this)->Find(window);
        return at != entries_.end() && at->window == window ? at->block : Block::None;
    }

    // Where the engine last put `window` (a move's target, or where a
    // correction found it right), so that a window the user has moved since
    // can be told from one the system moved. False without memory for it.
    bool Place(WindowHandle window, const Rect& at) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* entry = Obtain(window);
        if (entry == nullptr) return false;
        entry->placed = at;
        entry->hasPlace = true;
        return true;
    }

    // Marks the windows that stand elsewhere than where they were put now
    // (`elsewhere` reads each window: it must not wait), and clears the mark
    // of the others.
    template <class Elsewhere>
    void MarkMoved(Elsewhere elsewhere) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Entry& e : entries_) e.moved = e.hasPlace && elsewhere(e.window, e.placed);
    }
    // Whether `window` was marked moved; `placed` is then where it had been put.
    bool Moved(WindowHandle window, Rect& placed) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto at = const_cast<OwedAnswers*>(this)->Find(window);
        if (at == entries_.end() || at->window != window || !at->moved) return false;
        placed = at->placed;
        return true;
    }

private:
    struct Entry {
        WindowHandle window;
        int owed = 0;           // answers owed
        Stamp last = 0;         // its newest command
        bool released = false;  // forgotten once it has answered
        bool hasPlace = false;  // `placed` is known
        bool moved = false;     // moved from `placed` when the displays began to change
        Block block = Block::None;
        Rect placed{};
    };
    // Entries in the order of their windows: the first at or after `window`.
    std::vector<Entry>::iterator Find(WindowHandle window) {
        return std::lower_bound(entries_.begin(), entries_.end(), window,
                                [](const Entry& e, WindowHandle w) { return e.window < w; });
    }
    // The entry of `window`, made when there is none; null without memory.
    Entry* Obtain(WindowHandle window) {
        auto at = Find(window);
        if (at != entries_.end() && at->window == window) return &*at;
        try {
            return &*entries_.insert(at, Entry{window});
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    void Erase(std::vector<Entry>::iterator at) {
        forgotten_ = std::max(forgotten_, at->last);
        if (at->block != Block::None) blocked_.fetch_sub(1, std::memory_order_release);
        entries_.erase(at);
    }

    mutable std::mutex mutex_;
    std::atomic<int> owing_{0};          // windows that owe answers
    std::atomic<int> blocked_{0};        // windows gone or refusing
    std::atomic<Stamp> sequence_{0};     // commands recorded so far
    Stamp forgotten_ = 0;                // the newest command of a forgotten window
    std::vector<Entry> entries_;
};

}  // namespace torvane
