// An in-memory desktop that behaves like the window manager (as measured
// under Wine): windows in z-order, front first; every WindowSystem call logged.
// Minimize parks a window at -32000,-32000, maximize fills the work area, a
// show command makes a hidden window visible; a move of a minimized window
// does nothing, of a maximized one keeps it maximized. Moves, show commands
// and asked-for answers wait in the window's queue until it runs (settle);
// the answer goes to the asking thread (CollectAnswers). A hung window runs
// nothing until it resumes; a closed one is answered for at once.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/window_system.h"

namespace torvane::testing {

class FakeDesktop final : public WindowSystem {
public:
    struct Window {
        WindowHandle handle = kNoWindow;
        std::string className;
        std::string title;
        bool visible = true;
        int showCmd = 1;
        Rect rect;
        Rect normalRect;
        WindowHandle parent = kNoWindow;  // of a child; the owner of an owned top-level window
        bool owned = false;
        bool hung = false;
        // Its program runs as administrator: every command is refused, and
        // Elevated tells so unless its level cannot be read (`refusing` alone).
        bool refusing = false, elevated = false;
        bool full = false;       // its queue is full: every command is busy
        bool dpiAware = false;   // scales its own size when it comes onto a monitor of another DPI
        bool fixedSize = false;  // keeps its size whatever it is sent
        bool vanishing = false;  // closes as the next command comes
        struct Posted {
            char op;  // M a move to `rect` (its `command` the parts set), S show `command`,
                      // A an answer for `owed`, asked on `thread`
            Rect rect;
            int command;
            OwedAnswers* owed;
            std::thread::id thread;
        };
        std::vector<Posted> queue{};
        std::string sent{};  // the commands sent since the last look, as in the log
    };

    static constexpr Rect kDefaultRect{100, 100, 500, 400};

    // Opens a window in front, named a, b, c ... (w26 after z) in the log. A
    // window with a parent is a child, not enumerated, unless `owned` (a dialog box).
    WindowHandle open(const std::string& className, const std::string& title, Rect rect = kDefaultRect,
                      bool visible = true, WindowHandle parent = kNoWindow, bool owned = false);
    void close(WindowHandle window);
    void hide(WindowHandle window) { change(window, [](Window& w) { w.visible = false; }); }
    void retitle(WindowHandle window, const std::string& title) { change(window, [&](Window& w) { w.title = title; }); }
    // What the user does: not logged.
    void userMove(WindowHandle window, Rect rect);
    void userShow(WindowHandle window, int command) { change(window, [&](Window& w) { applyShow(w, command); }); }
    Window window(WindowHandle window) const;  // a default Window when gone
    // The front-most window of that class, or none; not logged.
    WindowHandle frontmost(const std::string& className) const;
    void setCursor(Point point) { cursor_ = point; }
    void settle();
    void setLive(bool live) { live_ = live; }
    void hang(WindowHandle window) { change(window, [](Window& w) { w.hung = true; }); }
    void resume(WindowHandle window) {
        change(window, [this](Window& w) {
            w.hung = false;
            run(w);
        });
    }
    // Keeps every worker that comes to take its answers waiting, as a thread
    // that gets no processor time; for at most 3 s, which `stalledLong` tells.
    void stall(bool on) { stalled_ = on; }
    bool stalledLong() const { return stalledLong_; }
    int waiting() const { return waiting_; }  // threads kept waiting now

    // --- the log: one word per call, such as "aP aS3 aM10,20,640,480" ---
    // E EnumWindows, V IsWindowVisible, C GetClassNameA, T GetWindowTextA,
    // P GetWindowPlacement, R GetWindowRect, M MoveWindow x,y,w,h (a part it
    // does not set as "-,-"), S
    // ShowWindow n, F FindWindowA, K GetCursorPos, W WindowFromPoint, G GetParent.
    std::string log() const;
    // The moves and show commands tried on the window since the last look
    // (sent, or refused), such as "S3 M10,20,640,480".
    std::string takeSent(WindowHandle window);
    static std::string name(WindowHandle window);
    void clearLog();
    // Runs while a call is in progress: after it is logged, before it acts.
    void setHook(std::function<void(char op, WindowHandle window)> hook);

    void EnumWindows(EnumProc proc, void* context) override;
    bool IsWindowVisible(WindowHandle window) override;
    int GetClassNameA(WindowHandle window, char* buffer, int capacity) override;
    int GetWindowTextA(WindowHandle window, char* buffer, int capacity) override;
    bool GetWindowPlacement(WindowHandle window, Placement& placement) override;
    bool GetWindowRect(WindowHandle window, Rect& rect) override;
    CommandResult MoveWindow(WindowHandle window, const Rect& to, MoveParts parts) override;
    CommandResult ShowWindow(WindowHandle window, int command) override;
    CommandResult AwaitAnswer(WindowHandle window, OwedAnswers& owed) override;
    // The threads that asked for answers for `owed` have ended: as on
    // Windows, their answers are never delivered.
    void dropAnswers(const OwedAnswers* owed);
    bool Elevated(WindowHandle w) override { return window(w).elevated; }
    bool NotAnswering(WindowHandle w) override { return window(w).hung; }  // at once: Windows waits 5 s
    // Changes a window's nature (refusing, elevated, full, dpiAware, fixedSize, vanishing); not logged.
    void change(WindowHandle window, const std::function<void(Window&)>& how);
    void CollectAnswers() override;
    bool WatchEvents(WindowEventHandler handler, void* context) override;
    int ReadMonitors(Monitor* out, int capacity) override;
    int CaptionHeight() override { return 23; }
    // The monitors change (the first has a taskbar 20 high at its bottom): as
    // the system does, a window whose monitor has gone comes onto the first,
    // then the platform tells of it.
    void setMonitors(const std::vector<Rect>& areas, const std::vector<int>& dpis = {});
    // The platform tells of an event, as Windows does; nothing while none watches.
    void fire(WindowEvent event, WindowHandle window);
    WindowHandle FindWindowA(const char* className, const char* title) override;
    bool GetCursorPos(Point& point) override;
    WindowHandle WindowFromPoint(Point point) override;
    WindowHandle GetParent(WindowHandle window) override;

private:
    static constexpr WindowHandle kFirst = 0x10010;
    void note(char op, WindowHandle window, std::string args = {});
    Window* call(char op, WindowHandle window, std::string args = {});  // noted, then found
    Window* find(WindowHandle window);
    // What becomes of a command to `w` (null: gone); a sent one goes into its queue.
    CommandResult command(Window* w, Window::Posted posted, const std::string& logged);
    int monitorAt(const Rect& rect) const;  // the index of the monitor that shows its middle, or -1
    void applyShow(Window& w, int command);
    void run(Window& w);

    mutable std::recursive_mutex mutex_;
    std::vector<Window> windows_;  // front to back
    std::string log_;
    std::function<void(char, WindowHandle)> hook_;
    WindowHandle next_ = kFirst;
    std::vector<Monitor> monitors_{{{0, 0, 1280, 1024}, {0, 0, 1280, 1004}}};
    std::vector<int> dpis_{96};  // each monitor's
    Rect workArea_{0, 0, 1280, 1004};  // the first monitor's
    Point cursor_;
    std::atomic<bool> live_{false};
    std::atomic<bool> stalled_{false}, stalledLong_{false};
    std::atomic<int> waiting_{0};
    WindowEventHandler events_ = nullptr;
    void* eventContext_ = nullptr;
    std::map<std::thread::id, std::vector<std::pair<OwedAnswers*, WindowHandle>>> answers_;
};

}  // namespace torvane::testing
