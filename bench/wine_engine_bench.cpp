// Measurements of the resident engine under Wine, with the four workers in
// this process on the user32 window operations:
//
//   torvane_wine_bench latency N   N openings of a matching window in a second
//                                  process; the time from its ShowWindow to the
//                                  moment its rectangle is the rule's
//   torvane_wine_bench cpu S       100 windows of a second process, 20 rules
//                                  (half with locks), S seconds; this
//                                  process's CPU time per wall second
//
// The second process is this program again (--opener / --holder).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

using testing::NoTray;

double Seconds(LONGLONG ticks) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) / static_cast<double>(f.QuadPart);
}
LONGLONG Ticks() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& f) {
        return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32 | f.dwLowDateTime) * 1e-7;
    };
    return value(kernel) + value(user);
}

// Runs `args` of this program as a second process and waits for it.
DWORD RunSelf(const std::string& args, DWORD limitMs) {
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string commandLine = std::string("\"") + exe + "\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(exe, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return 99;
    if (::WaitForSingleObject(pi.hProcess, limitMs) != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 98);
    DWORD code = 97;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

WindowRule MoveRule(const std::string& className) {
    return testing::RuleFor(className, opt::correctOnOpen | testing::kMoveAll,
                            Rect{kTarget.left, kTarget.top, kTarget.right, kTarget.bottom});
}

// The second process of the latency run: opens, times and closes N windows.
int Opener(const std::string& className, int count, const char* resultFile) {
    std::vector<double> ms;
    std::vector<double> showMs;
    unsigned seed = 12345;
    for (int i = 0; i < count; ++i) {
        HWND window = CreateTopLevel(className, "latency", false, RECT{600, 500, 800, 600});
        if (window == nullptr) return 2;
        // A pause of 0 to 10 ms, so that openings fall at every phase of the poll.
        seed = seed * 1103515245u + 12345u;
        ::Sleep((seed >> 16) % 11);
        const LONGLONG start = Ticks();
        ::ShowWindow(window, SW_SHOWNORMAL);
        showMs.push_back(Seconds(Ticks() - start) * 1000.0);
        const bool placed = WaitFor(
            [&] {
                RECT r{};
                ::GetWindowRect(window, &r);
                return r.left == kTarget.left && r.top == kTarget.top && r.right == kTarget.right &&
                       r.bottom == kTarget.bottom;
            },
            2000);
        const LONGLONG end = Ticks();
        ::DestroyWindow(window);
        if (!placed) return 3;
        ms.push_back(Seconds(end - start) * 1000.0);
    }
    FILE* out = std::fopen(resultFile, "w");
    if (out == nullptr) return 4;
    for (double v : ms) std::fprintf(out, "%.3f\n", v);
    std::sort(showMs.begin(), showMs.end());
    std::printf("ShowWindow itself: median %.1fms\n", showMs[showMs.size() / 2]);
    std::fclose(out);
    return 0;
}

int Latency(int count) {
    Shared shared;
    shared.config = SystemConfig::Defaults();
    if (const char* poll = std::getenv("TORVANE_POLL_MS")) shared.PollInterval = std::atoi(poll);
    const std::string className = Unique("Torvane.Latency");
    shared.table.install({MoveRule(className)});
    Win32WindowSystem windows;
    NoTray tray;
    StartWorkers(shared, windows, tray);
    const std::string results = Unique("latency") + ".txt";
    const DWORD code = RunSelf("--opener " + className + " " + std::to_string(count) + " " + results, 600000);
    StopWorkers(shared);
    WaitForWorkers(shared);
    if (code != 0) {
        std::printf("opener failed with %lu\n", static_cast<unsigned long>(code));
        return 1;
    }
    std::vector<double> ms;
    FILE* in = std::fopen(results.c_str(), "r");
    double v;
    while (in != nullptr && std::fscanf(in, "%lf", &v) == 1) ms.push_back(v);
    if (in != nullptr) std::fclose(in);
    std::remove(results.c_str());
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * (ms.size() - 1) + 0.5))]; };
    std::printf("latency openings=%zu min=%.1fms median=%.1fms p90=%.1fms p99=%.1fms max=%.1fms poll=%dms\n",
                ms.size(), ms.front(), at(0.5), at(0.9), at(0.99), ms.back(), shared.PollInterval.load());
    return 0;
}

