// The run-time state that the shell, the workers and the settings dialog
// share: the rules and options, the busy flag, each worker's flags and
// wakeup, the windows just created, the windows bound, and the record of
// commands sent.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/busy_flag.h"
#include "engine/displays.h"
#include "engine/owed_answers.h"
#include "rules/rule_table.h"

namespace torvane {

// Cuts a worker's sleep short when work is due: the one-time correction runs
// as soon as a window has been marked, the scan as soon as a window shows,
// instead of up to a whole interval later. Without a notification the sleep
// lasts its full length. Notifications that come while the worker works are
// one: the cycle after is run once.
class Wakeup {
public:
    using Clock = std::chrono::steady_clock;

    // A cycle is due at once.
    void notify() { set(kCycle); }
    // A cycle is due, but not before the sleeper's floor: a window event,
    // which a program may cause without pause (a title that counts up).
    void notifyEvent() { set(kEvent); }
    // Only a look is due: the worker wakes and decides (the scan, at a new window).
    void nudge() { set(kLook); }

    // Sleeps until `until`, or until notified (of an event, from `floor` on)
    // or nudged; true when a cycle is due. An event whose floor has not come
    // stays due after a nudge; a cycle that comes now, notified or at the
    // end of the sleep, takes it.
    bool sleepUntil(Clock::time_point until, Clock::time_point floor) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            const Clock::time_point now = Clock::now();
            const bool event = (due_ & kEvent) != 0 && now >= floor;
            if (event || (due_ & (kCycle | kLook)) != 0 || now >= until) {
                const bool cycle = event || (due_ & kCycle) != 0;
                due_ = cycle || now >= until ? 0 : due_ & kEvent;
                return cycle;
            }
            cv_.wait_until(lock, (due_ & kEvent) != 0 ? std::min(until, floor) : until);
        }
    }

private:
    static constexpr unsigned kCycle = 1, kLook = 2, kEvent = 4;
    // The sleeper is woken once for what is due: further notifications of
    // it change nothing until it has been taken.
    void set(unsigned what) {
        bool news = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            news = (due_ & what) != what;
            due_ |= what;
        }
        if (news) cv_.notify_one();
    }
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    unsigned due_ = 0;
};

// One worker: the shell sets RunFlag before the start and clears it to ask
// for the stop; the worker holds AliveFlag while it runs, and sleeps on its
// wakeup between two cycles.
struct WorkerFlags {
    std::atomic<bool> RunFlag{false};
    std::atomic<bool> AliveFlag{false};
    // Cycles done so far, counted after each cycle's work: lets a caller wait
    // for the workers to have looked again.
    std::atomic<std::uint64_t> cycles{0};
    Wakeup wakeup;
};

// The windows created a moment ago that have not shown yet. The scan looks at
// them every millisecond for a short while, and runs its pass as soon as one
// shows: a window usually shows within milliseconds of its creation, and the
// platform need not say when it does.
class NewWindows {
public:
    static constexpr std::size_t kMost = 64;  // a burst beyond it waits for the poll
    NewWindows() { entries_.reserve(kMost); }  // the event thread never allocates
    void add(WindowHandle window, std::int64_t until) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Entry& e : entries_) {
            if (e.window == window) {
                e.until = until;
                return;
            }
        }
        if (entries_.size() < kMost) entries_.push_back({window, until});
    }
    bool any() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return !entries_.empty();
    }
    // Forgets the windows that have shown and those whose time is over at
    // `now`; true when one has shown. Each is looked at before it is
    // forgotten: a look that comes late, on a busy machine, still finds a
    // window that showed in time. `shown` is asked outside the lock.
    template <class Shown>
    bool takeShown(std::int64_t now, Shown shown) {
        WindowHandle looked[kMost];
        std::size_t count = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const Entry& e : entries_) looked[count++] = e.window;
        }
        std::size_t showed = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (shown(looked[i])) looked[showed++] = looked[i];
        }
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(entries_, [&](const Entry& e) {
            return e.until <= now || std::find(looked, looked + showed, e.window) != looked + showed;
        });
        return showed > 0;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
    }

