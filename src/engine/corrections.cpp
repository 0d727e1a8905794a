#include "engine/corrections.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

namespace torvane {
namespace {

// The per-rule step protocol shared by the three correction workers. False
// when the flag was held and the rule was skipped.
template <class Work>
bool WithRule(Shared& shared, std::int32_t ruleIndex, Work&& work) {
    BusyGuard guard = BusyGuard::tryTake(shared.busy);
    if (!guard) return false;
    // The table may have been replaced by a shorter one since the worker read
    // the count.
    if (ruleIndex >= 0 && ruleIndex < shared.table.count()) work(shared.table[static_cast<std::size_t>(ruleIndex)]);
    return true;
}

// The commands one step sends one window, in order. The answer they owe is
// recorded before the first goes out, and asked for after the last, so that
// no answer can come before it is waited for. The first command that does
// not go out ends them: a window that is gone or refuses is marked so, and
// gets nothing more; one that is busy is left for a later try.
class Commands {
public:
    Commands(Shared& shared, WindowSystem& windows, WindowHandle window)
        : owed_(shared.owed), windows_(windows), window_(window) {}
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;
    ~Commands() {
        if (!delivered_) return;
        const CommandResult answer = windows_.AwaitAnswer(window_, owed_);
        if (answer == CommandResult::Sent) return;
        owed_.Answered(window_);  // no answer comes
        Block(answer);
    }

    void Show(int command) {
        Send([&] { return windows_.ShowWindow(window_, command); });
    }
    void Move(const Rect& to, WindowSystem::MoveParts parts) {
        Send([&] { return windows_.MoveWindow(window_, to, parts); });
    }
    // A command has gone out.
    bool sent() const { return delivered_; }
    // A command found the window's program too busy to take it.
    bool busy() const { return result_ == CommandResult::Busy; }

private:
    template <class Command>
    void Send(Command command) {
        if (ended_) return;
        // Without memory for the answer nothing is sent.
        if (!owing_ && !(owing_ = owed_.Owe(window_))) {
            ended_ = true;
            return;
        }
        result_ = command();
        if (result_ == CommandResult::Sent) {
            delivered_ = true;
            return;
        }
        ended_ = true;
        if (!delivered_) owed_.Answered(window_);  // nothing went out: nothing is owed
        Block(result_);
    }
    void Block(CommandResult result) {
        if (result == CommandResult::Gone) owed_.Mark(window_, OwedAnswers::Block::Gone);
        if (result == CommandResult::Refused) owed_.Mark(window_, OwedAnswers::Block::Refused);
    }