// The second process of the CPU run: 100 windows of 20 classes, until told
// to quit. Its exit code is the CPU time it used meanwhile, in milliseconds:
// Wine answers GetProcessTimes for another process with the caller's times.
int Holder(const std::string& prefix, const char* readyEvent) {
    std::vector<HWND> all;
    for (int i = 0; i < 100; ++i) {
        const std::string className = prefix + std::to_string(i % 20);
            all.push_back(CreateTopLevel(className, "window " + std::to_string(i),
                                     true, RECT{10 * (i % 20), 10 * (i / 20), 10 * (i % 20) + 300, 10 * (i / 20) + 200}));
    }
    HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent);
    const double start = CpuSeconds();
    ::SetEvent(ready);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    return static_cast<int>((CpuSeconds() - start) * 1000);
}

int Cpu(int seconds) {
    const std::string prefix = Unique("Torvane.Load") + ".";
    const std::string readyName = Unique("Local\\Torvane.LoadReady");
    HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string commandLine = std::string("\"") + exe + "\" --holder " + prefix + " " + readyName;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION holder{};
    if (!::CreateProcessA(exe, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &holder)) return 1;
    ::WaitForSingleObject(ready, 10000);

    Shared shared;
    shared.config = SystemConfig::Defaults();
    std::vector<WindowRule> rules;
    for (int k = 0; k < 20; ++k) {
        WindowRule rule = MoveRule(prefix + std::to_string(k));
        if (k % 2 == 0) rule.options = opt::lockLeft | opt::lockTop;
        rule.left = 10 * k;
        rule.top = 0;
        rules.push_back(rule);
    }
    shared.table.install(rules);
    Win32WindowSystem windows;
    NoTray tray;
    const double cpuStart = CpuSeconds();
    const LONGLONG wallStart = Ticks();
    StartWorkers(shared, windows, tray);
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    StopWorkers(shared);
    WaitForWorkers(shared);
    const double cpu = CpuSeconds() - cpuStart;
    const double wall = Seconds(Ticks() - wallStart);
    DWORD holderMs = 0;
    ::PostThreadMessageA(holder.dwThreadId, WM_QUIT, 0, 0);
    if (::WaitForSingleObject(holder.hProcess, 5000) != WAIT_OBJECT_0) ::TerminateProcess(holder.hProcess, 0);
    ::GetExitCodeProcess(holder.hProcess, &holderMs);
    const double holderCpu = holderMs / 1000.0;
    std::printf("cpu windows=100 rules=20 seconds=%.1f engine_cpu=%.2f%% windows_process_cpu=%.2f%% "
                "scan_cycles_per_s=%.1f lock_cycles_per_s=%.1f\n",
                wall, 100.0 * cpu / wall, 100.0 * holderCpu / wall,
                static_cast<double>(shared.scanThread.Cycles.load()) / wall,
                static_cast<double>(shared.lockThread.Cycles.load()) / wall);
    ::CloseHandle(holder.hThread);
    ::CloseHandle(holder.hProcess);
    ::CloseHandle(ready);
    return 0;
}

}  // namespace
}  // namespace torvane

int main(int argc, char** argv) {
    using namespace torvane;
    if (argc == 5 && std::string(argv[1]) == "--opener") return Opener(argv[2], std::atoi(argv[3]), argv[4]);
    if (argc == 4 && std::string(argv[1]) == "--holder") return Holder(argv[2], argv[3]);
    if (argc == 3 && std::string(argv[1]) == "latency") return Latency(std::atoi(argv[2]));
    if (argc == 3 && std::string(argv[1]) == "cpu") return Cpu(std::atoi(argv[2]));
    std::printf("usage: torvane_wine_bench latency N | cpu SECONDS\n");
    return 2;
}
