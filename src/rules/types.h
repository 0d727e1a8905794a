// Plain types shared by the portable core and the Win32 layer. The core never
// sees <windows.h>; the Win32 layer converts to and from these at its boundary.
#pragma once

#include <cstdint>

namespace torvane {

// A top-level window, as an opaque pointer-sized value; 0 is "no window".
using WindowHandle = std::uintptr_t;
inline constexpr WindowHandle kNoWindow = 0;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A monitor: the whole of it, and its work area (without the taskbar).
struct Monitor {
    Rect area;
    Rect work;
    friend bool operator==(const Monitor&, const Monitor&) = default;
};

// The fields of the platform's window-placement record, in its order (44 bytes).
struct Placement {
    std::uint32_t length = sizeof(Placement);
    std::uint32_t flags = 0;
    std::uint32_t showCmd = 0;
    Point ptMinPosition;
    Point ptMaxPosition;
    Rect rcNormalPosition;
    friend bool operator==(const Placement&, const Placement&) = default;
};
static_assert(sizeof(Placement) == 44, "placement record must match the platform's layout");

// Show commands and placement states, with the platform's numbers
// (SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, SW_MINIMIZE).
namespace show {
inline constexpr int kNormal = 1;
inline constexpr int kMinimized = 2;
inline constexpr int kMaximized = 3;
inline constexpr int kMinimize = 6;
}  // namespace show

}  // namespace torvane
