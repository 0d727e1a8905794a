// The three corrections of bound windows: the one-time correction of marked
// windows, the constant lock, and the state watch; and CorrectNow, which marks
// every bound window for the one-time correction on the user's request.
#pragma once

#include <cstdint>

#include "engine/window_system.h"
#include "rules/rule_table.h"

namespace torvane {

// Issues the rule's show state to one window, unless it is in that state
// already; a state other than 1, 2 or 3 asks for nothing.
void ApplyShowState(const WindowRule& rule, WindowHandle window, WindowSystem& windows);

// Each step takes the busy flag once, skips the rule when it is held or when
// the index is no longer below the rule count, and releases the flag.

// Treats the rule's windows marked pending: clears the mark, applies the show
// state and moves and sizes the window by the rule's enabled values.
void CorrectionStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex);

// Holds the rule's locked values for every bound window in normal state.
void LockStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex);

// Marks windows restored from minimized or maximized, enforces the rule's
// state, and records every window's placement for the next cycle.
void StateWatchStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex);

enum class CorrectNowResult { Marked, GaveUp };

// Waits for the busy flag in sleeps of PollInterval / 3 (at most 102 of them),
// then marks every bound window of every rule. GaveUp means the flag stayed
// held: the caller re-posts the request that asked for this.
CorrectNowResult CorrectNow(Shared& shared);

}  // namespace torvane
