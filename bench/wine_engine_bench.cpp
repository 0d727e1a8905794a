// Measurements of the resident engine under Wine, with the four workers in
// this process on the user32 window operations. TORVANE_EVENTS=0 leaves the
// window events unwatched (the poll alone), for a side-by-side run.
//
//   torvane_wine_bench latency N   N openings of a matching window in a second
//                                  process; the time from its ShowWindow to the
//                                  moment its rectangle is the rule's
//   torvane_wine_bench snapback N  a locked window of a second process moved
//                                  away by its own thread N times; the time
//                                  until it stands where the lock holds it
//   torvane_wine_bench cpu S       100 windows of a second process, 20 rules
//                                  (half with locks), S seconds; CPU time per
//                                  wall second of this process and the other
//   torvane_wine_bench idle S      20 rules, no matching window, S seconds
//   torvane_wine_bench floor N     N scan passes over the 100 windows against
//                                  N loops of only the calls a pass must make
//
// The second process is this program again (--opener, --mover, --holder).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/scan.h"
#include "engine/win32_window_system.h"
#include "engine/workers.h"
#include "support/engine_helpers.h"
#include "support/win32_wait.h"

namespace torvane {
namespace {

std::string Unique(const std::string& base) {
    static int counter = 0;
    return base + "." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(++counter);
}

template <class Condition>
bool WaitFor(Condition condition, ULONGLONG limitMs) {
    return testing::PumpUntil(condition, limitMs, 1);
}

HWND CreateTopLevel(const std::string& className, const std::string& title, bool visible, RECT r) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = className.c_str();
    ::RegisterClassExA(&wc);
    return ::CreateWindowExA(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                             r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

constexpr RECT kTarget{40, 50, 440, 350};

bool AtTarget(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r.left == kTarget.left && r.top == kTarget.top && r.right == kTarget.right && r.bottom == kTarget.bottom;
}

using testing::NoTray;

// TORVANE_EVENTS=0 leaves the window events unwatched: the poll alone.
bool EventsOn() {
    const char* events = std::getenv("TORVANE_EVENTS");
    return events == nullptr || std::atoi(events) != 0;
}

// The performance counter is one clock for all processes of the session.
LONGLONG Ticks() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}
double Ms(LONGLONG ticks) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(f.QuadPart);
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& f) {
        return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32 | f.dwLowDateTime) * 1e-7;
    };
    return value(kernel) + value(user);
}

struct Percentiles {
    std::vector<double> v;
    double at(double q) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<std::size_t>(q * (v.size() - 1) + 0.5))];
    }
    std::string line() {
        char text[160];
        std::snprintf(text, sizeof text, "p50=%.2fms p90=%.2fms p99=%.2fms max=%.2fms", at(0.5), at(0.9), at(0.99),
                      at(1.0));
        return text;
    }
};

// Starts `args` of this program as a second process.
bool StartSelf(const std::string& args, PROCESS_INFORMATION& pi) {
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string commandLine = std::string("\"") + exe + "\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    return ::CreateProcessA(exe, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != FALSE;
}

