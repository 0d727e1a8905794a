#include "engine/win32_window_system.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace torvane {

// The lead byte of a double-byte character is dropped together with its
// second byte, also when the text handed in was already cut between the two.
// Second bytes can look like ASCII (0x5C in 表), so the walk starts at the
// beginning.
int CharacterBoundary(const char* text, int length, int limit) {
    const int end = std::min(length, limit);
    int at = 0;
    while (at < end) {
        const int step = ::IsDBCSLeadByte(static_cast<BYTE>(text[at])) ? 2 : 1;
        if (at + step > end) break;
        at += step;
    }
    return at;
}

namespace {

static_assert(sizeof(WINDOWPLACEMENT) == sizeof(Placement), "Placement mirrors WINDOWPLACEMENT");
static_assert(sizeof(HWND) == sizeof(WindowHandle), "a window handle fits a WindowHandle");

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle FromHwnd(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

Point FromPoint(const POINT& p) { return Point{p.x, p.y}; }
Rect FromRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

bool InThisProcess(HWND hwnd) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    return process == ::GetCurrentProcessId();
}

bool OnThisThread(HWND hwnd) { return ::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId(); }

// The windows of other threads that this thread has sent a command and not
// heard back from yet. Plain per-thread storage: the answer arrives as a
// callback on the thread that sent the command.
constexpr int kMaxWaiting = 256;
thread_local HWND t_waiting[kMaxWaiting];
thread_local int t_waitingCount = 0;
thread_local ULONGLONG t_lastCollected = 0;

int FindWaiting(HWND hwnd) {
    for (int i = 0; i < t_waitingCount; ++i) {
        if (t_waiting[i] == hwnd) return i;
    }
    return -1;
}

// The window has handled everything sent before the WM_NULL: it answers
// again. A window that was destroyed, or whose program ended, is answered
// for by the system, so no entry outlives its window.
void CALLBACK OnAnswer(HWND hwnd, UINT, ULONG_PTR, LRESULT) {
    const int i = FindWaiting(hwnd);
    if (i >= 0) t_waiting[i] = t_waiting[--t_waitingCount];
}

// Runs the callbacks of the answers that have arrived, at most once per
// clock tick: one look at the queue collects all of them.
void CollectAnswers() {
    const ULONGLONG now = ::GetTickCount64();
    if (now == t_lastCollected) return;
    t_lastCollected = now;
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

// After a command posted to `hwnd`: the window counts as not answering until
// it has handled the first command posted since it last answered. With the
// list full, the window is not followed.
void AwaitAnswer(HWND hwnd) {
    if (FindWaiting(hwnd) < 0 && t_waitingCount < kMaxWaiting &&
        ::SendMessageCallbackA(hwnd, WM_NULL, 0, 0, &OnAnswer, 0))
        t_waiting[t_waitingCount++] = hwnd;
}

// Copies the first `length` bytes of `text` into the caller's buffer, cut to
// capacity - 1 bytes on a character boundary and NUL-terminated.
int StoreText(const char* text, int length, char* buffer, int capacity) {
    const int kept = CharacterBoundary(text, std::max(length, 0), capacity - 1);
    if (text != buffer) std::memcpy(buffer, text, static_cast<std::size_t>(kept));
    buffer[kept] = '\0';
    return kept;
}

// A title of a window of this process, read from the window itself without
// sending WM_GETTEXT (see the class comment). Stack buffers: the scan reads
// the titles of the program's own visible dialogs every pass.
int OwnTitle(HWND hwnd, char* buffer, int capacity) {
    constexpr int kMaxUnits = 1024;
    // Each UTF-16 unit becomes at least one byte, so `capacity` units are
    // more than the buffer can take; the one extra keeps a surrogate pair
    // at the cut whole.
    const int units = std::min(capacity + 1, kMaxUnits);
    wchar_t wide[kMaxUnits];
    const int got = ::InternalGetWindowText(hwnd, wide, units);
    if (got <= 0) return StoreText(buffer, 0, buffer, capacity);
    char narrow[2 * kMaxUnits];
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, got, narrow, sizeof narrow, nullptr, nullptr);
    return StoreText(narrow, std::max(bytes, 0), buffer, capacity);
}

struct EnumContext {
    WindowSystem::EnumProc proc;
    void* context;
};

BOOL CALLBACK EnumTrampoline(HWND hwnd, LPARAM lParam) {
    auto* enumContext = reinterpret_cast<EnumContext*>(lParam);
    return enumContext->proc(FromHwnd(hwnd), enumContext->context) ? TRUE : FALSE;
}

}  // namespace

