#include "engine/displays.h"

#include <algorithm>
#include <cstdint>

namespace torvane {
namespace {

// How far `r` lies from `area`, squared: 0 when they overlap.
std::int64_t Gap(const Rect& r, const Rect& area) {
    const std::int64_t dx = std::max({0, area.left - r.right, r.left - area.right});
    const std::int64_t dy = std::max({0, area.top - r.bottom, r.top - area.bottom});
    return dx * dx + dy * dy;
}

}  // namespace

bool Reachable(const Rect& t, const Displays& displays) {
    if (displays.count == 0) return true;
    const int useful = std::max(1, std::min((t.right - t.left) / 3, 100));
    const int stripBottom = t.top + std::max(displays.caption, 1);
    for (int i = 0; i < displays.count; ++i) {
        const Rect& w = displays.monitors[static_cast<std::size_t>(i)].work;
        const int across = std::min(t.right, w.right) - std::max(t.left, w.left);
        const int down = std::min(stripBottom, w.bottom) - std::max(t.top, w.top);
        if (across >= useful && down > 0) return true;
    }
    return false;
}

Rect OnScreen(const Rect& target, unsigned set, const Displays& displays) {
    if (Reachable(target, displays)) return target;
    const Monitor* nearest = &displays.monitors[0];
    for (int i = 1; i < displays.count; ++i) {
        const Monitor& m = displays.monitors[static_cast<std::size_t>(i)];
        if (Gap(target, m.work) < Gap(target, nearest->work)) nearest = &m;
    }
    const Rect& w = nearest->work;
    int x = target.left, y = target.top, width = target.right - target.left, height = target.bottom - target.top;
    if ((set & 4) != 0) width = std::min(width, w.right - w.left);
    if ((set & 8) != 0) height = std::min(height, w.bottom - w.top);
    if ((set & 1) != 0) x = std::clamp(x, w.left, std::max(w.left, w.right - width));
    if ((set & 2) != 0) y = std::clamp(y, w.top, std::max(w.top, w.bottom - height));
    const Rect clamped{x, y, x + width, y + height};
    return Reachable(clamped, displays) ? clamped : target;
}

}  // namespace torvane
