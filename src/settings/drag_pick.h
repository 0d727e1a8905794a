// Picking a window by dragging the cursor icon onto it, in the settings
// dialog and in the input dialog.
#pragma once

#include <optional>
#include <string>

#include "engine/window_system.h"
#include "settings/dialog_view.h"

namespace torvane::settings {

struct Picked {
    std::string className;
    std::string title;
};
// The top window (through parents and owners) under the cursor, or none.
std::optional<Picked> PickWindowAtCursor(WindowSystem& windows);

// The press, the moves and the release of a pick on a dialog's surface.
class DragPick {
public:
    void Press(DialogView& view);
    void Move(DialogView& view);
    // Every release picks, with or without a press before it.
    std::optional<Picked> Release(DialogView& view, WindowSystem& windows);
    // Another window took the mouse: the pick ends without picking.
    void CaptureLost(DialogView& view);
    bool dragging() const { return dragging_; }

private:
    bool dragging_ = false;
};

}  // namespace torvane::settings
