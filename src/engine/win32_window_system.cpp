#include "engine/win32_window_system.h"

#include "engine/displays.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <future>
#include <memory>
#include <mutex>

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
static_assert(show::kNormal == SW_SHOWNORMAL && show::kMinimized == SW_SHOWMINIMIZED &&
              show::kMaximized == SW_SHOWMAXIMIZED && show::kMinimize == SW_MINIMIZE);
static_assert(sizeof(HWND) == sizeof(WindowHandle), "a window handle fits a WindowHandle");

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle FromHwnd(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

Point FromPoint(const POINT& p) { return Point{p.x, p.y}; }
Rect FromRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

bool OnThisThread(HWND hwnd) { return ::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId(); }

// The answers this thread has asked for and not taken in yet. The system
// delivers each as a callback on this thread when it next looks at its
// queue; a window that was destroyed, or whose program ended, is answered
// for by the system.
thread_local int t_awaited = 0;

void CALLBACK OnAnswer(HWND hwnd, UINT, ULONG_PTR owed, LRESULT) {
    --t_awaited;
    reinterpret_cast<OwedAnswers*>(owed)->Answered(reinterpret_cast<WindowHandle>(hwnd));
}

// Copies the first `length` bytes of `text` into the caller's buffer, cut to
// capacity - 1 bytes on a character boundary and NUL-terminated.
int StoreText(const char* text, int length, char* buffer, int capacity) {
    const int kept = CharacterBoundary(text, std::max(length, 0), capacity - 1);
    if (text != buffer) std::memcpy(buffer, text, static_cast<std::size_t>(kept));
    buffer[kept] = '\0';
    return kept;
}

// A window's title as the system stores it, read without sending
// WM_GETTEXT (see the class comment). Stack buffers: the scan reads every
// visible window's title every pass.
int StoredTitle(HWND hwnd, char* buffer, int capacity) {
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
    // Read from the window itself, with no message to its thread: neither a
    // hung program nor this program's own busy thread stalls the caller, and
    // no look at whose window it is costs a call.
    return StoredTitle(ToHwnd(window), buffer, capacity);
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

namespace {

// What a command's failure means. The last error is cleared before each
// command: a call may fail without setting one.
CommandResult Outcome(BOOL ok, HWND hwnd) {
    if (ok) return CommandResult::Sent;
    switch (::GetLastError()) {
        case ERROR_INVALID_WINDOW_HANDLE: return CommandResult::Gone;
        case ERROR_NOT_ENOUGH_QUOTA: return CommandResult::Busy;  // the program's queue is full
        case 0: return ::IsWindow(hwnd) ? CommandResult::Refused : CommandResult::Gone;
        default: return CommandResult::Refused;  // ERROR_ACCESS_DENIED: a program that runs as administrator
    }
}

}  // namespace

CommandResult Win32WindowSystem::MoveWindow(WindowHandle window, const Rect& to, MoveParts parts) {
    // What MoveWindow does, posted to a window of another thread (see the
    // class comment); for one of this thread it happens at once.
    const UINT flags = SWP_ASYNCWINDOWPOS | SWP_NOZORDER | SWP_NOACTIVATE | ((parts & kPosition) ? 0 : SWP_NOMOVE) |
                       ((parts & kSize) ? 0 : SWP_NOSIZE);
    const HWND hwnd = ToHwnd(window);
    ::SetLastError(0);
    return Outcome(::SetWindowPos(hwnd, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top, flags), hwnd);
}

CommandResult Win32WindowSystem::ShowWindow(WindowHandle window, int command) {
    const HWND hwnd = ToHwnd(window);
    // ShowWindow returns whether the window was visible before, not whether it worked.
    if (OnThisThread(hwnd)) return ::ShowWindow(hwnd, command), CommandResult::Sent;
    ::SetLastError(0);
    return Outcome(::ShowWindowAsync(hwnd, command), hwnd);
}

CommandResult Win32WindowSystem::AwaitAnswer(WindowHandle window, OwedAnswers& owed) {
    // A WM_NULL sent behind the commands: the window handles it after them.
    // For a window of this thread the callback runs before this returns.
    const HWND hwnd = ToHwnd(window);
    ++t_awaited;
    ::SetLastError(0);
    const CommandResult result =
        Outcome(::SendMessageCallbackA(hwnd, WM_NULL, 0, 0, &OnAnswer, reinterpret_cast<ULONG_PTR>(&owed)), hwnd);
    if (result != CommandResult::Sent) --t_awaited;
    return result;
}

namespace {

// The integrity level of a process's token (its mandatory label's last
// sub-authority), or -1 when the token cannot be read.
long IntegrityOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return -1;
    alignas(TOKEN_MANDATORY_LABEL) unsigned char buffer[128];
    DWORD size = 0;
    long level = -1;
    if (::GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size)) {
        const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
        const UCHAR count = *::GetSidSubAuthorityCount(sid);
        if (count > 0) level = static_cast<long>(*::GetSidSubAuthority(sid, count - 1u));
    }
    ::CloseHandle(token);
    return level;
}

}  // namespace

