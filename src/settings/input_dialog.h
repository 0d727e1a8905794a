// The input dialog (105): a class name and a title, typed or picked by
// dragging, for a new rule.
#pragma once

#include <string>

#include "engine/window_system.h"
#include "settings/dialog_view.h"
#include "settings/drag_pick.h"

namespace torvane::settings {

class InputDialog {
public:
    InputDialog(WindowSystem& windows, DialogView& view) : windows_(windows), view_(view) {}
    void Open();
    // OK hands back the two texts, at most 254 bytes each.
    void Command(int id);
    void Press() { pick_.Press(view_); }
    void Move() { pick_.Move(view_); }
    void Release();
    void CaptureLost() { pick_.CaptureLost(view_); }

    bool accepted() const { return accepted_; }
    const std::string& className() const { return className_; }
    const std::string& title() const { return title_; }

private:
    WindowSystem& windows_;
    DialogView& view_;
    DragPick pick_;
    bool accepted_ = false;
    std::string className_, title_;
};

}  // namespace torvane::settings
