#include "engine/corrections.h"

#include <chrono>
#include <thread>

namespace torvane {
namespace {

// The per-rule step protocol shared by the three correction workers.
template <class Work>
void WithRule(Shared& shared, std::int32_t ruleIndex, Work&& work) {
    BusyGuard guard = BusyGuard::tryTake(shared.busy);
    if (!guard) return;
    // The table may have been replaced by a shorter one since the worker read
    // the count.
    if (ruleIndex < 0 || ruleIndex >= shared.table.count()) return;
    work(shared.table[static_cast<std::size_t>(ruleIndex)]);
}

// The rectangle a move gives: the rule's value where its flag is set, the
// window's current one where it is clear.
struct Target {
    int x, y, width, height;
};

Target Compose(const WindowRule& rule, const Rect& current, std::uint32_t fx, std::uint32_t fy, std::uint32_t fw,
               std::uint32_t fh) {
    return Target{
        rule.has(fx) ? rule.left : current.left,
        rule.has(fy) ? rule.top : current.top,
        rule.has(fw) ? rule.width : current.right - current.left,
        rule.has(fh) ? rule.height : current.bottom - current.top,
    };
}

void Move(WindowSystem& windows, WindowHandle window, const Target& t) {
    windows.MoveWindow(window, t.x, t.y, t.width, t.height, true);
}

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool IsRestore(std::uint32_t last, std::uint32_t now) {
    return (last == show::kMinimized && (now == show::kNormal || now == show::kMaximized)) ||
           (last == show::kMaximized && now == show::kNormal);
}

// The show command that puts a window into `state`, or 0 for no state.
int CommandFor(std::int32_t state) {
    switch (state) {
        case show::kNormal: return show::kNormal;
        case show::kMinimized: return show::kMinimize;
        case show::kMaximized: return show::kMaximized;
        default: return 0;
    }
}

void EnforceState(std::int32_t state, std::uint32_t current, WindowHandle window, WindowSystem& windows) {
    const int command = CommandFor(state);
    if (command != 0 && current != static_cast<std::uint32_t>(state)) windows.ShowWindow(window, command);
}

constexpr std::uint32_t kMoveFlags = opt::movex | opt::movey | opt::sizex | opt::sizey;
constexpr std::uint32_t kLockFlags = opt::lmovex | opt::lmovey | opt::lsizex | opt::lsizey;

}  // namespace

void ApplyShowState(const WindowRule& rule, WindowHandle window, WindowSystem& windows) {
    Placement placement;
    // A window whose placement cannot be read has vanished since the last pass.
    if (!windows.GetWindowPlacement(window, placement)) return;
    EnforceState(rule.state, placement.showCmd, window, windows);
}

void CorrectionStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex) {
    WithRule(shared, ruleIndex, [&](WindowRule& rule) {
        const std::uint32_t moves = rule.options & kMoveFlags;
        for (BoundWindow& bound : rule.boundWindows) {
            // A window that does not answer keeps its mark until it does.
            if (!bound.pending() || !windows.IsAnswering(bound.handle)) continue;
            bound.setPending(false);
            if (moves == kMoveFlags) {
                ApplyShowState(rule, bound.handle, windows);
                Move(windows, bound.handle, Target{rule.left, rule.top, rule.width, rule.height});
            } else if (moves != 0) {
                // The rectangle is read before the show state changes it.
                Rect current;
                // Without a rectangle the window has vanished: moving it to
                // made-up values could hit a window that reuses the handle.
                if (!windows.GetWindowRect(bound.handle, current)) continue;
                ApplyShowState(rule, bound.handle, windows);
                Move(windows, bound.handle, Compose(rule, current, opt::movex, opt::movey, opt::sizex, opt::sizey));
            } else {
                ApplyShowState(rule, bound.handle, windows);
            }
        }
    });
}

void LockStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex) {
    WithRule(shared, ruleIndex, [&](WindowRule& rule) {
        const std::uint32_t locks = rule.options & kLockFlags;
        if (locks == 0) return;
        for (const BoundWindow& bound : rule.boundWindows) {
            if (!windows.IsAnswering(bound.handle)) continue;
            Placement placement;
            if (!windows.GetWindowPlacement(bound.handle, placement)) continue;  // vanished
            if ((placement.showCmd & 2) != 0) continue;  // minimized or maximized: left alone
            windows.ShowWindow(bound.handle, show::kNormal);
            Rect current;
            if (locks != kLockFlags && !windows.GetWindowRect(bound.handle, current)) continue;
            Move(windows, bound.handle, Compose(rule, current, opt::lmovex, opt::lmovey, opt::lsizex, opt::lsizey));
        }
    });
}

void StateWatchStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex) {
    bool marked = false;
    WithRule(shared, ruleIndex, [&](WindowRule& rule) {
        for (BoundWindow& bound : rule.boundWindows) {
            Placement now;
            if (!windows.GetWindowPlacement(bound.handle, now)) {
                // The window vanished since the last pass; keep the last state
                // rather than compare against an empty record.
                continue;
            }
            const std::uint32_t s = now.showCmd;
            // A window that does not answer is only watched: a restore marks
            // it, and the correction waits until it answers again.
            const bool answering = windows.IsAnswering(bound.handle);
            if (rule.has(opt::msfstt) && IsRestore(bound.lastPlacement.showCmd, s)) {
                if (answering) windows.ShowWindow(bound.handle, show::kNormal);
                bound.setPending(true);
                marked = true;
            }
            if (rule.has(opt::forcestt) && answering) EnforceState(rule.state, s, bound.handle, windows);
            bound.lastPlacement = now;
        }
    });
    if (marked) shared.correctionWakeup.notify();
}

CorrectNowResult CorrectNow(Shared& shared) {
    constexpr int kRetests = 101;
    const int pause = shared.PollInterval.load(std::memory_order_relaxed) / 3;
    bool took = shared.busy.tryTake();
    for (int i = 0; !took && i < kRetests; ++i) {
        SleepMs(pause);
        took = shared.busy.tryTake();
    }
    if (!took) {
        SleepMs(pause);
        return CorrectNowResult::GaveUp;
    }
    {
        BusyGuard guard(shared.busy);
        for (WindowRule& rule : shared.table.rules()) {
            for (BoundWindow& bound : rule.boundWindows) bound.setPending(true);
        }
    }
    shared.correctionWakeup.notify();
    return CorrectNowResult::Marked;
}

}  // namespace torvane
