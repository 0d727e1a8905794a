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

// One pass; 0 when the busy flag was held (nothing done), 1 after a whole pass.
int ScanPass(Shared& shared, WindowSystem& windows);

}  // namespace torvane
