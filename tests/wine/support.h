// What the Windows test programs share: waiting while pumping messages,
// plain top-level windows, and this program started again as a second
// process that shows one window (see RunChildIfAsked).
#pragma once

#include <windows.h>

#include <string>

namespace torvane::wine_test {

// Milliseconds on a monotonic clock.
inline ULONGLONG Now() { return ::GetTickCount64(); }

inline std::string Unique(const std::string& base) {
    static int counter = 0;
    return base + "." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(++counter);
}

inline std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline std::string Unhex(const char* text) {
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    std::string out;
    for (std::size_t i = 0; text[i] && text[i + 1]; i += 2)
        out += static_cast<char>(nibble(text[i]) << 4 | nibble(text[i + 1]));
    return out;
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
        // Messages first: a move or show command sent by another process is
        // carried out while they are handled, and the condition sees it at once.
        PumpMessages();
        if (condition()) return true;
        if (Now() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

inline LRESULT CALLBACK QuitOnDestroyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

inline bool RegisterClassOnce(const std::string& name, WNDPROC proc) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name.c_str();
    return ::RegisterClassExA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

inline HWND CreateTopLevel(const std::string& className, const std::string& title, bool visible, RECT r, WNDPROC proc,
                    HWND owner = nullptr, DWORD style = WS_OVERLAPPEDWINDOW) {
    if (!RegisterClassOnce(className, proc)) return nullptr;
    return ::CreateWindowExA(0, className.c_str(), title.c_str(), style | (visible ? WS_VISIBLE : 0),
                             r.left, r.top, r.right - r.left, r.bottom - r.top, owner, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

// The second process: one top-level window with the given class and title,
// until it is closed (or a minute has passed, should its parent be gone).
// `readyEvent` names the event it sets once the window is created and shown.
inline int ChildMain(const std::string& className, const std::string& title, const char* readyEvent) {
    if (!RegisterClassOnce(className, QuitOnDestroyProc)) return 2;
    HWND hwnd = CreateTopLevel(className, title, true, RECT{100, 100, 500, 400}, QuitOnDestroyProc);
    if (!hwnd) return 2;
    HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent);
    if (!ready) return 2;
    ::SetEvent(ready);
    ::CloseHandle(ready);
    const UINT_PTR lifetime = ::SetTimer(nullptr, 0, 60000, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == lifetime) {
            ::DestroyWindow(hwnd);
            return 3;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

// This program, started again as a child process that shows one window.
class ChildWindow {
public:
    ChildWindow(const std::string& className, const std::string& title) {
        const std::string readyEvent = Unique("Local\\Torvane.ChildReady");
        ready_ = ::CreateEventA(nullptr, TRUE, FALSE, readyEvent.c_str());
        wchar_t exe[MAX_PATH];
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::string tail = " --child " + Hex(className) + " " + Hex(title) + " " + readyEvent;
        std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"" + std::wstring(tail.begin(), tail.end());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started_ = ::CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                    &process_) != FALSE;
    }
    ChildWindow(const ChildWindow&) = delete;
    ChildWindow& operator=(const ChildWindow&) = delete;
    ~ChildWindow() {
        if (!started_) return;
        if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.hProcess, 9);
            ::WaitForSingleObject(process_.hProcess, 5000);
        }
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
        ::CloseHandle(ready_);
    }

    bool started() const { return started_; }
    // True once the child's window is created and shown.
    bool WaitReady() {
        HANDLE either[] = {ready_, process_.hProcess};
        return ::WaitForMultipleObjects(2, either, FALSE, 5000) == WAIT_OBJECT_0;
    }
    DWORD id() const { return process_.dwProcessId; }

    // Asks the window to close and waits for the process to end; returns its
    // exit code, or STILL_ACTIVE when it did not end in time.
    DWORD Close(HWND window) {
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(process_.hProcess, 5000);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    HANDLE ready_ = nullptr;
    bool started_ = false;
    PROCESS_INFORMATION process_{};
};

// Call first in main(): when this process was started as a ChildWindow, runs
// the child and returns true with its exit code in `code`.
inline bool RunChildIfAsked(int argc, char** argv, int& code) {
    if (argc != 5 || std::string(argv[1]) != "--child") return false;
    code = ChildMain(Unhex(argv[2]), Unhex(argv[3]), argv[4]);
    return true;
}

}  // namespace torvane::wine_test