// Waits for the second process; its exit code, or 98 when it took too long.
DWORD Finish(PROCESS_INFORMATION& pi, DWORD limitMs) {
    if (::WaitForSingleObject(pi.hProcess, limitMs) != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 98);
    DWORD code = 97;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

std::vector<double> ReadNumbers(const std::string& file) {
    std::vector<double> numbers;
    FILE* in = std::fopen(file.c_str(), "r");
    double v;
    while (in != nullptr && std::fscanf(in, "%lf", &v) == 1) numbers.push_back(v);
    if (in != nullptr) std::fclose(in);
    std::remove(file.c_str());
    return numbers;
}

// The user32 window operations, noting when the engine commands a move.
class TimedWindows final : public WindowSystem {
public:
    void EnumWindows(EnumProc proc, void* context) override { real_.EnumWindows(proc, context); }
    bool IsWindowVisible(WindowHandle w) override { return real_.IsWindowVisible(w); }
    int GetClassNameA(WindowHandle w, char* b, int c) override { return real_.GetClassNameA(w, b, c); }
    int GetWindowTextA(WindowHandle w, char* b, int c) override { return real_.GetWindowTextA(w, b, c); }
    bool GetWindowPlacement(WindowHandle w, Placement& p) override { return real_.GetWindowPlacement(w, p); }
    bool GetWindowRect(WindowHandle w, Rect& r) override { return real_.GetWindowRect(w, r); }
    CommandResult MoveWindow(WindowHandle w, const Rect& to, MoveParts parts) override {
        const std::size_t n = moves_.load();
        if (n < kMoves) {
            moveTicks_[n] = Ticks();
            moves_.store(n + 1);
        }
        return real_.MoveWindow(w, to, parts);
    }
    CommandResult ShowWindow(WindowHandle w, int command) override { return real_.ShowWindow(w, command); }
    CommandResult AwaitAnswer(WindowHandle w, OwedAnswers& owed) override { return real_.AwaitAnswer(w, owed); }
    bool Elevated(WindowHandle w) override { return real_.Elevated(w); }
    bool NotAnswering(WindowHandle w) override { return real_.NotAnswering(w); }
    void CollectAnswers() override { real_.CollectAnswers(); }
    bool WatchEvents(WindowEventHandler handler, void* context) override { return real_.WatchEvents(handler, context); }
    int ReadMonitors(Monitor* out, int capacity) override { return real_.ReadMonitors(out, capacity); }
    int CaptionHeight() override { return real_.CaptionHeight(); }
    WindowHandle FindWindowA(const char* c, const char* t) override { return real_.FindWindowA(c, t); }
    bool GetCursorPos(Point& p) override { return real_.GetCursorPos(p); }
    WindowHandle WindowFromPoint(Point p) override { return real_.WindowFromPoint(p); }
    WindowHandle GetParent(WindowHandle w) override { return real_.GetParent(w); }

    // The moment of the engine's n-th move command.
    LONGLONG move(std::size_t n) const { return n < moves_.load() ? moveTicks_[n] : 0; }

private:
    static constexpr std::size_t kMoves = 4096;
    Win32WindowSystem real_;
    LONGLONG moveTicks_[kMoves] = {};
    std::atomic<std::size_t> moves_{0};
};

// The workers run over `windows` with `rules` for as long as `body` runs.
template <class Body>
void WithEngine(WindowSystem& windows, const std::vector<WindowRule>& rules, Body body) {
    Shared shared;
    shared.config = SystemConfig::Defaults();
    shared.table.install(rules);
    NoTray tray;
    StartWorkers(shared, windows, tray, EventsOn());
    body(shared);
    StopWorkers(shared);
    WaitForWorkers(shared, std::chrono::seconds(10));
}

// --- latency: ShowWindow to placed ---

// The second process of the latency run: opens, times and closes N windows,
// one line per opening: ShowWindow's start, its return and the moment the
// window stands at the target (performance counter ticks), and what the
// same move costs the window's own thread (ms).
int Opener(const std::string& className, int count, const char* resultFile) {
    FILE* out = std::fopen(resultFile, "w");
    if (out == nullptr) return 4;
    unsigned seed = 12345;
    for (int i = 0; i < count; ++i) {
        HWND window = CreateTopLevel(className, "latency", false, RECT{600, 500, 800, 600});
        if (window == nullptr) return 2;
        // A pause of 0 to 10 ms, so that openings fall at every phase of the poll.
        seed = seed * 1103515245u + 12345u;
        ::Sleep((seed >> 16) % 11);
        const LONGLONG start = Ticks();
        ::ShowWindow(window, SW_SHOWNORMAL);
        const LONGLONG shown = Ticks();
        const bool placed = WaitFor([&] { return AtTarget(window); }, 2000);
        const LONGLONG end = Ticks();
        const LONGLONG moveStart = Ticks();
        ::SetWindowPos(window, nullptr, 600, 500, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
        const double ownMove = Ms(Ticks() - moveStart);
        ::DestroyWindow(window);
        if (!placed) return 3;
        std::fprintf(out, "%lld %lld %lld %.3f\n", start, shown, end, ownMove);
    }
    std::fclose(out);
    return 0;
}

int Latency(int count) {
    const std::string className = Unique("Torvane.Latency");
    TimedWindows windows;
    const std::string results = Unique("latency") + ".txt";
    DWORD code = 0;
    WithEngine(windows,
               {testing::RuleFor(className, opt::correctOnOpen | testing::kMoveAll,
                                 Rect{kTarget.left, kTarget.top, kTarget.right, kTarget.bottom})},
               [&](Shared&) {
                   PROCESS_INFORMATION pi{};
                   code = StartSelf("--opener " + className + " " + std::to_string(count) + " " + results, pi)
                              ? Finish(pi, 600000) : 99;
               });
    if (code != 0) {
        std::printf("opener failed with %lu\n", static_cast<unsigned long>(code));
        return 1;
    }
    const std::vector<double> n = ReadNumbers(results);
    Percentiles latency, show, engine, ownMove, rest;
    for (std::size_t i = 0; i + 3 < n.size(); i += 4) {
        const auto start = static_cast<LONGLONG>(n[i]), shown = static_cast<LONGLONG>(n[i + 1]),
                   placed = static_cast<LONGLONG>(n[i + 2]);
        latency.v.push_back(Ms(placed - start));
        show.v.push_back(Ms(shown - start));
        ownMove.v.push_back(n[i + 3]);
        // The engine's own share: from ShowWindow's return (the window can do
        // nothing before) to the engine's move command; none when the command
        // came while ShowWindow still ran.
        const LONGLONG moved = windows.move(i / 4);
        engine.v.push_back(moved == 0 ? Ms(placed - shown) : std::max(0.0, Ms(moved - shown)));
        rest.v.push_back(Ms(placed - std::max(moved, shown)));
    }
    std::printf("latency events=%s openings=%zu (ShowWindow to placed) %s\n", EventsOn() ? "on" : "off",
                latency.v.size(), latency.line().c_str());
    std::printf("  ShowWindow itself %s\n", show.line().c_str());
    std::printf("  engine (ShowWindow's return to the move command) %s\n", engine.line().c_str());
    std::printf("  the move carried out (command or return to placed) %s\n", rest.line().c_str());
    std::printf("  the same move by the window's own thread p50=%.2fms\n", ownMove.at(0.5));
    return 0;
}

// --- snap-back: a locked window moved by its own program ---

int Mover(const std::string& className, int count, const char* resultFile) {
    FILE* out = std::fopen(resultFile, "w");
    if (out == nullptr) return 4;
    HWND window = CreateTopLevel(className, "locked", true, RECT{600, 500, 1000, 800});
    if (window == nullptr || !WaitFor([&] { return AtTarget(window); }, 5000)) return 2;
    unsigned seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        testing::PumpUntil([] { return false; }, (seed >> 16) % 11, 1);
        ::SetWindowPos(window, nullptr, 600 + i % 7, 500, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
        const LONGLONG moved = Ticks();
        if (!WaitFor([&] { return AtTarget(window); }, 2000)) return 3;
        std::fprintf(out, "%.3f\n", Ms(Ticks() - moved));
    }
    ::DestroyWindow(window);
    std::fclose(out);
    return 0;
}

int SnapBack(int count) {
    const std::string className = Unique("Torvane.Locked");
    Win32WindowSystem windows;
    WindowRule rule = testing::RuleFor(className, opt::lockLeft | opt::lockTop | opt::lockWidth | opt::lockHeight,
                                       Rect{kTarget.left, kTarget.top, kTarget.right, kTarget.bottom});
    const std::string results = Unique("snapback") + ".txt";
    DWORD code = 0;
    WithEngine(windows, {rule}, [&](Shared&) {
        PROCESS_INFORMATION pi{};
        code = StartSelf("--mover " + className + " " + std::to_string(count) + " " + results, pi) ? Finish(pi, 600000)
                                                                                                  : 99;
    });
    if (code != 0) {
        std::printf("mover failed with %lu\n", static_cast<unsigned long>(code));
        return 1;
    }
    Percentiles back{ReadNumbers(results)};
    std::printf("snap-back events=%s moves=%zu (moved to back in place) %s\n", EventsOn() ? "on" : "off",
                back.v.size(), back.line().c_str());
    return 0;
}

// --- CPU time and the scan's floor, over 100 windows of 20 classes ---

// The second process of the CPU and floor runs: 100 windows of 20 classes,
// until told to quit. Its exit code is the CPU time it used meanwhile, in
// milliseconds: Wine answers GetProcessTimes for another process with the
// caller's times.
int Holder(const std::string& prefix, const char* readyEvent) {
    std::vector<HWND> all;
    for (int i = 0; i < 100; ++i) {
        const std::string className = prefix + std::to_string(i % 20);
        all.push_back(CreateTopLevel(className, "window " + std::to_string(i), true,
                                     RECT{10 * (i % 20), 10 * (i / 20), 10 * (i % 20) + 300, 10 * (i / 20) + 200}));
    }
    HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent);
    const double start = CpuSeconds();
    ::SetEvent(ready);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    return static_cast<int>((CpuSeconds() - start) * 1000);
}

// The holder's windows for as long as `body` runs; the holder's CPU time, in seconds.
template <class Body>
double WithHolder(const std::string& prefix, Body body) {
    const std::string readyName = Unique("Local\\Torvane.LoadReady");
    HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    PROCESS_INFORMATION holder{};
    if (!StartSelf("--holder " + prefix + " " + readyName, holder)) return -1;
    ::WaitForSingleObject(ready, 10000);
    ::CloseHandle(ready);
    body();
    ::PostThreadMessageA(holder.dwThreadId, WM_QUIT, 0, 0);
    return Finish(holder, 5000) / 1000.0;
}

// 20 rules, one per class of the holder: half lock two coordinates (50
// windows locked), half correct once with the state enforced.
std::vector<WindowRule> HolderRules(const std::string& prefix) {
    std::vector<WindowRule> rules;
    for (int k = 0; k < 20; ++k) {
        WindowRule rule = testing::RuleFor(prefix + std::to_string(k), opt::correctOnOpen | testing::kMoveAll,
                                           Rect{kTarget.left, kTarget.top, kTarget.right, kTarget.bottom});
        if (k % 2 == 0) rule.options = opt::lockLeft | opt::lockTop;
        rule.left = 10 * k;
        rule.top = 0;
        rules.push_back(rule);
    }
    return rules;
}

// The engine's CPU for `seconds`, with `rules`, beside the holder's windows
// of `prefix` when one is given; prints one row.
void CpuRow(const char* name, const std::vector<WindowRule>& rules, int seconds, const std::string& prefix = "") {
    Win32WindowSystem windows;
    double wall = 0, cpu = 0;
    std::uint64_t scans = 0, locks = 0;
    auto run = [&] {
        const double cpuStart = CpuSeconds();
        const LONGLONG wallStart = Ticks();
        WithEngine(windows, rules, [&](Shared& shared) {
            ::Sleep(static_cast<DWORD>(seconds) * 1000);
            scans = shared.scanThread.cycles.load();
            locks = shared.lockThread.cycles.load();
        });
        wall = Ms(Ticks() - wallStart) / 1000.0;
        cpu = CpuSeconds() - cpuStart;
    };
    double holder = 0;
    if (!prefix.empty()) holder = WithHolder(prefix, run);
    else run();
    std::printf("cpu %s events=%s seconds=%.1f engine_cpu=%.2f%%", name, EventsOn() ? "on" : "off", wall,
                100.0 * cpu / wall);
    if (!prefix.empty()) std::printf(" windows_process_cpu=%.2f%%", 100.0 * holder / wall);
    std::printf(" scan_cycles_per_s=%.1f lock_cycles_per_s=%.1f\n", static_cast<double>(scans) / wall,
                static_cast<double>(locks) / wall);
}

int Cpu(int seconds) {
    const std::string prefix = Unique("Torvane.Load") + ".";
    CpuRow("windows=100 rules=20 locked=50", HolderRules(prefix), seconds, prefix);
    return 0;
}

int Idle(int seconds) {
    CpuRow("idle rules=20 matching=0", HolderRules(Unique("Torvane.None") + "."), seconds);
    return 0;
}

// The calls a scan pass cannot do without: enumerate, and for each window
// whether it is visible, and the class and title of those that are.
struct Floor {
    int visible = 0;
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self) {
        if (!::IsWindowVisible(hwnd)) return TRUE;
        char className[256], title[256];
        ::GetClassNameA(hwnd, className, sizeof className);
        ::GetWindowTextA(hwnd, title, sizeof title);
        ++reinterpret_cast<Floor*>(self)->visible;
        return TRUE;
    }
};

