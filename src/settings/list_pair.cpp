#include "settings/list_pair.h"

#include <algorithm>
#include <cstdlib>

namespace torvane::settings {

void ListPair::SetUp(DialogView& view, int rows, int top) {
    record_.page = std::max(1, view.RowsShown(left_));
    record_.max = rows - 1;
    record_.pos = std::clamp(top, 0, std::max(0, rows - record_.page));
    view.SetScrollBar(bar_, record_);
    view.SetTopRow(left_, record_.pos);
    view.SetTopRow(right_, record_.pos);
}

void ListPair::Mirror(DialogView& view, int from) {
    const int to = from == left_ ? right_ : left_;
    view.Select(to, view.Selected(from));
    view.SetTopRow(to, view.TopRow(from));
    MoveTo(view, view.TopRow(from));
}

void ListPair::MoveTo(DialogView& view, int top) {
    record_.pos = top;
    view.SetScrollBar(bar_, record_);
}

void ListPair::Lines(DialogView& view, int count, bool down) {
    for (int i = 0; i < count; ++i) {
        view.ScrollLine(left_, down);
        view.ScrollLine(right_, down);
    }
}

bool ListPair::Scroll(DialogView& view, int code, int thumb) {
    switch (code) {
        case kLineUp:
            if (--record_.pos < 0) {
                record_.pos = 0;
                return true;
            }
            view.SetScrollBar(bar_, record_);
            Lines(view, 1, false);
            return true;
        case kLineDown:
            if (++record_.pos + record_.page > record_.max + 1) {
                record_.pos = std::max(0, record_.max - record_.page + 1);
                return true;
            }
            view.SetScrollBar(bar_, record_);
            Lines(view, 1, true);
            return true;
        case kThumbTrack:
        case kThumbPosition:
            Lines(view, std::abs(thumb - record_.pos), thumb > record_.pos);
            MoveTo(view, thumb);
            return true;
        default:  // page up and down, top, bottom, end of scrolling: a click in the trough does nothing
            return false;
    }
}

void ListPair::Wheel(DialogView& view, int lines) {
    const int target = std::clamp(record_.pos + lines, 0, std::max(0, record_.max - record_.page + 1));
    Lines(view, std::abs(target - record_.pos), target > record_.pos);
    MoveTo(view, target);
}

}  // namespace torvane::settings