bool Win32WindowSystem::Elevated(WindowHandle window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(ToHwnd(window), &pid);
    if (pid == 0 || pid == ::GetCurrentProcessId()) return false;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return false;  // not guessed at: the first command tells
    // The process's start tells a process from a later one with its number.
    FILETIME created{}, unused[3];
    const bool timed = ::GetProcessTimes(process, &created, &unused[0], &unused[1], &unused[2]) != FALSE;
    const std::uint64_t start = (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
    std::lock_guard<std::mutex> lock(levelsMutex_);
    if (ownLevel_ < 0) ownLevel_ = IntegrityOf(::GetCurrentProcess());
    for (const ProcessLevel& known : levels_) {
        if (timed && known.pid == pid && known.start == start) {
            ::CloseHandle(process);
            return known.level > ownLevel_ && ownLevel_ >= 0;
        }
    }
    const long level = IntegrityOf(process);
    ::CloseHandle(process);
    if (timed) {
        // The oldest entry makes room; without memory the level is read again next time.
        if (levels_.size() == kLevelsKept) levels_.erase(levels_.begin());
        try {
            levels_.push_back(ProcessLevel{pid, start, level});
        } catch (const std::bad_alloc&) {
        }
    }
    return level > ownLevel_ && ownLevel_ >= 0;
}

bool Win32WindowSystem::NotAnswering(WindowHandle window) { return ::IsHungAppWindow(ToHwnd(window)) != FALSE; }

void Win32WindowSystem::CollectAnswers() {
    // One look at the queue runs the callbacks of every answer that has come.
    MSG msg;
    if (t_awaited > 0) ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

// The handler of a watch, shared by the watch's thread and the window system.
struct EventWatch {
    WindowEventHandler handler;
    void* context;
    std::atomic<bool> stopped{false};  // no more calls of the handler
};

namespace {
// The watch of the thread the hook runs on.
thread_local const EventWatch* t_watch = nullptr;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    // The caret's and the cursor's moves, and the windows' controls, stop here.
    if (hwnd == nullptr || object != OBJID_WINDOW || child != CHILDID_SELF || t_watch == nullptr ||
        t_watch->stopped.load())
        return;
    if (::GetAncestor(hwnd, GA_ROOT) != hwnd) return;
    WindowEvent what;
    switch (event) {
        case EVENT_OBJECT_CREATE: what = WindowEvent::Created; break;
        case EVENT_OBJECT_SHOW: what = WindowEvent::Shown; break;
        case EVENT_OBJECT_NAMECHANGE: what = WindowEvent::Renamed; break;
        case EVENT_OBJECT_LOCATIONCHANGE: what = WindowEvent::Moved; break;
        case EVENT_SYSTEM_MINIMIZEEND: what = WindowEvent::Restored; break;
        default: return;
    }
    t_watch->handler(t_watch->context, what, FromHwnd(hwnd));
}

// Sets the hooks, tells `started` the thread's id once one is set (0 when
// none could be), and runs the thread's message loop until WM_QUIT.
void WatchLoop(std::shared_ptr<EventWatch> watch, std::promise<DWORD>* started) {
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue that WM_QUIT is posted to
    t_watch = watch.get();
    constexpr DWORD kFlags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS;
    const DWORD ranges[][2] = {{EVENT_SYSTEM_MINIMIZEEND, EVENT_SYSTEM_MINIMIZEEND},
                               {EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW},
                               {EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_NAMECHANGE}};
    HWINEVENTHOOK hooks[3] = {};
    bool any = false;
    for (int i = 0; i < 3; ++i) {
        hooks[i] = ::SetWinEventHook(ranges[i][0], ranges[i][1], nullptr, &OnWinEvent, 0, 0, kFlags);
        any = any || hooks[i] != nullptr;
    }
    started->set_value(any ? ::GetCurrentThreadId() : 0);  // `started` may be gone after this
    if (any) {
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    }
    for (HWINEVENTHOOK hook : hooks) {
        if (hook != nullptr) ::UnhookWinEvent(hook);
    }
    t_watch = nullptr;
}

}  // namespace

namespace {
BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM lParam) {
    auto* found = reinterpret_cast<std::pair<Monitor*, int>*>(lParam);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoA(monitor, &info)) return TRUE;
    // The work area within its monitor: Wine can report a stale one after a change.
    RECT work{};
    if (!::IntersectRect(&work, &info.rcWork, &info.rcMonitor)) work = info.rcMonitor;
    if (found->second < Displays::kMost) found->first[found->second] = Monitor{FromRect(info.rcMonitor), FromRect(work)};
    ++found->second;
    return TRUE;
}
}  // namespace

