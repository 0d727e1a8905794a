// The scan pass: binds every rule to the visible top-level windows that match
// it and unbinds the windows that no longer do.
#pragma once

#include <cstdint>

#include "engine/window_system.h"
#include "engine/shared_state.h"

namespace torvane {

// Whether a visible window with this class and title matches `rule` by its
// MatchMode: 2 class, 1 title, both low bits set both, anything else never.
bool RuleMatches(const WindowRule& rule, const char* className, const char* title);

// Whether a bound window still qualifies: bit 0 of the MatchMode clear, or the
// title still the rule's. The class is not checked again.
bool StaysBound(const WindowRule& rule, const char* title);

// The taskbar's class; the scan worker looks for it to put the tray icon back.
inline constexpr char kTaskbarClass[] = "Shell_TrayWnd";

// The shell's own windows: the taskbars, the desktop and its layers, the
// notification area's overflow window (the list in scan.cpp). No rule ever
// binds them, and the settings dialog does not list them.
bool IsShellWindow(const char* className, const char* title);

// One pass; false when the busy flag was held (nothing done).
bool ScanPass(Shared& shared, WindowSystem& windows);

}  // namespace torvane
