// The one lock of the system: a single atomic test-and-set word that guards the
// rule table, its rules and their bound-window lists. Workers try it once and
// skip their step when it is held; the user-interface side retries a bounded
// number of times and then re-posts its request.
#pragma once

#include <atomic>

namespace torvane {

class BusyFlag {
public:
    // One indivisible test-and-set; true when this caller now holds the flag.
    bool tryTake() { return !held_.exchange(true, std::memory_order_acquire); }
    void release() { held_.store(false, std::memory_order_release); }
    bool isHeld() const { return held_.load(std::memory_order_relaxed); }

    // Takes the flag at the first test or at one of `retests` immediate re-tests.
    bool tryTakeWithRetests(int retests) {
        for (int i = 0; i <= retests; ++i) {
            if (tryTake()) return true;
        }
        return false;
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
