// The scan pass over a steady desktop: 200 visible windows and 50 rules, with
// a window system whose calls cost next to nothing, so that the figure is the
// engine's own work. Reports the time per pass, per window x rule, and the
// heap allocations of a pass in which nothing binds or unbinds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "engine/scan.h"

namespace torvane {
namespace {

// Windows indexed by handle - 1; every call is an array access.
class FlatDesktop final : public WindowSystem {
public:
    struct Window {
        std::string className;
        std::string title;
        bool visible = true;
    };

    WindowHandle add(std::string cls, std::string title) {
        windows_.push_back({std::move(cls), std::move(title), true});
        return windows_.size();
    }

    void EnumWindows(EnumProc proc, void* context) override {
        for (std::size_t i = 0; i < windows_.size(); ++i) {
            if (!proc(i + 1, context)) break;
        }
    }
    bool IsWindowVisible(WindowHandle w) override { return valid(w) && windows_[w - 1].visible; }
    int GetClassNameA(WindowHandle w, char* buf, int cap) override {
        return copy(valid(w) ? windows_[w - 1].className : kEmpty, buf, cap);
    }
    int GetWindowTextA(WindowHandle w, char* buf, int cap) override {
        return copy(valid(w) ? windows_[w - 1].title : kEmpty, buf, cap);
    }
    bool GetWindowPlacement(WindowHandle, Placement& p) override {
        p = Placement{};
        p.showCmd = 1;
        return true;
    }
    bool GetWindowRect(WindowHandle, Rect& r) override {
        r = Rect{0, 0, 100, 100};
        return true;
    }
    bool MoveWindow(WindowHandle, int, int, int, int, bool) override { return true; }
    bool ShowWindow(WindowHandle, int) override { return true; }
    WindowHandle FindWindowA(const char*, const char*) override { return kNoWindow; }
    bool GetCursorPos(Point&) override { return false; }
    WindowHandle WindowFromPoint(Point) override { return kNoWindow; }
    WindowHandle GetParent(WindowHandle) override { return kNoWindow; }

private:
    inline static const std::string kEmpty;
    bool valid(WindowHandle w) const { return w >= 1 && w <= windows_.size(); }
    static int copy(const std::string& s, char* buf, int cap) {
        std::size_t n = s.size() < static_cast<std::size_t>(cap - 1) ? s.size() : static_cast<std::size_t>(cap - 1);
        std::memcpy(buf, s.data(), n);
        buf[n] = '\0';
        return static_cast<int>(n);
    }
    std::vector<Window> windows_;
};

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
            r.usclsttle = match::kClass;
        } else if (k < 35) {
            r.title.assign("Document " + std::to_string(k * 13) + " - Editor");
            r.usclsttle = match::kTitle;
        } else {
            int i = k * 7;
            r.className.assign("WindowClass" + std::to_string(i % 40));
            r.title.assign("Document " + std::to_string(i) + " - Editor");
            r.usclsttle = match::kBoth;
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

BENCHMARK_MAIN();