    OwedAnswers& owed_;
    WindowSystem& windows_;
    WindowHandle window_;
    CommandResult result_ = CommandResult::Sent;
    bool owing_ = false, delivered_ = false, ended_ = false;
};

// Whether a window may be commanded: not gone, nor refusing.
bool Open(const Shared& shared, WindowHandle window) {
    return shared.owed.Blocked(window) == OwedAnswers::Block::None;
}

// The rectangle a move gives: the rule's value of each coordinate it places
// (or holds, with `held`), the one of `current` for the others.
Rect Compose(const WindowRule& rule, const Rect& current, bool held) {
    std::int32_t values[] = {current.left, current.top, current.right - current.left, current.bottom - current.top};
    for (std::size_t i = 0; i < std::size(kCoordinates); ++i) {
        if (rule.has(held ? kCoordinates[i].lock : kCoordinates[i].place)) values[i] = rule.*kCoordinates[i].value;
    }
    return Rect{values[0], values[1], values[0] + values[2], values[1] + values[3]};
}

// The coordinates that `rule` places (or holds, with `held`): bit i for kCoordinates[i].
unsigned Parts(const WindowRule& rule, bool held) {
    unsigned parts = 0;
    for (std::size_t i = 0; i < std::size(kCoordinates); ++i) {
        if (rule.has(held ? kCoordinates[i].lock : kCoordinates[i].place)) parts |= 1u << i;
    }
    return parts;
}

// Where a move goes: the rules' target, unless no monitor would show it.
Rect Effective(const Shared& shared, const Rect& target, unsigned parts) {
    return shared.config.keepOnScreen ? OnScreen(target, parts, shared.displays) : target;
}

// How long the displays must have been quiet before they are read again: a
// hundred intervals, a second in the program.
std::int64_t Quiet(const Shared& shared) {
    return std::int64_t{100} * shared.PollInterval.load(std::memory_order_relaxed) * 1'000'000;
}

// Every switch that places a coordinate, or that holds one.
constexpr std::uint32_t Switches(bool held) {
    std::uint32_t all = 0;
    for (const Coordinate& c : kCoordinates) all |= held ? c.lock : c.place;
    return all;
}

// The parts in which `target` differs from `current`: 0 when the window is
// where it is wanted.
unsigned Differs(const Rect& target, const Rect& current) {
    const bool place = target.left != current.left || target.top != current.top;
    const bool size = target.right - target.left != current.right - current.left ||
                      target.bottom - target.top != current.bottom - current.top;
    return (place ? WindowSystem::kPosition : 0u) | (size ? WindowSystem::kSize : 0u);
}

bool IsRestore(std::uint32_t last, std::uint32_t now) {
    return (last == show::kMinimized && (now == show::kNormal || now == show::kMaximized)) ||
           (last == show::kMaximized && now == show::kNormal);
}

// The show command that puts a window now in show state `current` into
// `state`, or 0 when none is needed: `state` asks for none (anything but 1,
// 2, 3), or the window is in it already.
int CommandFor(std::int32_t state, std::uint32_t current) {
    if (current == static_cast<std::uint32_t>(state)) return 0;
    switch (state) {
        case show::kNormal: return show::kNormal;
        case show::kMinimized: return show::kMinimize;
        case show::kMaximized: return show::kMaximized;
        default: return 0;
    }
}

bool AsksForState(std::int32_t state) { return CommandFor(state, 0) != 0; }


// Whether a rule above `ruleIndex` has a one-time correction of `window` due.
// The rules correct a window in table order, so a lower one waits; and the
// lock builds on where the corrections put a window, so it waits for all.
bool DueAbove(const RuleTable& table, std::int32_t ruleIndex, WindowHandle window) {
    for (std::int32_t i = 0; i < ruleIndex && i < table.count(); ++i) {
        const WindowRule& rule = table[static_cast<std::size_t>(i)];
        const std::ptrdiff_t at = rule.findBound(window);
        if (at >= 0 && rule.boundWindows[static_cast<std::size_t>(at)].pending()) return true;
    }
    return false;
}

}  // namespace

namespace {

// The size-only move that follows a correction once it has taken effect: a
// window that changes its own size as it arrives on a monitor of another
// scale (one aware of the scale does) is given the rule's size once more.
void CheckSize(Shared& shared, WindowSystem& windows, const WindowRule& rule, WindowHandle w) {
    Rect current;
    if (!windows.GetWindowRect(w, current)) return;
    const Rect target = Effective(shared, Compose(rule, current, false), Parts(rule, false));
    // Only where the move put it: a window the user has moved since keeps its size.
    if (Differs(target, current) == WindowSystem::kSize) Commands(shared, windows, w).Move(target, WindowSystem::kSize);
}

// Whether the rule sets a window's width or height.
static_assert(kCoordinates[2].value == &WindowRule::width && kCoordinates[3].value == &WindowRule::height);
bool Sizes(const WindowRule& rule) { return (Parts(rule, false) & 0b1100u) != 0; }

}  // namespace

bool CorrectionStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex) {
    return WithRule(shared, ruleIndex, [&](WindowRule& rule) {
        const bool moves = (rule.options & Switches(false)) != 0;
        for (BoundWindow& bound : rule.boundWindows) {
            const WindowHandle w = bound.handle;
            // A window that owes an answer, that its program has hidden (the
            // next pass unbinds it), that is gone or refuses, or that an upper
            // rule corrects first, keeps its mark for later.
            if ((!bound.pending() && !bound.sizeCheck()) || shared.owed.Owes(w) || !Open(shared, w) ||
                DueAbove(shared.table, ruleIndex, w) || !windows.IsWindowVisible(w))
                continue;
            if (!bound.pending()) {
                bound.setSizeCheck(false);
                CheckSize(shared, windows, rule, w);
                continue;
            }
            bound.setPending(false);
            bound.setSizeCheck(false);
            // The rectangle is read before the show state changes it.
            Rect current;
            // Without a rectangle the window has vanished: moving it to
            // made-up values could hit a window that reuses the handle.
            if (moves && !windows.GetWindowRect(w, current)) continue;
            Placement placement;
            const int command =
                AsksForState(rule.showState) && windows.GetWindowPlacement(w, placement)
                    ? CommandFor(rule.showState, placement.showCmd)
                    : 0;
            Commands commands(shared, windows, w);
            if (command != 0) commands.Show(command);
            if (moves) {
                const Rect target = Effective(shared, Compose(rule, current, false), Parts(rule, false));
                shared.owed.Place(w, target);
                // After a show command the window is no longer where it was read.
                const unsigned parts = commands.sent() ? WindowSystem::kPositionAndSize : Differs(target, current);
                if (parts != 0) {
                    commands.Move(target, WindowSystem::MoveParts(parts));
                    bound.setSizeCheck(commands.sent() && Sizes(rule));
                }
            }
            // A program too busy to take the commands gets them once more later.
            if (commands.busy()) bound.setPending(true);
        }
    });
}

