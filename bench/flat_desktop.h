// A window system whose calls cost next to nothing: windows indexed by
// handle - 1, every call an array access. Benchmarks measure the engine's own
// work on it.
#pragma once

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "engine/window_system.h"

namespace torvane {

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
    CommandResult MoveWindow(WindowHandle, const Rect&, MoveParts) override { return CommandResult::Sent; }
    CommandResult ShowWindow(WindowHandle, int) override { return CommandResult::Sent; }
    // Windows that answer at once, as a window of the calling thread does.
    CommandResult AwaitAnswer(WindowHandle w, OwedAnswers& owed) override {
        owed.Answered(w);
        return CommandResult::Sent;
    }
    bool Elevated(WindowHandle) override { return false; }
    bool NotAnswering(WindowHandle) override { return false; }
    void CollectAnswers() override {}
    // Events are told only when a benchmark fires them.
    bool WatchEvents(WindowEventHandler handler, void* context) override {
        handler_.store(handler);
        context_.store(context);
        return true;
    }
    int ReadMonitors(Monitor* out, int capacity) override {
        if (capacity > 0) out[0] = Monitor{{0, 0, 1280, 1024}, {0, 0, 1280, 1004}};
        return 1;
    }
    int CaptionHeight() override { return 23; }
    void fire(WindowEvent event, WindowHandle w) {
        if (WindowEventHandler handler = handler_.load()) handler(context_.load(), event, w);
    }
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
    std::atomic<WindowEventHandler> handler_{nullptr};
    std::atomic<void*> context_{nullptr};
};

}  // namespace torvane