void Win32WindowSystem::EnumWindows(EnumProc proc, void* context) {
    EnumContext enumContext{proc, context};
    ::EnumWindows(EnumTrampoline, reinterpret_cast<LPARAM>(&enumContext));
}

bool Win32WindowSystem::IsWindowVisible(WindowHandle window) { return ::IsWindowVisible(ToHwnd(window)) != FALSE; }

int Win32WindowSystem::GetClassNameA(WindowHandle window, char* buffer, int capacity) {
    if (capacity <= 0) return 0;
    const int length = ::GetClassNameA(ToHwnd(window), buffer, capacity);
    return StoreText(buffer, length, buffer, capacity);
}

int Win32WindowSystem::GetWindowTextA(WindowHandle window, char* buffer, int capacity) {
    if (capacity <= 0) return 0;
    const HWND hwnd = ToHwnd(window);
    if (InThisProcess(hwnd)) return OwnTitle(hwnd, buffer, capacity);
    // Another process's title is read by the system without a message to
    // that process, so a hung program cannot stall the caller here.
    const int length = ::GetWindowTextA(hwnd, buffer, capacity);
    return StoreText(buffer, length, buffer, capacity);
}

bool Win32WindowSystem::GetWindowPlacement(WindowHandle window, Placement& placement) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!::GetWindowPlacement(ToHwnd(window), &wp)) {
        placement = Placement{};
        return false;
    }
    placement.length = wp.length;
    placement.flags = wp.flags;
    placement.showCmd = wp.showCmd;
    placement.ptMinPosition = FromPoint(wp.ptMinPosition);
    placement.ptMaxPosition = FromPoint(wp.ptMaxPosition);
    placement.rcNormalPosition = FromRect(wp.rcNormalPosition);
    return true;
}

bool Win32WindowSystem::GetWindowRect(WindowHandle window, Rect& rect) {
    RECT r{};
    if (!::GetWindowRect(ToHwnd(window), &r)) {
        rect = Rect{};
        return false;
    }
    rect = FromRect(r);
    return true;
}

bool Win32WindowSystem::MoveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) {
    const HWND hwnd = ToHwnd(window);
    // A move that would change nothing is not made at all: a lock that holds
    // its windows in place then costs one read per window and cycle.
    RECT now;
    const bool known = ::GetWindowRect(hwnd, &now) != FALSE;
    const bool samePlace = known && now.left == x && now.top == y;
    const bool sameSize = known && now.right - now.left == width && now.bottom - now.top == height;
    if (samePlace && sameSize) return true;
    if (OnThisThread(hwnd)) return ::MoveWindow(hwnd, x, y, width, height, repaint ? TRUE : FALSE) != FALSE;
    // What MoveWindow does, posted (see the class comment). The window takes
    // the move a moment later: a position or size that is the window's own
    // now is left out, so that a change the user makes meanwhile stays.
    const UINT flags = SWP_ASYNCWINDOWPOS | SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW) |
                       (samePlace ? SWP_NOMOVE : 0) | (sameSize ? SWP_NOSIZE : 0);
    if (!::SetWindowPos(hwnd, nullptr, x, y, width, height, flags)) return false;
    AwaitAnswer(hwnd);
    return true;
}

bool Win32WindowSystem::ShowWindow(WindowHandle window, int command) {
    const HWND hwnd = ToHwnd(window);
    if (OnThisThread(hwnd)) return ::ShowWindow(hwnd, command) != FALSE;
    if (!::ShowWindowAsync(hwnd, command)) return false;
    AwaitAnswer(hwnd);
    return true;
}

bool Win32WindowSystem::IsAnswering(WindowHandle window) {
    const HWND hwnd = ToHwnd(window);
    if (FindWaiting(hwnd) < 0) return true;
    CollectAnswers();
    return FindWaiting(hwnd) < 0;
}

WindowHandle Win32WindowSystem::FindWindowA(const char* className, const char* title) {
    return FromHwnd(::FindWindowA(className, title));
}

bool Win32WindowSystem::GetCursorPos(Point& point) {
    POINT p{};
    if (!::GetCursorPos(&p)) {
        point = Point{};
        return false;
    }
    point = FromPoint(p);
    return true;
}

WindowHandle Win32WindowSystem::WindowFromPoint(Point point) {
    return FromHwnd(::WindowFromPoint(POINT{point.x, point.y}));
}

WindowHandle Win32WindowSystem::GetParent(WindowHandle window) { return FromHwnd(::GetParent(ToHwnd(window))); }

}  // namespace torvane
