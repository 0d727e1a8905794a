// The four worker threads: the scan, the lock, the one-time correction and the
// state watch. Each polls: one cycle of work while monitoring is enabled, a
// sleep of PollInterval, until its RunFlag is cleared.
#pragma once

#include <chrono>

#include "engine/window_system.h"
#include "engine/shared_state.h"

namespace torvane {

// The tray icon as the scan worker needs it: put back when the taskbar has
// come back, and told when windows refuse commands (Shared::refusals) for its
// notice. The shell implements it, and removes the icon at the end. Neither
// call may wait for the shell.
class TrayIconHost {
public:
    virtual ~TrayIconHost() = default;
    virtual void AddTrayIcon() = 0;
    virtual void RefusalsWaiting() = 0;
};

// The worker bodies; each runs until its RunFlag is clear.
void ScanThread(Shared& shared, WindowSystem& windows, TrayIconHost& tray);
void LockThread(Shared& shared, WindowSystem& windows);
void CorrectionThread(Shared& shared, WindowSystem& windows);
void StateWatchThread(Shared& shared, WindowSystem& windows);

// A window event wakes the worker it concerns before its interval is over:
// the scan when a window shows or changes its title, and for a short while
// after one is created it looks every millisecond (a window usually shows
// within milliseconds of its creation, and the platform may not say when);
// the lock and the state watch when a bound window moves, the state watch
// when one comes back from minimized. Events only make cycles come sooner:
// every cycle is the same, and one missed costs at most an interval.
// A change of the displays takes note of which windows the user had moved
// from where the engine put them; the scan worker settles it.
void OnWindowEvent(Shared& shared, WindowSystem& windows, WindowEvent event, WindowHandle window);

// Sets the four RunFlags and starts the workers in the order scan, lock,
// correction, state watch, PollInterval / 4 apart, as detached threads. Each
// AliveFlag is set before its thread is started, so that a stop that follows at
// once still waits for it. `shared`, `windows` and `tray` must outlive the
// workers: wait until AnyWorkerAlive() is false. The scan worker watches the
// window events while it runs, unless `events` is false (for a measurement
// of the poll alone).
void StartWorkers(Shared& shared, WindowSystem& windows, TrayIconHost& tray, bool events = true);

// Asks the workers to stop; each ends after its current cycle, without
// sleeping out its interval.
void StopWorkers(Shared& shared);

bool AnyWorkerAlive(const Shared& shared);

// Waits until every worker has ended, for at most `limit`; false when one
// still runs then.
bool WaitForWorkers(const Shared& shared, std::chrono::milliseconds limit);

}  // namespace torvane
