// The monitors as the engine knows them, and where a window can be reached.
// A rule stores absolute screen coordinates; after a monitor has gone, they
// may lie where no monitor shows them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "rules/types.h"

namespace torvane {

// Fixed size: a cycle that reads them allocates nothing.
struct Displays {
    static constexpr int kMost = 16;
    std::array<Monitor, kMost> monitors{};
    int count = 0;    // none known: nothing is clamped
    int caption = 0;  // the height of a window's title bar
    friend bool operator==(const Displays&, const Displays&) = default;
};

// Whether a window at `target` can be reached: a strip of its top edge, a
// title bar high, lies on some monitor's work area by a useful width (at
// least a third of the window's width, or 100 pixels when that is less).
bool Reachable(const Rect& target, const Displays& displays);

// `target` when it can be reached; otherwise the same clamped into the work
// area of the monitor nearest to it: a size only when it does not fit, then
// the position. Only the parts in `set` change (bit i for kCoordinates[i]:
// 1 x, 2 y, 4 width, 8 height); when that cannot make it reachable, `target`
// stays as it is.
Rect OnScreen(const Rect& target, unsigned set, const Displays& displays);

// The messages of a change of the displays as they come: a burst of them
// settles once none has come for a while.
class DisplayChange {
public:
    // A message came at `now` (steady clock, ns); true for the first of a burst.
    bool Note(std::int64_t now) {
        last_.store(now);
        std::int64_t none = 0;
        return first_.compare_exchange_strong(none, now);
    }
    // Whether a burst has had no message for `quiet` ns at `now`.
    bool Settled(std::int64_t now, std::int64_t quiet) const {
        return first_.load() != 0 && now - last_.load() >= quiet;
    }
    bool pending() const { return first_.load() != 0; }
    // The settled burst has been dealt with (unless a message came meanwhile).
    void Done(std::int64_t now, std::int64_t quiet) {
        if (now - last_.load() >= quiet) first_.store(0);
    }

private:
    std::atomic<std::int64_t> first_{0}, last_{0};
};

}  // namespace torvane
