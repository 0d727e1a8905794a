#include "engine/workers.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "engine/corrections.h"
#include "engine/scan.h"

namespace torvane {
namespace {

using Clock = Wakeup::Clock;
using Milliseconds = std::chrono::milliseconds;

// After a window is created the scan looks at it every millisecond for this
// long, or until it shows.
constexpr Milliseconds kNewWindowSpan{50};
constexpr Milliseconds kQuickPause{1};
// A window event starts a worker's cycle no sooner than this after its last
// one began (or its interval, when that is shorter): a program that renames
// or moves its window without pause costs no more than the poll. A new
// window's first show has its own quick path.
constexpr Milliseconds kEventFloor{10};

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
std::int64_t Later(std::chrono::milliseconds span) { return Now() + std::chrono::nanoseconds(span).count(); }

// Where the platform's window events go: the state, and the windows to read.
struct EventRoute {
    Shared& shared;
    WindowSystem& windows;
};

void Route(void* route, WindowEvent event, WindowHandle window) {
    OnWindowEvent(static_cast<EventRoute*>(route)->shared, static_cast<EventRoute*>(route)->windows, event, window);
}

bool Running(const WorkerFlags& flags) { return flags.RunFlag.load(std::memory_order_acquire); }

int Interval(const Shared& shared) { return shared.PollInterval.load(std::memory_order_relaxed); }

// The earliest start that an event gives the cycle after one that began at `began`.
Clock::time_point EventFloor(const Shared& shared, Clock::time_point began) {
    return began + std::min(kEventFloor, Milliseconds(Interval(shared)));
}

// The scan's sleep until its next pass: its interval, cut short by a
// notification, or by a window created a moment ago that has shown (looked
// at every millisecond while there are such windows). Looks cost no pass:
// only its start moves earlier.
void AwaitScan(Shared& shared, WindowSystem& windows, Clock::time_point began) {
    const Clock::time_point next = Clock::now() + Milliseconds(Interval(shared));
    const Clock::time_point floor = EventFloor(shared, began);
    for (;;) {
        const bool looking = shared.newWindows.any();
        if (shared.scanThread.wakeup.sleepUntil(looking ? std::min(next, Clock::now() + kQuickPause) : next, floor)) return;
        if (looking &&
            shared.newWindows.takeShown(Now(), [&](WindowHandle w) { return windows.IsWindowVisible(w); }))
            return;
        if (Clock::now() >= next) return;
    }
}

// The loop of the three correction workers: each rule in table order, the
// count read again before each rule. `step` runs one rule and `end` finishes
// the cycle after the last; each returns false when it was kept from its
// work by the busy flag, and the cycle is then tried again a millisecond later.
// The answers to what the worker sent are taken in at the start and the end
// of each cycle.
template <class Step, class End>
void RuleLoop(Shared& shared, WindowSystem& windows, WorkerFlags& flags, Step step, End end) {
    flags.AliveFlag.store(true, std::memory_order_release);
    while (Running(flags)) {
        const Clock::time_point began = Clock::now();
        // What this worker sent has taken effect: those windows answer again.
        windows.CollectAnswers();
        bool kept = false;  // from a rule by the busy flag
        if (shared.config.monitoring) {
            for (std::int32_t i = 0; i < shared.table.count(); ++i) kept = !step(i) || kept;
            kept = !end() || kept;
        }
        flags.cycles.fetch_add(1, std::memory_order_release);
        windows.CollectAnswers();
        flags.wakeup.sleepUntil(Clock::now() + (kept ? kQuickPause : Milliseconds(Interval(shared))),
                          EventFloor(shared, began));
    }
    flags.AliveFlag.store(false, std::memory_order_release);
}

// A RuleLoop of one of the per-rule steps.
void StepLoop(Shared& shared, WindowSystem& windows, WorkerFlags& flags,
              bool (*step)(Shared&, WindowSystem&, std::int32_t)) {
    RuleLoop(shared, windows, flags, [&](std::int32_t i) { return step(shared, windows, i); }, [] { return true; });
}

void CheckTaskbar(Shared& shared, WindowSystem& windows, TrayIconHost& tray) {
    const bool exists = windows.FindWindowA(kTaskbarClass, nullptr) != kNoWindow;
    const bool present = shared.TaskbarPresent.load(std::memory_order_relaxed);
    if (present && !exists) {
        shared.TaskbarPresent.store(false, std::memory_order_relaxed);
    } else if (!present && exists) {
        tray.AddTrayIcon();
        shared.TaskbarPresent.store(true, std::memory_order_relaxed);
    }
}

template <class Body>
void Launch(WorkerFlags& flags, Body body) {
    flags.AliveFlag.store(true, std::memory_order_release);
    try {
        std::thread(std::move(body)).detach();
    } catch (const std::system_error&) {
        // No thread: nothing will clear the flag, so clear it here.
        flags.AliveFlag.store(false, std::memory_order_release);
    }
}

}  // namespace

void OnWindowEvent(Shared& shared, WindowSystem& windows, WindowEvent event, WindowHandle window) {
    switch (event) {
        case WindowEvent::Created:
            shared.newWindows.add(window, Later(kNewWindowSpan));
            shared.scanThread.wakeup.nudge();
            return;
        case WindowEvent::Shown:
        case WindowEvent::Renamed:
            shared.scanThread.wakeup.notifyEvent();
            return;
        case WindowEvent::Moved:
            // Only the windows the rules hold concern the lock and the watch.
            if (!shared.bound.contains(window)) return;
            shared.lockThread.wakeup.notifyEvent();
            shared.stateWatchThread.wakeup.notifyEvent();
            return;
        case WindowEvent::Restored:
            if (shared.bound.contains(window)) shared.stateWatchThread.wakeup.notify();
            return;
        case WindowEvent::DisplaysChanged:
            DisplaysChanging(shared, windows, Now());
            return;
    }
}

void ScanThread(Shared& shared, WindowSystem& windows, TrayIconHost& tray) {
    WorkerFlags& flags = shared.scanThread;
    flags.AliveFlag.store(true, std::memory_order_release);
    shared.TaskbarPresent.store(true, std::memory_order_relaxed);
    EventRoute route{shared, windows};
    if (shared.windowEvents.load()) windows.WatchEvents(&Route, &route);
    ReadDisplays(shared, windows);
    while (Running(flags)) {
        const Clock::time_point began = Clock::now();
        if (shared.config.monitoring) {
            ScanPass(shared, windows);
            if (shared.refusals.TakeFresh()) tray.RefusalsWaiting();
            if (shared.config.trayIcon) CheckTaskbar(shared, windows, tray);
        }
        SettleDisplays(shared, windows, Now());
        flags.cycles.fetch_add(1, std::memory_order_release);
        AwaitScan(shared, windows, began);
    }
    shared.newWindows.clear();
    windows.WatchEvents(nullptr, nullptr);  // also the displays' handler, set without hooks
    flags.AliveFlag.store(false, std::memory_order_release);
}

void LockThread(Shared& shared, WindowSystem& windows) {
    LockCycle cycle;
    RuleLoop(
        shared, windows, shared.lockThread, [&](std::int32_t i) { return cycle.Rule(shared, windows, i), true; },
        [&] { return cycle.Send(shared, windows); });
}

void CorrectionThread(Shared& shared, WindowSystem& windows) {
    StepLoop(shared, windows, shared.correctionThread, &CorrectionStep);
}

void StateWatchThread(Shared& shared, WindowSystem& windows) {
    StepLoop(shared, windows, shared.stateWatchThread, &StateWatchStep);
}

void StartWorkers(Shared& shared, WindowSystem& windows, TrayIconHost& tray, bool events) {
    shared.windowEvents.store(events);
    for (WorkerFlags* f : shared.workers()) f->RunFlag.store(true, std::memory_order_release);
    // The bodies in the order of Shared::workers, started a quarter of the interval apart.
    using Body = void (*)(Shared&, WindowSystem&, TrayIconHost&);
    const Body bodies[] = {[](Shared& s, WindowSystem& w, TrayIconHost& t) { ScanThread(s, w, t); },
                           [](Shared& s, WindowSystem& w, TrayIconHost&) { LockThread(s, w); },
                           [](Shared& s, WindowSystem& w, TrayIconHost&) { CorrectionThread(s, w); },
                           [](Shared& s, WindowSystem& w, TrayIconHost&) { StateWatchThread(s, w); }};
    const auto workers = shared.workers();
    for (std::size_t i = 0; i < workers.size(); ++i) {
        if (i > 0) SleepMs(Interval(shared) / 4);
        Launch(*workers[i], [&shared, &windows, &tray, body = bodies[i]] { body(shared, windows, tray); });
    }
}

void StopWorkers(Shared& shared) {
    for (WorkerFlags* f : shared.workers()) {
        f->RunFlag.store(false, std::memory_order_release);
        f->wakeup.notify();  // a sleeping worker sees the stop at once
    }
}

bool AnyWorkerAlive(const Shared& shared) {
    for (const WorkerFlags* f : shared.workers()) {
        if (f->AliveFlag.load(std::memory_order_acquire)) return true;
    }
    return false;
}

bool WaitForWorkers(const Shared& shared, std::chrono::milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (AnyWorkerAlive(shared)) {
        if (Clock::now() >= end) return false;
        SleepMs(1);
    }
    return true;
}

}  // namespace torvane
