// The three corrections of bound windows: the one-time correction of marked
// windows, the constant lock, and the state watch; and CorrectNow, which marks
// every bound window for the one-time correction on the user's request.
//
// The order of commands: a command to a window is posted and takes effect
// when the window's program next handles its messages. Until the window has
// answered (Shared::owed), no step reads it or sends it anything more: a
// read could see it from before the command, and a command built on that
// read would undo it. Such a window is left for a later cycle, and a one-time
// correction due for it stays due. A command that would change nothing is
// not sent, and no show command goes to a window that its program has
// hidden.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/window_system.h"
#include "engine/shared_state.h"

namespace torvane {

// Each step takes the busy flag once, skips the rule when it is held or when
// the index is no longer below the rule count, and releases the flag. A step
// returns false when it skipped its rule for the flag: the worker tries again
// soon.

// Treats the rule's windows marked pending: clears the mark, applies the show
// state and moves and sizes the window by the rule's enabled values.
bool CorrectionStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex);

// Marks windows restored from minimized or maximized, enforces the rule's
// state, and records every window's placement for the next cycle.
bool StateWatchStep(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex);

// One cycle of the lock. Each rule, in table order, lays its locked values
// over the window's rectangle as the rules above it left it in this cycle;
// at the end each window that is not where the rules hold it gets one move.
// So when two rules lock one window, it stays where the lower one holds it.
class LockCycle {
public:
    LockCycle() {
        plans_.reserve(64);
        tried_.reserve(64);
    }
    // The rule's part, under the busy flag as every step.
    void Rule(Shared& shared, WindowSystem& windows, std::int32_t ruleIndex);
    // The moves, under the busy flag once more; a window that was sent a
    // command since it was read (by any step, answered or not) waits for the
    // next cycle. The parts of a move that left them as they were (a window
    // that cannot be sized keeps its size) are not sent again until the
    // window's rectangle has changed. A cycle in which a rule was skipped for
    // the flag sends nothing (the window would go where only the rules above
    // the skipped one hold it); it, and one whose moves find the flag held,
    // returns false, so that the worker tries again at once.
    bool Send(Shared& shared, WindowSystem& windows);

private:
    struct Plan {
        WindowHandle window;
        Rect read;                  // where it was
        Rect target;                // where the rules hold it
        OwedAnswers::Stamp readAt;  // when it was read, in the order of commands
        unsigned held;              // the coordinates the rules hold (bit i: kCoordinates[i])
    };
    // A move that went out, and what the first read after it found.
    struct Tried {
        WindowHandle window;
        Rect read;                  // before the move
        Rect target;
        unsigned asked;             // the parts it set (WindowSystem::MoveParts)
        OwedAnswers::Stamp sentAt;  // just after the move and its answer's request
        bool checked;               // read since
        Rect after;                 // that read
        unsigned futile;            // the parts it asked for that did not change
    };
    Tried* TriedFor(WindowHandle window);
    void Remember(const Tried& tried);

    std::vector<Plan> plans_;
    std::vector<Tried> tried_;
    bool complete_ = true;  // no rule of this cycle was skipped
};

// The monitors as the platform has them now, into the shared state.
void ReadDisplays(Shared& shared, WindowSystem& windows);

// The displays have begun to change, at `now` (steady clock, ns). At the
// first message of a burst the windows the user has moved from where the
// engine put them are noted: they stay where the user put them.
void DisplaysChanging(Shared& shared, WindowSystem& windows, std::int64_t now);

// Once no message has come for a second (a hundred intervals), the monitors
// are read again; when
// they differ, every window bound to a rule that corrects when opened or
// restored gets its one-time correction once more, but one the user had
// moved to where it can still be seen. The scan worker calls it every cycle.
void SettleDisplays(Shared& shared, WindowSystem& windows, std::int64_t now);

enum class CorrectNowResult { Marked, GaveUp };

// Waits for the busy flag in sleeps of PollInterval / 3 (at most 102 of them),
// then marks every bound window of every rule. GaveUp means the flag stayed
// held: the caller re-posts the request that asked for this.
CorrectNowResult CorrectNow(Shared& shared);

}  // namespace torvane
