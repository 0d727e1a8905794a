// The window operations over user32, for the Windows build. This is the one
// place where the engine's WindowSystem meets the platform; everything else
// sees only the interface.
#pragma once

#include "engine/window_system.h"

namespace torvane {

// A thin layer over the ANSI user32 calls. Texts come back in the system code
// page (932 on the target), cut on a character boundary to capacity - 1 bytes.
//
// The one place where it does more than forward a call: windows of this very
// process that belong to another thread. The program's user-interface thread
// may sit in a bounded wait (for the busy flag, say) while a worker thread
// scans, so a worker must never send that thread a message and wait for the
// answer. For such windows the title is read without WM_GETTEXT, and moves
// and show commands are posted rather than sent; they take effect once the
// owning thread pumps its messages again.
//
// Failed reads leave a defined result: an empty text, a zero rectangle, a
// zero placement record (showCmd 0). ShowWindow returns what the platform
// reports (for a window of another thread of this process: whether the
// command was queued); the engine ignores it.
class Win32WindowSystem final : public WindowSystem {
public:
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
};

}  // namespace torvane