int Win32WindowSystem::ReadMonitors(Monitor* out, int capacity) {
    Monitor all[Displays::kMost];
    std::pair<Monitor*, int> found{all, 0};
    if (!::EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&found))) return 0;
    const int count = std::min(found.second, Displays::kMost);
    std::copy_n(all, std::min(count, capacity), out);
    return count;
}

int Win32WindowSystem::CaptionHeight() { return ::GetSystemMetrics(SM_CYCAPTION); }

void Win32WindowSystem::DisplaysChanged() {
    if (WindowEventHandler handler = displayHandler_.load()) handler(displayContext_.load(), WindowEvent::DisplaysChanged, kNoWindow);
}

bool Win32WindowSystem::WatchEvents(WindowEventHandler handler, void* context) {
    displayHandler_.store(nullptr);
    displayContext_.store(context);
    displayHandler_.store(handler);
    if (watcher_.joinable()) {
        watch_->stopped.store(true);
        // A full queue refuses the post for a while; a watch that cannot be
        // told to stop is left to end with the process rather than waited for.
        bool told = false;
        for (int tries = 0; tries < 1000 && !told; ++tries) {
            told = ::PostThreadMessageA(watcherId_, WM_QUIT, 0, 0) != FALSE;
            if (!told) ::Sleep(1);
        }
        told ? watcher_.join() : watcher_.detach();
    }
    if (handler == nullptr) return true;
    std::promise<DWORD> started;
    std::future<DWORD> set = started.get_future();
    try {
        watch_ = std::make_shared<EventWatch>();
        watch_->handler = handler;
        watch_->context = context;
        watcher_ = std::thread(&WatchLoop, watch_, &started);
    } catch (const std::system_error&) {
        return false;  // no thread: the poll alone finds the windows
    }
    watcherId_ = set.get();
    if (watcherId_ != 0) return true;
    watcher_.join();
    return false;
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
