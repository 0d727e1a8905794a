// The resident engine: one steady-state cycle of each worker, with the heap
// allocations it makes, and the CPU time the four real worker threads take
// per wall second. 100 windows and 20 rules, half of them with locks.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "engine/corrections.h"
#include "engine/scan.h"
#include "engine/workers.h"
#include "flat_desktop.h"
#include "support/engine_helpers.h"

namespace torvane {
namespace {

constexpr int kWindows = 100;
constexpr int kRules = 20;

void BuildEngine(FlatDesktop& desktop, Shared& shared) {
    shared.config = SystemConfig::Defaults();
    for (int i = 0; i < kWindows; ++i) {
        desktop.add("WindowClass" + std::to_string(i % kRules), "Window " + std::to_string(i));
    }
    std::vector<WindowRule> rules;
    for (int k = 0; k < kRules; ++k) {
        WindowRule r = WindowRule::Named("WindowClass" + std::to_string(k));
        r.left = 10 * k;
        r.top = 20;
        r.width = 640;
        r.height = 480;
        if (k % 2 == 0) {
            r.options = opt::lockLeft | opt::lockTop;  // held constantly
        } else {
            r.options = opt::correctOnOpen | opt::placeLeft | opt::placeTop | opt::placeWidth | opt::placeHeight | opt::correctOnRestore | opt::keepState;
            r.showState = show::kNormal;
        }
        rules.push_back(r);
    }
    shared.table.install(std::move(rules));
    // Bind everything, carry out the first corrections and a first lock
    // cycle (the record of commands learns its windows): from here on
    // nothing binds, unbinds or is marked.
    ScanPass(shared, desktop);
    LockCycle lock;
    for (int k = 0; k < kRules; ++k) CorrectionStep(shared, desktop, k), lock.Rule(shared, desktop, k);
    lock.Send(shared, desktop);
}

// One cycle of a worker: the scan's pass, the lock's cycle, or a step per rule.
enum class Worker { Scan, Lock, Correction, StateWatch };

void RunCycles(benchmark::State& state, Worker worker) {
    FlatDesktop desktop;
    Shared shared;
    BuildEngine(desktop, shared);
    LockCycle lock;
    const std::uint64_t before = bench::AllocationCount();
    for (auto _ : state) {
        for (std::int32_t k = 0; k < shared.table.count(); ++k) {
            if (worker == Worker::Lock) lock.Rule(shared, desktop, k);
            if (worker == Worker::Correction) CorrectionStep(shared, desktop, k);
            if (worker == Worker::StateWatch) StateWatchStep(shared, desktop, k);
        }
        if (worker == Worker::Scan) benchmark::DoNotOptimize(ScanPass(shared, desktop));
        if (worker == Worker::Lock) lock.Send(shared, desktop);
    }
    state.counters["allocs_per_cycle"] = benchmark::Counter(
        static_cast<double>(bench::AllocationCount() - before) / static_cast<double>(state.iterations()));
}

void BM_ScanThreadCycle(benchmark::State& state) { RunCycles(state, Worker::Scan); }
void BM_LockThreadCycle(benchmark::State& state) { RunCycles(state, Worker::Lock); }
void BM_CorrectionThreadCycle(benchmark::State& state) { RunCycles(state, Worker::Correction); }
void BM_StateWatchThreadCycle(benchmark::State& state) { RunCycles(state, Worker::StateWatch); }
BENCHMARK(BM_ScanThreadCycle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LockThreadCycle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CorrectionThreadCycle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StateWatchThreadCycle)->Unit(benchmark::kMicrosecond);

using testing::NoTray;

double CpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The four workers at the program's 10 ms interval for 3 s, with the window
// events watched or not, while `meanwhile` runs on a thread of its own until
// told to stop (it returns the CPU time it took itself). The counters: the
// engine's CPU time over the wall time, in percent of one core, and each
// worker's cycles a second.
template <class Meanwhile>
void RunEngine(benchmark::State& state, bool events, Meanwhile meanwhile, bool keepOnScreen = true) {
    for (auto _ : state) {
        FlatDesktop desktop;
        Shared shared;
        BuildEngine(desktop, shared);
        shared.PollInterval = 10;
        shared.config.keepOnScreen = keepOnScreen;
        NoTray tray;
        std::atomic<bool> running{true};
        double otherCpu = 0;
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        StartWorkers(shared, desktop, tray, events);
        std::thread other([&] { otherCpu = meanwhile(desktop, running); });
        std::this_thread::sleep_for(std::chrono::seconds(3));
        running = false;
        other.join();
        StopWorkers(shared);
        WaitForWorkers(shared, std::chrono::seconds(10));
        const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart - otherCpu;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        state.SetIterationTime(wall);
        state.counters["engine_cpu_percent"] = 100.0 * cpu / wall;
        state.counters["scan_cycles_per_s"] = static_cast<double>(shared.scanThread.cycles.load()) / wall;
        state.counters["lock_cycles_per_s"] = static_cast<double>(shared.lockThread.cycles.load()) / wall;
    }
}

// The engine at rest: nothing binds, unbinds or is marked.
void BM_ResidentEngineCpu(benchmark::State& state) {
    RunEngine(state, true, [](FlatDesktop&, std::atomic<bool>&) { return 0.0; });
}
BENCHMARK(BM_ResidentEngineCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same with windows kept on the screen (1) or not (0): the check of each
// move against the monitors must cost nothing worth measuring.
void BM_KeepOnScreenCpu(benchmark::State& state) {
    RunEngine(state, true, [](FlatDesktop&, std::atomic<bool>&) { return 0.0; }, state.range(0) != 0);
}
BENCHMARK(BM_KeepOnScreenCpu)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A program that renames one window, and one that moves its locked window,
// 20,000 times a second each, with the window events watched (1) or the poll
// alone (0); the thread that makes the events is not counted. Events must
// cost no more than the poll.
void BM_EventStormCpu(benchmark::State& state) {
    RunEngine(state, state.range(0) != 0, [](FlatDesktop& desktop, std::atomic<bool>& running) {
        const double from = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const WindowHandle renamed = 2, locked = 1;  // rule 0 locks window 1
        while (running) {
            desktop.fire(WindowEvent::Renamed, renamed);
            desktop.fire(WindowEvent::Moved, locked);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - from;
    });
}
BENCHMARK(BM_EventStormCpu)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace torvane
