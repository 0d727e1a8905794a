// The one-time correction, the lock and the state watch, as call sequences on
// the fake desktop.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine/corrections.h"
#include "engine/scan.h"
#include "support/engine_helpers.h"
#include "support/fake_desktop.h"

namespace torvane {
namespace {

using testing::FakeDesktop;
using Op = FakeDesktop::Op;
using Calls = std::vector<FakeDesktop::Call>;

constexpr Rect kStart{100, 100, 500, 400};  // 400 x 300

WindowRule Rule(std::uint32_t options, std::int32_t state = -1, Rect target = {10, 20, 10 + 640, 20 + 480}) {
    return testing::RuleFor("Edit", options, target, state);
}

using Step = void (*)(Shared&, WindowSystem&, std::int32_t);

// The calls that one `step` makes for a single window in `windowState`, bound
// to one rule with `options` and `state`; `window` receives its handle.
Calls CallsOfOneStep(Step step, std::uint32_t options, std::int32_t state, int windowState, WindowHandle& window) {
    Shared s;
    FakeDesktop d;
    s.table.install({Rule(options, state)});
    window = d.open("Edit", "doc", kStart);
    if (windowState != show::kNormal) d.userShow(window, windowState);
    ScanPass(s, d);
    d.clearCalls();
    step(s, d, 0);
    return d.calls();
}

class StepTest : public ::testing::Test {
protected:
    // Opens a window, binds it with the given rules and clears the log.
    WindowHandle setUp(std::vector<WindowRule> rules, int showState = show::kNormal) {
        shared.table.install(std::move(rules));
        WindowHandle w = desktop.open("Edit", "doc", kStart);
        if (showState != show::kNormal) desktop.userShow(w, showState == show::kMinimized ? show::kMinimize : showState);
        EXPECT_EQ(ScanPass(shared, desktop), 1);
        desktop.clearCalls();
        return w;
    }
    BoundWindow& entry(std::size_t rule = 0, std::size_t i = 0) { return shared.table[rule].boundWindows.at(i); }

    Shared shared;
    FakeDesktop desktop;
};

// --- the one-time correction ---

TEST_F(StepTest, CorrectionAllFourFlagsShowsThenMovesWithoutReadingTheRectangle) {
    WindowHandle w = setUp({Rule(opt::fstforce | opt::movex | opt::movey | opt::sizex | opt::sizey, 3)});
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowPlacement, w},
                                      {Op::ShowWindow, w, show::kMaximized},
                                      {Op::MoveWindow, w, 10, 20, 640, 480}}));
    EXPECT_FALSE(entry().pending());
    // Maximized first, then moved and sized: it stays maximized at the rule's rectangle.
    EXPECT_EQ(desktop.window(w).showCmd, show::kMaximized);
    EXPECT_EQ(desktop.window(w).rect, (Rect{10, 20, 650, 500}));
}

TEST_F(StepTest, CorrectionSomeFlagsReadsTheRectangleBeforeTheShowState) {
    // sizex and sizey with state 1 on a maximized window: the rectangle is the
    // maximized one, read before the window is shown normal.
    WindowHandle w = setUp({Rule(opt::fstforce | opt::sizex | opt::sizey, 1)}, show::kMaximized);
    const Rect maximized = desktop.window(w).rect;
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowRect, w},
                                      {Op::GetWindowPlacement, w},
                                      {Op::ShowWindow, w, show::kNormal},
                                      {Op::MoveWindow, w, maximized.left, maximized.top, 640, 480}}));
}

TEST_F(StepTest, CorrectionOnlyMovexKeepsTopWidthAndHeight) {
    WindowHandle w = setUp({Rule(opt::fstforce | opt::movex)});
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowRect, w},
                                      {Op::GetWindowPlacement, w},
                                      {Op::MoveWindow, w, 10, 100, 400, 300}}));
}

TEST_F(StepTest, CorrectionWithoutFlagsOnlyAppliesTheState) {
    WindowHandle w = setUp({Rule(opt::fstforce, 2)});
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowPlacement, w}, {Op::ShowWindow, w, show::kMinimize}}));
    EXPECT_EQ(desktop.window(w).showCmd, show::kMinimized);
}

TEST_F(StepTest, CorrectionShowStateTable) {
    struct Case {
        std::int32_t state;
        int windowState;
        int command;  // 0: no ShowWindow
    };
    const Case cases[] = {
        {1, 1, 0}, {1, 2, 1}, {1, 3, 1}, {2, 1, 6}, {2, 2, 0}, {2, 3, 6},
        {3, 1, 3}, {3, 2, 3}, {3, 3, 0}, {-1, 2, 0}, {0, 3, 0}, {4, 1, 0},
    };
    for (const Case& c : cases) {
        WindowHandle w = kNoWindow;
        const Calls calls = CallsOfOneStep(&CorrectionStep, opt::fstforce, c.state, c.windowState, w);
        Calls expected{{Op::GetWindowPlacement, w}};
        if (c.command != 0) expected.push_back({Op::ShowWindow, w, c.command});
        EXPECT_EQ(calls, expected) << "state " << c.state << " window " << c.windowState;
    }
}