void LockCycle::Rule(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex) {
    complete_ = WithRule(shared, ruleIndex, [&](WindowRule& rule) {
        if ((rule.options & Switches(true)) == 0) return;
        for (const BoundWindow& bound : rule.boundWindows) {
            const WindowHandle w = bound.handle;
            Plan* plan = nullptr;
            for (Plan& p : plans_) {
                if (p.window == w) plan = &p;
            }
            if (plan == nullptr) {
                if (shared.owed.Owes(w) || !Open(shared, w) || DueAbove(shared.table, shared.table.count(), w)) continue;
                Placement placement;
                if (!windows.GetWindowPlacement(w, placement)) continue;  // vanished
                if ((placement.showCmd & 2) != 0) continue;  // minimized or maximized: left alone
                Rect current;
                if (!windows.GetWindowRect(w, current)) continue;
                try {
                    plan = &plans_.emplace_back(Plan{w, current, current, shared.owed.Now(), 0});
                } catch (const std::bad_alloc&) {
                    continue;  // held again next cycle
                }
            }
            plan->target = Compose(rule, plan->target, true);
            plan->held |= Parts(rule, true);
        }
    }) && complete_;
}

bool LockCycle::Send(Shared& shared, WindowSystem& windows) {
    bool done = false;  // the moves could go out: the flag was free and no rule was skipped
    if (complete_) {
        BusyGuard guard = BusyGuard::tryTake(shared.busy);
        done = guard.owns();
        for (const Plan& plan : plans_) {
            const Rect target = Effective(shared, plan.target, plan.held);
            const unsigned parts = Differs(target, plan.read);
            // The first read after a move tells which of its parts had no
            // effect; one that another command reached meanwhile tells nothing.
            Tried* tried = TriedFor(plan.window);
            if (tried != nullptr && !tried->checked) {
                tried->checked = true;
                tried->after = plan.read;
                tried->futile = shared.owed.CommandedSince(plan.window, tried->sentAt)
                                    ? 0
                                    : tried->asked & ~Differs(tried->read, plan.read);
            }
            // What was read is so no longer once another command has reached
            // the window.
            if (!guard || shared.owed.CommandedSince(plan.window, plan.readAt)) continue;
            // A window its program has hidden stays where the program put it
            // (the next pass unbinds it). A move whose parts the last one
            // could not change (a window that cannot be sized) waits until
            // the window changes.
            if (parts == 0 || !windows.IsWindowVisible(plan.window) ||
                (tried != nullptr && tried->checked && (parts & ~tried->futile) == 0 && tried->after == plan.read &&
                 tried->target == target))
                continue;
            bool delivered = false;
            {
                Commands commands(shared, windows, plan.window);
                commands.Move(target, WindowSystem::MoveParts(parts));
                delivered = commands.sent();
            }
            shared.owed.Place(plan.window, target);
            if (!delivered) continue;
            const Tried now{plan.window, plan.read, target, parts, shared.owed.Now(), false, {}, 0};
            if (tried != nullptr) *tried = now;
            else Remember(now);
        }
        // The memory of moves keeps only the windows the rules hold.
        std::erase_if(tried_, [&shared](const Tried& t) { return !shared.bound.contains(t.window); });
    }
    plans_.clear();
    complete_ = true;
    return done;
}

LockCycle::Tried* LockCycle::TriedFor(WindowHandle window) {
    for (Tried& t : tried_) {
        if (t.window == window) return &t;
    }
    return nullptr;
}

