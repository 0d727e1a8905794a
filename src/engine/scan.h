// The scan pass: binds every rule to the visible top-level windows that match
// it and unbinds the windows that no longer do.
#pragma once

#include <cstdint>

#include "engine/window_system.h"
#include "rules/rule_table.h"

namespace torvane {

// Whether a visible window with this class and title matches `rule` by its
// MatchMode: 2 class, 1 title, both low bits set both, anything else never.
bool RuleMatches(const WindowRule& rule, const char* className, const char* title);

// Whether a bound window still qualifies: bit 0 of the MatchMode clear, or the
// title still the rule's. The class is not checked again.
bool StaysBound(const WindowRule& rule, const char* title);

// The taskbar (class "Shell_TrayWnd") and the desktop (class "Progman" with
// the title "Program Manager"): no rule ever binds them, and the settings
// dialog does not list them. A rule that took them could move the taskbar
// out of reach, and with it the program's own icon.
bool IsShellWindow(const char* className, const char* title);

// One pass; 0 when the busy flag was held (nothing done), 1 after a whole pass.
int ScanPass(Shared& shared, WindowSystem& windows);

}  // namespace torvane
