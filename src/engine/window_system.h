// The platform's window operations that the engine and the settings dialog
// rely on. The engine checks no result: a window that has vanished is dropped
// by the next scan pass.
#pragma once

#include "rules/types.h"

namespace torvane {

class WindowSystem {
public:
    // Called once per top-level window, front to back; return true to go on.
    using EnumProc = bool (*)(WindowHandle window, void* context);

    // Capacity of the class and title buffers the engine passes, in bytes,
    // with the NUL: at most 254 bytes of text come back.
    static constexpr int kTextCapacity = 255;

    virtual ~WindowSystem() = default;

    virtual void EnumWindows(EnumProc proc, void* context) = 0;
    // False for a hidden window and for a handle whose window no longer exists.
    virtual bool IsWindowVisible(WindowHandle window) = 0;
    // Both write a NUL-terminated text of at most capacity - 1 bytes (an empty
    // one on failure) and return its length.
    virtual int GetClassNameA(WindowHandle window, char* buffer, int capacity) = 0;
    virtual int GetWindowTextA(WindowHandle window, char* buffer, int capacity) = 0;
    virtual bool GetWindowPlacement(WindowHandle window, Placement& placement) = 0;
    virtual bool GetWindowRect(WindowHandle window, Rect& rect) = 0;
    // Moves and show commands never wait for the window's program: they take
    // effect when it next handles its messages.
    virtual bool MoveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) = 0;
    virtual bool ShowWindow(WindowHandle window, int command) = 0;
    // False while a move or show command sent to the window earlier has not
    // been handled: its program does not answer. The engine asks before each
    // step's commands for a window and leaves it alone until it answers, so
    // that its message queue is not flooded.
    virtual bool IsAnswering(WindowHandle window) = 0;
    // Either text may be null for "any".
    virtual WindowHandle FindWindowA(const char* className, const char* title) = 0;
    virtual bool GetCursorPos(Point& point) = 0;
    virtual WindowHandle WindowFromPoint(Point point) = 0;
    virtual WindowHandle GetParent(WindowHandle window) = 0;
};

}  // namespace torvane
