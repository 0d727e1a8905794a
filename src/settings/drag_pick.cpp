#include "settings/drag_pick.h"

#include "resource.h"

namespace torvane::settings {

std::optional<Picked> PickWindowAtCursor(WindowSystem& windows) {
    Point at;
    windows.GetCursorPos(at);
    WindowHandle w = windows.WindowFromPoint(at);
    if (w == kNoWindow) return std::nullopt;
    // Up through parents and owners; bounded, should a chain ever loop.
    for (int depth = 0; depth < 64; ++depth) {
        const WindowHandle parent = windows.GetParent(w);
        if (parent == kNoWindow) break;
        w = parent;
    }
    return Picked{ClassNameOf(windows, w), TitleOf(windows, w)};
}

void DragPick::Press(DialogView& view) {
    view.Capture(true);
    view.SetPickCursor();
    view.Show(IDC_PICK, false);
    dragging_ = true;
}

void DragPick::Move(DialogView& view) {
    if (dragging_) view.SetPickCursor();
}

std::optional<Picked> DragPick::Release(DialogView& view, WindowSystem& windows) {
    // Cleared first: letting the capture go tells the dialog it is lost.
    dragging_ = false;
    view.Capture(false);
    view.Show(IDC_PICK, true);
    return PickWindowAtCursor(windows);
}

void DragPick::CaptureLost(DialogView& view) {
    if (!dragging_) return;
    dragging_ = false;
    view.Show(IDC_PICK, true);
}

}  // namespace torvane::settings