void LockCycle::Remember(const Tried& tried) {
    try {
        tried_.push_back(tried);
    } catch (const std::bad_alloc&) {
        // Without memory the move is only sent again.
    }
}

bool StateWatchStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex) {
    bool marked = false;
    const bool done = WithRule(shared, ruleIndex, [&](WindowRule& rule) {
        for (BoundWindow& bound : rule.boundWindows) {
            const WindowHandle w = bound.handle;
            if (shared.owed.Owes(w) || !Open(shared, w)) continue;  // compared once it has answered
            Placement now;
            // A window that vanished since the last pass keeps the last state
            // rather than compare against an empty record.
            if (!windows.GetWindowPlacement(w, now)) continue;
            const std::uint32_t s = now.showCmd;
            const bool restore = rule.has(opt::correctOnRestore) && IsRestore(bound.lastShowCmd, s);
            // A restore is shown normal; one that came back to normal is so already.
            const int restoreCommand = restore && s != show::kNormal ? show::kNormal : 0;
            const int enforce = rule.has(opt::keepState) ? CommandFor(rule.showState, s) : 0;
            // A window its program has hidden gets no show command, which
            // would show it again; the next pass unbinds it.
            if ((restoreCommand != 0 || enforce != 0) && !windows.IsWindowVisible(w)) continue;
            Commands commands(shared, windows, w);
            if (restoreCommand != 0) commands.Show(restoreCommand);
            if (enforce != 0) commands.Show(enforce);
            if (restore) {
                bound.setPending(true);
                marked = true;
            }
            // The placement read before this step's own commands.
            bound.lastShowCmd = s;
        }
    });
    if (marked) shared.correctionThread.wakeup.notify();
    return done;
}

CorrectNowResult CorrectNow(Shared& shared) {
    const int pause = shared.PollInterval.load(std::memory_order_relaxed) / 3;
    if (!shared.busy.takeWaiting([&] { SleepMs(pause); })) {
        SleepMs(pause);
        return CorrectNowResult::GaveUp;
    }
    {
        BusyGuard guard(shared.busy);
        for (WindowRule& rule : shared.table.rules()) {
            for (BoundWindow& bound : rule.boundWindows) bound.setPending(true);
        }
    }
    shared.correctionThread.wakeup.notify();
    return CorrectNowResult::Marked;
}

namespace {
Displays Monitors(WindowSystem& windows) {
    Displays read;
    read.count = std::clamp(windows.ReadMonitors(read.monitors.data(), Displays::kMost), 0, Displays::kMost);
    read.caption = windows.CaptionHeight();
    return read;
}
}  // namespace

void ReadDisplays(Shared& shared, WindowSystem& windows) {
    const Displays read = Monitors(windows);
    if (!shared.busy.takeYielding()) return;  // the next change reads them
    BusyGuard guard(shared.busy);
    shared.displays = read;
}

void DisplaysChanging(Shared& shared, WindowSystem& windows, std::int64_t now) {
    // The system's own moves come after the first message: they do not count.
    if (!shared.displayChange.Note(now)) return;
    shared.owed.MarkMoved([&windows](WindowHandle w, const Rect& placed) {
        Rect now;
        return windows.GetWindowRect(w, now) && !(now == placed);
    });
}

void SettleDisplays(Shared& shared, WindowSystem& windows, std::int64_t now) {
    if (!shared.displayChange.Settled(now, Quiet(shared))) return;
    const Displays read = Monitors(windows);
    bool marked = false;
    {
        BusyGuard guard = BusyGuard::tryTake(shared.busy);
        if (!guard) return;  // the next cycle settles it
        const bool differ = !(read == shared.displays);
        shared.displays = read;
        if (differ && shared.config.keepOnScreen) {
            for (WindowRule& rule : shared.table.rules()) {
                if (!rule.has(opt::correctOnOpen) && !rule.has(opt::correctOnRestore)) continue;
                for (BoundWindow& bound : rule.boundWindows) {
                    // Moved from where it was put while that place can still
                    // be seen: the user moved it (the system moves only the
                    // windows whose monitor has gone), and it stays.
                    Rect placed;
                    if (shared.owed.Moved(bound.handle, placed) && Reachable(placed, read)) continue;
                    bound.setPending(true);
                    marked = true;
                }
            }
        }
    }
    shared.displayChange.Done(now, Quiet(shared));
    if (marked) shared.correctionThread.wakeup.notify();
}

}  // namespace torvane
