// The window operations over user32, for the Windows build. This is the one
// place where the engine's WindowSystem meets the platform; everything else
// sees only the interface.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/window_system.h"

namespace torvane {

// A thin layer over the ANSI user32 calls. Texts come back in the system code
// page (932 on the target), cut on a character boundary to capacity - 1 bytes.
//
// Where it does more than forward a call: a worker must never wait for
// another thread's window. A program that stops handling its messages (a hung
// program, or this program's own user-interface thread in a bounded wait)
// would otherwise stop the worker with it.
//  - Titles are read as the system stores them, without WM_GETTEXT.
//  - Moves and show commands for a window of another thread are posted
//    (SWP_ASYNCWINDOWPOS, ShowWindowAsync). AwaitAnswer sends a WM_NULL
//    behind them with SendMessageCallback; the callback comes back on the
//    sending thread when it looks at its queue (CollectAnswers), and records
//    the answer in the process's one OwedAnswers.
//
// Failed reads leave a defined result: an empty text, a zero rectangle, a
// zero placement record (showCmd 0). WatchEvents tells of top-level windows
// of other processes only. A command's result comes from the platform's
// error: 1400 gone, 1816 busy (the queue is full), anything else refused
// (5: the window's program runs as administrator). A show command for a
// window of this thread happens at once and counts as sent.
// The length of the longest start of text[0, length) that fits in `limit`
// bytes and ends on a character boundary of the system code page.
int CharacterBoundary(const char* text, int length, int limit);

struct EventWatch;

class Win32WindowSystem final : public WindowSystem {
public:
    void EnumWindows(EnumProc proc, void* context) override;
    bool IsWindowVisible(WindowHandle window) override;
    int GetClassNameA(WindowHandle window, char* buffer, int capacity) override;
    int GetWindowTextA(WindowHandle window, char* buffer, int capacity) override;
    bool GetWindowPlacement(WindowHandle window, Placement& placement) override;
    bool GetWindowRect(WindowHandle window, Rect& rect) override;
    CommandResult MoveWindow(WindowHandle window, const Rect& to, MoveParts parts) override;
    CommandResult ShowWindow(WindowHandle window, int command) override;
    CommandResult AwaitAnswer(WindowHandle window, OwedAnswers& owed) override;
    // By the integrity levels of the two processes' tokens, read once per
    // process (known by its number and start).
    bool Elevated(WindowHandle window) override;
    // IsHungAppWindow: no message is sent.
    bool NotAnswering(WindowHandle window) override;
    bool WatchEvents(WindowEventHandler handler, void* context) override;
    int ReadMonitors(Monitor* out, int capacity) override;
    int CaptionHeight() override;
    // The main window has been told that the displays changed: the watch's
    // handler hears of it (on the calling thread).
    void DisplaysChanged();
    void CollectAnswers() override;
    WindowHandle FindWindowA(const char* className, const char* title) override;
    bool GetCursorPos(Point& point) override;
    WindowHandle WindowFromPoint(Point point) override;
    WindowHandle GetParent(WindowHandle window) override;

private:
    // The platform calls an out-of-context event hook on the thread that set
    // it, from that thread's message loop: the watch has a thread of its own.
    std::thread watcher_;
    std::shared_ptr<EventWatch> watch_;
    // The handler of the display changes, kept also when no hook could be set.
    std::atomic<WindowEventHandler> displayHandler_{nullptr};
    std::atomic<void*> displayContext_{nullptr};
    unsigned long watcherId_ = 0;
    // The integrity levels of the processes asked about, and this one's.
    struct ProcessLevel {
        unsigned long pid;
        std::uint64_t start;
        long level;  // -1: the token could not be read
    };
    static constexpr std::size_t kLevelsKept = 64;
    std::mutex levelsMutex_;
    std::vector<ProcessLevel> levels_;
    long ownLevel_ = -1;
};

}  // namespace torvane
