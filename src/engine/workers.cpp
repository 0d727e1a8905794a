#include "engine/workers.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "engine/corrections.h"
#include "engine/scan.h"

namespace torvane {
namespace {

constexpr const char* kTaskbarClass = "Shell_TrayWnd";

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
void SleepInterval(const Shared& shared) { SleepMs(shared.PollInterval.load(std::memory_order_relaxed)); }

bool Running(const WorkerFlags& flags) { return flags.RunFlag.load(std::memory_order_acquire); }

// The loop of the three correction workers: each rule in table order, the
// count read again before each rule. `step` runs one rule; `end`, if any,
// finishes the cycle after the last rule.
template <class Step, class End>
void RuleLoop(Shared& shared, WindowSystem& windows, WorkerFlags& flags, Step step, End end, Wakeup* wakeup) {
    flags.AliveFlag.store(true, std::memory_order_release);
    while (Running(flags)) {
        // What this worker sent has taken effect: those windows answer again.
        windows.CollectAnswers();
        if (shared.config.monitoring) {
            for (std::int32_t i = 0; i < shared.table.count(); ++i) step(i);
            end();
        }
        flags.Cycles.fetch_add(1, std::memory_order_release);
        if (wakeup != nullptr) {
            wakeup->sleepFor(shared.PollInterval.load(std::memory_order_relaxed));
        } else {
            SleepInterval(shared);
        }
    }
    flags.AliveFlag.store(false, std::memory_order_release);
}

// A RuleLoop of one of the per-rule steps.
void StepLoop(Shared& shared, WindowSystem& windows, WorkerFlags& flags,
              void (*step)(Shared&, WindowSystem&, std::int32_t), Wakeup* wakeup) {
    RuleLoop(
        shared, windows, flags, [&](std::int32_t i) { step(shared, windows, i); }, [] {}, wakeup);
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

void ScanThread(Shared& shared, WindowSystem& windows, TrayIconHost& tray) {
    WorkerFlags& flags = shared.scanThread;
    flags.AliveFlag.store(true, std::memory_order_release);
    shared.TaskbarPresent.store(true, std::memory_order_relaxed);
    while (Running(flags)) {
        if (shared.config.monitoring) {
            ScanPass(shared, windows);
            if (shared.config.trayIcon) CheckTaskbar(shared, windows, tray);
        }
        flags.Cycles.fetch_add(1, std::memory_order_release);
        SleepInterval(shared);
    }
    tray.RemoveTrayIcon();
    flags.AliveFlag.store(false, std::memory_order_release);
}

void LockThread(Shared& shared, WindowSystem& windows) {
    LockCycle cycle;
    RuleLoop(
        shared, windows, shared.lockThread, [&](std::int32_t i) { cycle.Rule(shared, windows, i); },
        [&] { cycle.Send(shared, windows); }, nullptr);
}

void CorrectionThread(Shared& shared, WindowSystem& windows) {
    StepLoop(shared, windows, shared.correctionThread, &CorrectionStep, &shared.correctionWakeup);
}

void StateWatchThread(Shared& shared, WindowSystem& windows) {
    StepLoop(shared, windows, shared.stateWatchThread, &StateWatchStep, nullptr);
}

void StartWorkers(Shared& shared, WindowSystem& windows, TrayIconHost& tray) {
    for (WorkerFlags* f : {&shared.scanThread, &shared.lockThread, &shared.correctionThread, &shared.stateWatchThread}) {
        f->RunFlag.store(true, std::memory_order_release);
    }
    const int stagger = shared.PollInterval.load(std::memory_order_relaxed) / 4;
    Launch(shared.scanThread, [&shared, &windows, &tray] { ScanThread(shared, windows, tray); });
    SleepMs(stagger);
    Launch(shared.lockThread, [&shared, &windows] { LockThread(shared, windows); });
    SleepMs(stagger);
    Launch(shared.correctionThread, [&shared, &windows] { CorrectionThread(shared, windows); });
    SleepMs(stagger);
    Launch(shared.stateWatchThread, [&shared, &windows] { StateWatchThread(shared, windows); });
}

void StopWorkers(Shared& shared) {
    for (WorkerFlags* f : {&shared.scanThread, &shared.lockThread, &shared.correctionThread, &shared.stateWatchThread}) {
        f->RunFlag.store(false, std::memory_order_release);
    }
}

bool AnyWorkerAlive(const Shared& shared) {
    for (const WorkerFlags* f :
         {&shared.scanThread, &shared.lockThread, &shared.correctionThread, &shared.stateWatchThread}) {
        if (f->AliveFlag.load(std::memory_order_acquire)) return true;
    }
    return false;
}

void WaitForWorkers(const Shared& shared) {
    while (AnyWorkerAlive(shared)) SleepMs(10);
}

}  // namespace torvane
