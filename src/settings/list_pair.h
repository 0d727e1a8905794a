// A pair of lists, class names left and titles right, with one scroll bar:
// the visible windows (1001, 1002, 1003) and the rules (1004, 1006, 1005).
#pragma once

#include "settings/dialog_view.h"

namespace torvane::settings {

// The codes of a scroll bar's events that a pair acts on (SB_LINEUP,
// SB_LINEDOWN, SB_THUMBPOSITION, SB_THUMBTRACK).
enum ScrollCode { kLineUp = 0, kLineDown = 1, kThumbPosition = 4, kThumbTrack = 5 };

class ListPair {
public:
    ListPair(int left, int right, int bar) : left_(left), right_(right), bar_(bar) {}

    // The record for `rows` rows with `top` as the top row (kept within the
    // rows), handed to the bar; both lists move there.
    void SetUp(DialogView& view, int rows, int top);
    // The user changed the selection in list `from`: the other list follows.
    void Mirror(DialogView& view, int from);
    // The record's position is now `top`.
    void MoveTo(DialogView& view, int top);
    // A scroll event of the bar; false for the codes that do nothing.
    bool Scroll(DialogView& view, int code, int thumb);
    // The mouse wheel over either list: both move by `lines` rows.
    void Wheel(DialogView& view, int lines);

    bool Has(int list) const { return list == left_ || list == right_; }
    int bar() const { return bar_; }
    const ScrollRecord& record() const { return record_; }

private:
    void Lines(DialogView& view, int count, bool down);
    int left_, right_, bar_;
    ScrollRecord record_;
};

}  // namespace torvane::settings