int FloorRatio(int passes) {
    const std::string prefix = Unique("Torvane.Load") + ".";
    WithHolder(prefix, [&] {
        for (bool bound : {false, true}) {
            Shared shared;
            shared.config = SystemConfig::Defaults();
            shared.table.install(HolderRules(bound ? prefix : Unique("Torvane.None") + "."));
            Win32WindowSystem windows;
            ScanPass(shared, windows);  // binds
            double scan = 0, floor = 0;
            Floor f;
            // Single passes in turns, each side first in every other turn.
            for (int i = 0; i < passes; ++i) {
                for (int side = 0; side < 2; ++side) {
                    const LONGLONG t = Ticks();
                    if ((side + i) % 2 == 0) {
                        ScanPass(shared, windows);
                        scan += Ms(Ticks() - t);
                    } else {
                        ::EnumWindows(&Floor::Visit, reinterpret_cast<LPARAM>(&f));
                        floor += Ms(Ticks() - t);
                    }
                }
            }
            std::size_t boundCount = 0;
            for (const WindowRule& r : shared.table.rules()) boundCount += r.boundWindows.size();
            std::printf("floor %s passes=%d visible_windows=%d bound=%zu scan_pass=%.3fms floor=%.3fms ratio=%.3f\n",
                        bound ? "bound" : "unbound", passes, f.visible / passes, boundCount, scan / passes,
                        floor / passes, scan / floor);
        }
    });
    return 0;
}

}  // namespace
}  // namespace torvane

int main(int argc, char** argv) {
    using namespace torvane;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 5 && mode == "--opener") return Opener(argv[2], std::atoi(argv[3]), argv[4]);
    if (argc == 5 && mode == "--mover") return Mover(argv[2], std::atoi(argv[3]), argv[4]);
    if (argc == 4 && mode == "--holder") return Holder(argv[2], argv[3]);
    if (argc == 3 && mode == "latency") return Latency(std::atoi(argv[2]));
    if (argc == 3 && mode == "snapback") return SnapBack(std::atoi(argv[2]));
    if (argc == 3 && mode == "cpu") return Cpu(std::atoi(argv[2]));
    if (argc == 3 && mode == "idle") return Idle(std::atoi(argv[2]));
    if (argc == 3 && mode == "floor") return FloorRatio(std::atoi(argv[2]));
    std::printf("usage: torvane_wine_bench latency N | snapback N | cpu SECONDS | idle SECONDS | floor PASSES\n");
    return 2;
}