TEST_F(StepTest, CorrectionTreatsOnlyMarkedWindowsAndNothingIsComparedBeforeMoving) {
    shared.table.install({Rule(opt::movex | opt::movey | opt::sizex | opt::sizey)});  // fstforce off
    WindowHandle a = desktop.open("Edit", "a", kStart);
    WindowHandle b = desktop.open("Edit", "b", {10, 20, 650, 500});  // already in place
    ScanPass(shared, desktop);
    entry(0, 1).setPending(true);  // a, bound second
    desktop.clearCalls();
    CorrectionStep(shared, desktop, 0);
    EXPECT_TRUE(desktop.callsFor(b).empty());
    EXPECT_EQ(desktop.callsFor(a).back(), (FakeDesktop::Call{Op::MoveWindow, a, 10, 20, 640, 480}));
    desktop.clearCalls();
    CorrectionStep(shared, desktop, 0);
    EXPECT_TRUE(desktop.calls().empty()) << "the mark was cleared";

    // A window already where the rule wants it is moved all the same.
    entry(0, 0).setPending(true);
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(desktop.callsFor(b).back(), (FakeDesktop::Call{Op::MoveWindow, b, 10, 20, 640, 480}));
}

TEST_F(StepTest, TwoRulesOnOneWindowActInTableOrder) {
    const std::uint32_t all = opt::fstforce | opt::movex | opt::movey | opt::sizex | opt::sizey;
    WindowHandle w = setUp({Rule(all, -1, {1, 1, 101, 101}), Rule(all, -1, {2, 2, 202, 202})});
    CorrectionStep(shared, desktop, 0);
    CorrectionStep(shared, desktop, 1);
    EXPECT_EQ(desktop.window(w).rect, (Rect{2, 2, 202, 202}));
    Calls moves;
    for (const auto& c : desktop.calls()) {
        if (c.op == Op::MoveWindow) moves.push_back(c);
    }
    EXPECT_EQ(moves, (Calls{{Op::MoveWindow, w, 1, 1, 100, 100}, {Op::MoveWindow, w, 2, 2, 200, 200}}));
}

TEST_F(StepTest, StepsSkipWhileTheFlagIsHeldAndForAnIndexPastTheTable) {
    setUp({Rule(opt::fstforce | opt::movex | opt::lmovex | opt::forcestt, 3)});
    ASSERT_TRUE(shared.busy.tryTake());
    CorrectionStep(shared, desktop, 0);
    LockStep(shared, desktop, 0);
    StateWatchStep(shared, desktop, 0);
    EXPECT_TRUE(desktop.calls().empty());
    EXPECT_TRUE(entry().pending()) << "the mark waits for a later cycle";
    EXPECT_TRUE(shared.busy.isHeld());
    shared.busy.release();

    for (std::int32_t index : {1, 5, -1}) {
        CorrectionStep(shared, desktop, index);
        LockStep(shared, desktop, index);
        StateWatchStep(shared, desktop, index);
    }
    EXPECT_TRUE(desktop.calls().empty());
    EXPECT_FALSE(shared.busy.isHeld()) << "a skipped index releases the flag";
}

TEST_F(StepTest, AVanishedWindowIsLeftAlone) {
    const std::uint32_t some = opt::fstforce | opt::movex | opt::lmovey | opt::msfstt | opt::forcestt;
    WindowHandle w = setUp({Rule(some, 1)});
    desktop.userShow(w, show::kMinimize);
    desktop.close(w);
    CorrectionStep(shared, desktop, 0);
    LockStep(shared, desktop, 0);
    StateWatchStep(shared, desktop, 0);
    for (const auto& c : desktop.calls()) {
        EXPECT_TRUE(c.op == Op::GetWindowRect || c.op == Op::GetWindowPlacement) << OpName(c.op);
    }
    EXPECT_EQ(entry().lastPlacement.showCmd, 1u) << "the record of the last cycle is kept";
}

// --- the lock ---

TEST_F(StepTest, LockWithoutLockFlagsIssuesNoCall) {
    setUp({Rule(opt::fstforce | opt::movex | opt::movey | opt::sizex | opt::sizey)});
    LockStep(shared, desktop, 0);
    EXPECT_TRUE(desktop.calls().empty());
}

