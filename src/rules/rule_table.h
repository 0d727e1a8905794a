// The ordered rule table, the global options and the state that the shell,
// the workers and the settings dialog share.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "rules/busy_flag.h"
#include "rules/owed_answers.h"
#include "rules/types.h"
#include "rules/window_rule.h"

namespace torvane {

// A boolean word that one thread writes and others read without the busy flag.
// Copying takes a snapshot, so that option records stay plain values.
class SharedBool {
public:
    SharedBool(bool v = false) : v_(v) {}  // NOLINT(google-explicit-constructor)
    SharedBool(const SharedBool& o) : v_(o.load()) {}
    SharedBool& operator=(const SharedBool& o) {
        store(o.load());
        return *this;
    }
    SharedBool& operator=(bool v) {
        store(v);
        return *this;
    }
    bool load() const { return v_.load(std::memory_order_acquire); }
    void store(bool v) { v_.store(v, std::memory_order_release); }
    operator bool() const { return load(); }  // NOLINT(google-explicit-constructor)

private:
    std::atomic<bool> v_;
};

// The global options, the settings section "[!SystemConfig]" (its keys in
// brackets). Every field is zero until the settings are loaded; Defaults()
// are the loader's values.
struct SystemConfig {
    SharedBool monitoring;  // the workers do their work (Enabled); read by them every cycle
    SharedBool trayIcon;    // the tray icon is shown (TaskIcon); read by the scan worker
    // The hotkey that corrects now: its modifiers and its virtual-key code
    // (ShcutCtrl, ShcutAlt, ShcutShift, ShcutWin, ShcutKey).
    bool hotkeyCtrl = false;
    bool hotkeyAlt = false;
    bool hotkeyShift = false;
    bool hotkeyWin = false;
    std::int32_t hotkeyKey = 0;

    static SystemConfig Defaults();
    friend bool operator==(const SystemConfig& a, const SystemConfig& b);
};

class RuleTable {
public:
    // The rule count, read without the busy flag as the bound of a worker's
    // loop; under the flag a step checks its index against it again.
    std::int32_t count() const { return count_.load(std::memory_order_acquire); }

    // Everything below only while holding the busy flag.
    std::vector<WindowRule>& rules() { return rules_; }
    const std::vector<WindowRule>& rules() const { return rules_; }
    WindowRule& operator[](std::size_t i) { return rules_[i]; }
    const WindowRule& operator[](std::size_t i) const { return rules_[i]; }

    // A working copy: the same rules with identities kept and lists of its own.
    std::vector<WindowRule> copy() const { return rules_; }

    // Replaces the whole table; the old rules and their lists are released.
    void install(std::vector<WindowRule> rules);

    // Replaces the whole table. Every installed rule that came from a live rule
    // (same identity) takes over that live rule's current bound-window list;
    // any other installed rule starts with an empty list. The lists of live
    // rules that are not installed go with the old table.
    void installKeepingBindings(std::vector<WindowRule> rules);

    // Releases every rule and its list; the count becomes 0.
    void release() { install({}); }

private:
    std::vector<WindowRule> rules_;
    std::atomic<std::int32_t> count_{0};
};

// One worker's pair of flags: the shell sets RunFlag before the start and
// clears it to ask for the stop; the worker holds AliveFlag while it runs.
struct WorkerFlags {
    std::atomic<bool> RunFlag{false};
    std::atomic<bool> AliveFlag{false};
    // Cycles done so far, counted after each cycle's work: lets a caller wait
    // for the workers to have looked again.
    std::atomic<std::uint64_t> Cycles{0};
};

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
    // Sleeps up to `milliseconds`; an event's notification counts at once.
    bool sleepFor(int milliseconds) {
        const Clock::time_point now = Clock::now();
        return sleepUntil(now + std::chrono::milliseconds(milliseconds), now);
    }
    // Whether a notification waits for the next sleep.
    bool isDue() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return due_ != 0;
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

// The process-wide state, owned by the shell and passed by reference, so that
// a test can build a fresh one per case.
struct Shared {
    RuleTable table;
    SystemConfig config;
    BusyFlag busy;
    std::atomic<std::int32_t> PollInterval{10};  // milliseconds
    WorkerFlags scanThread;
    WorkerFlags lockThread;
    WorkerFlags correctionThread;
    WorkerFlags stateWatchThread;
    std::atomic<bool> TaskbarPresent{false};
    // The scan worker watches the platform's window events (off only to
    // measure the poll alone).
    std::atomic<bool> WindowEvents{true};
    // Each worker sleeps on its own wakeup: the correction's is notified
    // whenever a window is marked for the one-time correction; the others by
    // the platform's window events (engine/workers.h, OnWindowEvent).
    Wakeup scanWakeup;
    Wakeup lockWakeup;
    Wakeup correctionWakeup;
    Wakeup watchWakeup;
    // Windows just created, looked at until they show or their time is over
    // (on the steady clock, in nanoseconds since its epoch).
    NewWindows newWindows;
    // The windows bound to some rule, as the scan last left them: the window
    // events that concern only bound windows are filtered by it.
    HandleSet bound;
    // The windows whose last command has not taken effect yet.
    OwedAnswers owed;
};

}  // namespace torvane
