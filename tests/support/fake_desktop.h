// An in-memory desktop that behaves like the platform's window manager, for
// the engine's tests: windows in z-order (front first) with class, title,
// visibility, show state, current and normal rectangle and owning process.
// Every call through the WindowSystem interface is recorded in order.
//
// Show commands:
//  - minimize: show state 2; the window parks at -32000,-32000 with the size of
//    a minimized caption; the normal rectangle is kept.
//  - maximize: show state 3; the window fills the work area; the normal
//    rectangle is kept.
//  - show normal: show state 1; the normal rectangle comes back.
//  Every show command makes a hidden window visible.
// MoveWindow on a normal window sets both rectangles. On a maximized window
// it sets only the current rectangle; the window stays maximized and keeps
// its normal (restore) rectangle. On a minimized window it changes nothing:
// the window stays parked. (Measured under Wine; on both systems the window
// keeps its state.)
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/window_system.h"

namespace torvane::testing {

class FakeDesktop final : public WindowSystem {
public:
    enum class Op {
        EnumWindows,
        IsWindowVisible,
        GetClassNameA,
        GetWindowTextA,
        GetWindowPlacement,
        GetWindowRect,
        MoveWindow,
        ShowWindow,
        FindWindowA,
        GetCursorPos,
        WindowFromPoint,
        GetParent,
    };

    // One recorded call: the operation, the window, and up to four numbers
    // (MoveWindow: x, y, width, height; ShowWindow: the command).
    struct Call {
        Op op;
        WindowHandle window = kNoWindow;
        int a = 0, b = 0, c = 0, d = 0;
        friend bool operator==(const Call&, const Call&) = default;
    };

    struct Window {
        WindowHandle handle = kNoWindow;
        std::string className;
        std::string title;
        bool visible = true;
        int showCmd = 1;
        Rect rect;
        Rect normalRect;
        int process = 1;
        WindowHandle parent = kNoWindow;
    };

    static constexpr Rect kDefaultRect{100, 100, 500, 400};

    // --- the desktop, changed by tests between and during engine calls ---
    // Opens a window in front of all others and returns its handle.
    WindowHandle open(const std::string& className, const std::string& title, Rect rect = kDefaultRect,
                      bool visible = true);
    void close(WindowHandle window);
    void hide(WindowHandle window);
    void show(WindowHandle window);
    void retitle(WindowHandle window, const std::string& title);
    // What the user does: not recorded.
    void userMove(WindowHandle window, Rect rect);
    void userShow(WindowHandle window, int command);

    // A copy of the window's state; a default Window when it is gone.
    Window window(WindowHandle window) const;

    void setWorkArea(Rect area) { workArea_ = area; }

    // --- the call log ---
    std::vector<Call> calls() const;
    std::vector<Call> callsFor(WindowHandle window) const;
    void clearCalls();
    // Recording can be switched off, so that a benchmark's calls cost next to nothing.
    void setRecording(bool on) { recording_ = on; }
    // Runs while a call is in progress: after it is recorded, before it acts.
    void setHook(std::function<void(const Call&)> hook);

    // --- WindowSystem ---
    void EnumWindows(EnumProc proc, void* context) override;
    bool IsWindowVisible(WindowHandle window) override;
    int GetClassNameA(WindowHandle window, char* buffer, int capacity) override;
    int GetWindowTextA(WindowHandle window, char* buffer, int capacity) override;
    bool GetWindowPlacement(WindowHandle window, Placement& placement) override;
    bool GetWindowRect(WindowHandle window, Rect& rect) override;
    bool MoveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) override;
    bool ShowWindow(WindowHandle window, int command) override;
    WindowHandle FindWindowA(const char* className, const char* title) override;
    bool GetCursorPos(Point& point) override;
    WindowHandle WindowFromPoint(Point point) override;
    WindowHandle GetParent(WindowHandle window) override;

    void setCursor(Point point) { cursor_ = point; }

private:
    void record(const Call& call);
    Window* find(WindowHandle window);
    const Window* find(WindowHandle window) const;
    void applyShow(Window& w, int command);
    static int CopyText(const std::string& text, char* buffer, int capacity);

    mutable std::recursive_mutex mutex_;
    std::vector<Window> windows_;  // front to back
    std::vector<Call> calls_;
    std::vector<WindowHandle> enumOrder_;
    std::function<void(const Call&)> hook_;
    bool recording_ = true;
    WindowHandle nextHandle_ = 0x10010;
    Rect workArea_{0, 0, 1280, 1004};
    Point cursor_;
};

const char* OpName(FakeDesktop::Op op);
void PrintTo(const FakeDesktop::Call& call, std::ostream* os);

}  // namespace torvane::testing