private:
    struct Entry {
        WindowHandle window;
        std::int64_t until;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

// A set of window handles that one thread publishes whole and others ask
// about. Publishing reuses the set's room: no allocation once it is large
// enough.
class HandleSet {
public:
    template <class Each>
    void publish(Each&& each) {
        std::lock_guard<std::mutex> lock(mutex_);
        handles_.clear();
        each([this](WindowHandle h) {
            try {
                handles_.push_back(h);
            } catch (const std::bad_alloc&) {
                // not followed: its events wake nothing, the poll still finds it
            }
        });
    }
    bool contains(WindowHandle h) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::find(handles_.begin(), handles_.end(), h) != handles_.end();
    }

private:
    mutable std::mutex mutex_;
    std::vector<WindowHandle> handles_;
};

// The rules whose windows refuse commands (their programs run as
// administrator), for the notice the shell gives once per rule and run.
// The scan fills it, the shell takes it.
class Refusals {
public:
    static constexpr int kMost = 8;  // waiting at once; more wait for a later pass
    struct Refusal {
        FixedText rule;    // the rule's name, or its class when it has none
        FixedText window;  // the window's title, or its class when it has none
    };
    // Whether the rule has not been told of in this run (nor waits to be).
    bool Untold(RuleIdentity rule) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::find(told_.begin(), told_.end(), rule) == told_.end();
    }
    // Adds the notice of `rule`; false when it was told of already, or when
    // there is no room for it now (a later pass tries again).
    bool Add(RuleIdentity rule, std::string_view ruleName, std::string_view window) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ == kMost || std::find(told_.begin(), told_.end(), rule) != told_.end()) return false;
        try {
            told_.push_back(rule);
        } catch (const std::bad_alloc&) {
            return false;
        }
        Refusal& r = waiting_[static_cast<std::size_t>(count_++)];
        r.rule.assign(ruleName);
        r.window.assign(window);
        fresh_.store(true, std::memory_order_release);
        return true;
    }
    // Whether notices have come since the last call: the shell is told once.
    bool TakeFresh() { return fresh_.exchange(false, std::memory_order_acq_rel); }
    // Hands each waiting notice to `each`, oldest first, and forgets them.
    template <class Each>
    void Take(Each each) {
        std::array<Refusal, kMost> taken;
        int n = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            n = std::exchange(count_, 0);
            std::copy_n(waiting_.begin(), n, taken.begin());
        }
        for (int i = 0; i < n; ++i) each(taken[static_cast<std::size_t>(i)]);
    }

private:
    mutable std::mutex mutex_;
    std::array<Refusal, kMost> waiting_{};
    int count_ = 0;
    std::vector<RuleIdentity> told_;
    std::atomic<bool> fresh_{false};
};

// The workers' interval, in milliseconds; tests may set another.
inline constexpr std::int32_t kPollInterval = 10;

inline void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// The process-wide state, owned by the shell and passed by reference, so that
// a test can build a fresh one per case.
struct Shared {
    RuleTable table;
    SystemConfig config;
    BusyFlag busy;
    std::atomic<std::int32_t> PollInterval{kPollInterval};
    // The four workers. The correction's wakeup is notified whenever a
    // window is marked for the one-time correction; the others by the
    // platform's window events (engine/workers.h, OnWindowEvent).
    WorkerFlags scanThread;
    WorkerFlags lockThread;
    WorkerFlags correctionThread;
    WorkerFlags stateWatchThread;
    std::array<WorkerFlags*, 4> workers() { return {&scanThread, &lockThread, &correctionThread, &stateWatchThread}; }
    std::array<const WorkerFlags*, 4> workers() const {
        return {&scanThread, &lockThread, &correctionThread, &stateWatchThread};
    }
    std::atomic<bool> TaskbarPresent{false};
    // The scan worker watches the platform's window events (off only to
    // measure the poll alone).
    std::atomic<bool> windowEvents{true};
    // Windows just created, looked at until they show or their time is over
    // (on the steady clock, in nanoseconds since its epoch).
    NewWindows newWindows;
    // The windows bound to some rule, as the scan last left them: the window
    // events that concern only bound windows are filtered by it.
    HandleSet bound;
    // The commands sent to windows: which owe their answers, in what order
    // they went, and where they put each window.
    OwedAnswers owed;
    // The monitors, read at start and after they change (under the busy
    // flag), and the messages of a change as they come.
    Displays displays;
    DisplayChange displayChange;
    Refusals refusals;
};

}  // namespace torvane