TEST_F(StepTest, LockAllFourNeedsNoRectangle) {
    WindowHandle w = setUp({Rule(opt::lmovex | opt::lmovey | opt::lsizex | opt::lsizey)});
    LockStep(shared, desktop, 0);
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowPlacement, w},
                                      {Op::ShowWindow, w, show::kNormal},
                                      {Op::MoveWindow, w, 10, 20, 640, 480}}));
}

TEST_F(StepTest, LockOnlyTopLeavesTheRestToTheUser) {
    WindowHandle w = setUp({Rule(opt::lmovey)});
    desktop.userMove(w, {300, 333, 700, 433});
    LockStep(shared, desktop, 0);
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowPlacement, w},
                                      {Op::ShowWindow, w, show::kNormal},
                                      {Op::GetWindowRect, w},
                                      {Op::MoveWindow, w, 300, 20, 400, 100}}));
}

TEST_F(StepTest, LockLeavesMinimizedAndMaximizedWindowsAlone) {
    for (int state : {show::kMinimized, show::kMaximized}) {
        SCOPED_TRACE(state);
        Shared s;
        FakeDesktop d;
        s.table.install({Rule(opt::lmovex | opt::lmovey)});
        WindowHandle w = d.open("Edit", "doc", kStart);
        ScanPass(s, d);
        d.userShow(w, state);
        d.clearCalls();
        LockStep(s, d, 0);
        EXPECT_EQ(d.calls(), (Calls{{Op::GetWindowPlacement, w}}));
        // Back to normal: put back on the next cycle.
        d.userShow(w, show::kNormal);
        LockStep(s, d, 0);
        EXPECT_EQ(d.window(w).rect.left, 10);
        EXPECT_EQ(d.window(w).rect.top, 20);
    }
}

TEST_F(StepTest, TwoLocksOnOneWindowEndAtTheLowerRule) {
    const std::uint32_t all = opt::lmovex | opt::lmovey | opt::lsizex | opt::lsizey;
    WindowHandle w = setUp({Rule(all, -1, {1, 1, 101, 101}), Rule(all, -1, {2, 2, 202, 202})});
    for (int cycle = 0; cycle < 2; ++cycle) {
        LockStep(shared, desktop, 0);
        LockStep(shared, desktop, 1);
    }
    EXPECT_EQ(desktop.window(w).rect, (Rect{2, 2, 202, 202}));
}

// --- the state watch ---

TEST_F(StepTest, StateWatchRestoreTable) {
    const int states[] = {show::kNormal, show::kMinimized, show::kMaximized};
    for (int last : states) {
        for (int now : states) {
            SCOPED_TRACE(::testing::Message() << last << " -> " << now);
            Shared s;
            FakeDesktop d;
            s.table.install({Rule(opt::msfstt)});
            WindowHandle w = d.open("Edit", "doc", kStart);
            if (last != show::kNormal) d.userShow(w, last);
            ScanPass(s, d);
            if (now != last) d.userShow(w, now);
            d.clearCalls();
            StateWatchStep(s, d, 0);
            const bool restore = (last == 2 && (now == 1 || now == 3)) || (last == 3 && now == 1);
            Calls expected{{Op::GetWindowPlacement, w}};
            if (restore) expected.push_back({Op::ShowWindow, w, show::kNormal});
            EXPECT_EQ(d.calls(), expected);
            EXPECT_EQ(s.table[0].boundWindows[0].pending(), restore);
            EXPECT_EQ(s.table[0].boundWindows[0].lastPlacement.showCmd, static_cast<std::uint32_t>(now));
        }
    }
}

TEST_F(StepTest, StateWatchEnforcesTheStateReadAtTheStart) {
    struct Case {
        std::int32_t state;
        int now;
        int command;
    };
    const Case cases[] = {{1, 3, 1}, {1, 1, 0}, {2, 1, 6}, {2, 2, 0}, {3, 2, 3}, {3, 3, 0}, {-1, 2, 0}, {0, 3, 0}};
    for (const Case& c : cases) {
        WindowHandle w = kNoWindow;
        const Calls calls = CallsOfOneStep(&StateWatchStep, opt::forcestt, c.state, c.now, w);
        Calls expected{{Op::GetWindowPlacement, w}};
        if (c.command != 0) expected.push_back({Op::ShowWindow, w, c.command});
        EXPECT_EQ(calls, expected) << "state " << c.state << " now " << c.now;
    }
}

