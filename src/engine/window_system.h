// The platform's window operations that the engine and the settings dialog
// rely on. A read of a window that has vanished gives an empty result; the
// next scan pass drops the window. A command says what became of it.
#pragma once

#include <string>

#include "engine/owed_answers.h"
#include "rules/types.h"

namespace torvane {

// What the platform tells of top-level windows of other processes as it
// happens (Windows tells all five; Wine tells only of creations), and of the
// displays: a monitor added or removed, a resolution, a work area, a resume
// or an unlocked session (for no window).
enum class WindowEvent { Created, Shown, Renamed, Moved, Restored, DisplaysChanged };
// Called on a thread of the platform's: it must not wait for anything.
using WindowEventHandler = void (*)(void* context, WindowEvent event, WindowHandle window);

// What became of a command: on its way (it takes effect when the window's
// program next handles its messages); the window is gone; its program's
// queue is full (for now, as when it hangs); or it was refused (a program
// that runs as administrator refuses a program that does not, and any other
// failure).
enum class CommandResult { Sent, Gone, Busy, Refused };

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
    // Which parts of the rectangle a move sets. A part it does not set stays
    // as the window has it when the move takes effect, so that what the user
    // does meanwhile is not undone by a rectangle read before.
    enum MoveParts : unsigned { kPosition = 1, kSize = 2, kPositionAndSize = 3 };

    // Moves and show commands are posted: they take effect when the window's
    // program next handles its messages, and never wait for it. A move
    // repaints the window.
    virtual CommandResult MoveWindow(WindowHandle window, const Rect& to, MoveParts parts) = 0;
    virtual CommandResult ShowWindow(WindowHandle window, int command) = 0;
    // Asks the window to answer once it has handled every command sent to it
    // so far; the answer is recorded in `owed` (OwedAnswers::Answered). It
    // arrives on the calling thread, during one of its later CollectAnswers,
    // or at once for a window of the calling thread. Sent when the answer
    // will come; otherwise none will.
    virtual CommandResult AwaitAnswer(WindowHandle window, OwedAnswers& owed) = 0;
    // Whether the window's program runs at a higher integrity level than
    // this one (as administrator): its commands would be refused. False when
    // that cannot be told: the first command's result tells then.
    virtual bool Elevated(WindowHandle window) = 0;
    // Whether the window's program has stopped answering (no message is sent).
    virtual bool NotAnswering(WindowHandle window) = 0;
    // Takes in the answers that have arrived for the calling thread.
    virtual void CollectAnswers() = 0;
    // Starts telling `handler` of window events; a null handler stops it,
    // and the last call of the handler is over when this returns. False when
    // the platform tells nothing.
    virtual bool WatchEvents(WindowEventHandler handler, void* context) = 0;
    // Writes up to `capacity` monitors, each work area within its monitor;
    // returns how many there are (0: unknown).
    virtual int ReadMonitors(Monitor* out, int capacity) = 0;
    // The height of a window's title bar.
    virtual int CaptionHeight() = 0;
    // Either text may be null for "any".
    virtual WindowHandle FindWindowA(const char* className, const char* title) = 0;
    virtual bool GetCursorPos(Point& point) = 0;
    virtual WindowHandle WindowFromPoint(Point point) = 0;
    virtual WindowHandle GetParent(WindowHandle window) = 0;
};

// A window's class name and title as the engine reads them (at most 254 bytes).
inline std::string ClassNameOf(WindowSystem& windows, WindowHandle window) {
    char text[WindowSystem::kTextCapacity + 1] = "";
    windows.GetClassNameA(window, text, WindowSystem::kTextCapacity);
    return text;
}
inline std::string TitleOf(WindowSystem& windows, WindowHandle window) {
    char text[WindowSystem::kTextCapacity + 1] = "";
    windows.GetWindowTextA(window, text, WindowSystem::kTextCapacity);
    return text;
}

}  // namespace torvane
