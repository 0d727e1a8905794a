// The scan pass over a steady desktop: 200 visible windows and 50 rules, with
// a window system whose calls cost next to nothing, so that the figure is the
// engine's own work. Reports the time per pass, per window x rule, and the
// heap allocations of a pass in which nothing binds or unbinds.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "alloc_counter.h"
#include "engine/scan.h"
#include "flat_desktop.h"

namespace torvane {
namespace {

constexpr int kWindows = 200;
constexpr int kRules = 50;

// 40 window classes, 5 windows each, with titles that look like real ones.
// Rules: 20 class rules, 15 title rules and 15 rules on both, of which about
// half match some window, so that the unbinding phase has lists to check.
void BuildDesktop(FlatDesktop& desktop, Shared& shared) {
    for (int i = 0; i < kWindows; ++i) {
        desktop.add("WindowClass" + std::to_string(i % 40), "Document " + std::to_string(i) + " - Editor");
    }
    std::vector<WindowRule> rules;
    for (int k = 0; k < kRules; ++k) {
        WindowRule r = WindowRule::Named("rule" + std::to_string(k));
        if (k < 20) {
            r.className.assign("WindowClass" + std::to_string(k * 3));  // 0..57: half exist
            r.matchMode = MatchMode::Class;
        } else if (k < 35) {
            r.title.assign("Document " + std::to_string(k * 13) + " - Editor");
            r.matchMode = MatchMode::Title;
        } else {
            int i = k * 7;
            r.className.assign("WindowClass" + std::to_string(i % 40));
            r.title.assign("Document " + std::to_string(i) + " - Editor");
            r.matchMode = MatchMode::Both;
        }
        rules.push_back(r);
    }
    shared.table.install(std::move(rules));
}

void BM_ScanPassSteadyState(benchmark::State& state) {
    FlatDesktop desktop;
    Shared shared;
    BuildDesktop(desktop, shared);
    ScanPass(shared, desktop);  // the first pass binds; every later one is steady
    std::size_t boundEntries = 0;
    for (const WindowRule& r : shared.table.rules()) boundEntries += r.boundWindows.size();

    const std::uint64_t before = bench::AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScanPass(shared, desktop));
    }
    const std::uint64_t allocations = bench::AllocationCount() - before;

    state.counters["allocs_per_pass"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
    state.counters["bound_entries"] = static_cast<double>(boundEntries);
    // Seconds per window x rule (printed with an SI prefix: "4.3n" is 4.3 ns).
    state.counters["time_per_window_x_rule"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kWindows * kRules,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScanPassSteadyState)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace torvane
