// The one lock of the system: a single atomic test-and-set word that guards the
// rule table, its rules and their bound-window lists. Workers try it once and
// skip their step when it is held; the user-interface side retries a bounded
// number of times and then re-posts its request.
#pragma once

#include <atomic>
#include <thread>

namespace torvane {

class BusyFlag {
public:
    // One indivisible test-and-set; true when this caller now holds the flag.
    bool tryTake() { return !held_.exchange(true, std::memory_order_acquire); }
    void release() { held_.store(false, std::memory_order_release); }
    bool isHeld() const { return held_.load(std::memory_order_relaxed); }

    // The user-interface side's wait: up to kWaitTests tests, `pause` between
    // two. A worker holds the flag for one pass or one rule's step, well
    // under a millisecond, so the wait finds it free long before its end; a
    // flag still held then is held by something stuck, and the caller
    // re-posts its request instead of blocking the user interface further.
    // 102 tests: about a third of a second at the pause of a request to
    // correct now (PollInterval / 3), a second at the dialog's (PollInterval).
    static constexpr int kWaitTests = 102;
    template <class Pause>
    bool takeWaiting(Pause&& pause) {
        for (int test = 0; test < kWaitTests; ++test) {
            if (test > 0) pause();
            if (tryTake()) return true;
        }
        return false;
    }
    // The same with the processor given up between two tests, so that a
    // holder on the same core can finish its step: for the settings writer,
    // which must not pause the user interface noticeably.
    bool takeYielding() {
        return takeWaiting([] { std::this_thread::yield(); });
    }

private:
    std::atomic<bool> held_{false};
};

// Releases a flag taken elsewhere when the scope ends, so that no early return
// leaves it held.
class BusyGuard {
public:
    explicit BusyGuard(BusyFlag& flag) : flag_(&flag) {}
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    ~BusyGuard() {
        if (flag_ != nullptr) flag_->release();
    }

    // Attempts to take the flag once; the returned guard is empty when it was held.
    static BusyGuard tryTake(BusyFlag& flag) { return BusyGuard(flag.tryTake() ? &flag : nullptr); }
    bool owns() const { return flag_ != nullptr; }
    explicit operator bool() const { return owns(); }
    BusyGuard(BusyGuard&& other) noexcept : flag_(other.flag_) { other.flag_ = nullptr; }

private:
    explicit BusyGuard(BusyFlag* flag) : flag_(flag) {}
    BusyFlag* flag_;
};

}  // namespace torvane