TEST_F(StepTest, MinimizedToMaximizedRestoreMarksTwice) {
    WindowHandle w = setUp({Rule(opt::msfstt)}, show::kMinimized);
    desktop.userShow(w, show::kMaximized);
    StateWatchStep(shared, desktop, 0);
    EXPECT_TRUE(entry().pending());
    EXPECT_EQ(entry().lastPlacement.showCmd, 3u) << "the placement read before the step's own show command";
    EXPECT_EQ(desktop.window(w).showCmd, show::kNormal);
    entry().setPending(false);
    desktop.clearCalls();
    StateWatchStep(shared, desktop, 0);  // maximized -> normal, a restore again
    EXPECT_TRUE(entry().pending());
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowPlacement, w}, {Op::ShowWindow, w, show::kNormal}}));
}

TEST_F(StepTest, EnforcementAndRestoreTogetherCorrectAgain) {
    // forcestt and msfstt with state 1: a maximized window is shown normal,
    // and the next cycle sees maximized -> normal and marks it.
    WindowHandle w = setUp({Rule(opt::msfstt | opt::forcestt, 1)});
    desktop.userShow(w, show::kMaximized);
    StateWatchStep(shared, desktop, 0);
    EXPECT_EQ(desktop.window(w).showCmd, show::kNormal);
    EXPECT_FALSE(entry().pending());
    StateWatchStep(shared, desktop, 0);
    EXPECT_TRUE(entry().pending());
}

TEST_F(StepTest, StateWatchRecordsPlacementsWithoutOptions) {
    WindowHandle w = setUp({Rule(0)});
    desktop.userShow(w, show::kMinimize);
    StateWatchStep(shared, desktop, 0);
    EXPECT_EQ(desktop.calls(), (Calls{{Op::GetWindowPlacement, w}}));
    EXPECT_EQ(entry().lastPlacement.showCmd, 2u);
    EXPECT_FALSE(entry().pending());
}

// --- waking the one-time correction ---

TEST_F(StepTest, EveryNewMarkWakesTheCorrectionWorker) {
    shared.table.install({Rule(0), Rule(opt::msfstt)});
    WindowHandle w = desktop.open("Edit", "doc");
    ScanPass(shared, desktop);
    EXPECT_FALSE(shared.correctionWakeup.isDue()) << "bound without a mark";

    shared.table.install({Rule(opt::fstforce)});
    ScanPass(shared, desktop);
    EXPECT_TRUE(shared.correctionWakeup.isDue()) << "bound with a mark";
    shared.correctionWakeup.sleepFor(0);
    ScanPass(shared, desktop);
    EXPECT_FALSE(shared.correctionWakeup.isDue()) << "nothing new";

    shared.table.install({Rule(opt::msfstt)});
    ScanPass(shared, desktop);
    desktop.userShow(w, show::kMinimize);
    StateWatchStep(shared, desktop, 0);
    EXPECT_FALSE(shared.correctionWakeup.isDue());
    desktop.userShow(w, show::kNormal);
    StateWatchStep(shared, desktop, 0);
    EXPECT_TRUE(shared.correctionWakeup.isDue()) << "a restore";
    shared.correctionWakeup.sleepFor(0);

    EXPECT_EQ(CorrectNow(shared), CorrectNowResult::Marked);
    EXPECT_TRUE(shared.correctionWakeup.isDue());
}

// --- CorrectNow ---

TEST_F(StepTest, CorrectNowMarksEveryBoundWindowOfEveryRule) {
    shared.table.install({Rule(0), Rule(0), WindowRule::Named("Other")});
    desktop.open("Edit", "a");
    desktop.open("Edit", "b");
    ScanPass(shared, desktop);
    EXPECT_EQ(CorrectNow(shared), CorrectNowResult::Marked);
    for (std::size_t r = 0; r < 2; ++r) {
        ASSERT_EQ(shared.table[r].boundWindows.size(), 2u);
        for (const BoundWindow& b : shared.table[r].boundWindows) EXPECT_TRUE(b.pending());
    }
    EXPECT_FALSE(shared.busy.isHeld());
    Shared empty;
    EXPECT_EQ(CorrectNow(empty), CorrectNowResult::Marked);
}

TEST_F(StepTest, CorrectNowGivesUpAfterItsSleepsAndWaitsForAShortHold) {
    shared.PollInterval = 3;  // 1 ms sleeps
    setUp({Rule(0)});
    ASSERT_TRUE(shared.busy.tryTake());
    EXPECT_EQ(CorrectNow(shared), CorrectNowResult::GaveUp);
    EXPECT_FALSE(entry().pending()) << "nothing is marked without the flag";
    EXPECT_TRUE(shared.busy.isHeld());

    // A holder that lets go within the wait: the request goes through.
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        shared.busy.release();
    });
    EXPECT_EQ(CorrectNow(shared), CorrectNowResult::Marked);
    holder.join();
    EXPECT_TRUE(entry().pending());
}

}  // namespace
}  // namespace torvane
