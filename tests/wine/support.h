// What the Windows test programs share: waiting while this thread's messages
// are handled, plain top-level windows, and this program started again as a
// second process that shows one window (--child), whose thread can be made
// to stop answering for a while.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace torvane::wine_test {

inline ULONGLONG Now() { return ::GetTickCount64(); }

inline std::string Unique(const std::string& base) {
    static int counter = 0;
    return base + "." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(++counter);
}

inline void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Polls `condition` until it holds or the time is up, handling this thread's
// messages meanwhile (its windows must keep answering).
template <class Condition>
bool WaitFor(Condition condition, ULONGLONG limitMs = 5000) {
    const ULONGLONG deadline = Now() + limitMs;
    for (;;) {
        PumpMessages();
        if (condition()) return true;
        if (Now() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Posted to a window of the child: its thread stops answering for wParam ms.
constexpr UINT kHangMessage = WM_APP + 7;

inline LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kHangMessage) ::Sleep(static_cast<DWORD>(wParam));
    if (message == WM_DESTROY && ::GetWindowLongPtrA(hwnd, GWLP_USERDATA) != 0) ::PostQuitMessage(0);
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

inline HWND CreateTopLevel(const std::string& className, const std::string& title, RECT r = RECT{100, 100, 500, 400}) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = className.c_str();
    ::RegisterClassExA(&wc);
    return ::CreateWindowExA(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, r.left, r.top,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr, ::GetModuleHandleA(nullptr),
                             nullptr);
}

// This program started again as a second process showing one window of
// `className`; it ends when the window is closed, or after a minute.
class ChildWindow {
public:
    explicit ChildWindow(const std::string& className) {
        std::string commandLine = "child --child " + className;
        char exe[MAX_PATH];
        ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        if (!::CreateProcessA(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process_))
            return;
        WaitFor([&] { return (window_ = ::FindWindowA(className.c_str(), nullptr)) != nullptr; });
    }
    ~ChildWindow() {
        if (process_.hProcess == nullptr) return;
        ::TerminateProcess(process_.hProcess, 9);
        ::WaitForSingleObject(process_.hProcess, 5000);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    HWND window() const { return window_; }

private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// The main of the test programs: the child part when started as one.
inline int RunTestProgram(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") {
        HWND window = CreateTopLevel(argv[2], "child");
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 1);
        ::SetTimer(window, 1, 60000, [](HWND w, UINT, UINT_PTR, DWORD) { ::DestroyWindow(w); });
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace torvane::wine_test
