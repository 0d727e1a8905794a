// A rule's list of windows, the busy flag, stopping the workers, and the
// workers under churn (run under the sanitizers too).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "engine/corrections.h"
#include "engine/displays.h"
#include "engine/scan.h"
#include "engine/workers.h"
#include "support/engine_helpers.h"
#include "support/fake_desktop.h"
#include "support/wait.h"

namespace torvane {
namespace {

using testing::FakeDesktop;
using testing::WaitForCycles;
using testing::WaitUntil;
using testing::WithFlag;

TEST(Rule, BindsInWholeSteps) {
    WindowRule r = WindowRule::Named("Notepad");
    for (WindowHandle h : {10, 20, 30}) EXPECT_TRUE(r.bind(h, static_cast<std::uint32_t>(h / 10)));
    EXPECT_FALSE(r.bind(20, 9) || r.bind(10, 9)) << "a handle is bound at most once";
    EXPECT_EQ(r.boundWindows[1].lastShowCmd, 2u) << "and the entry is not overwritten";
    EXPECT_EQ(r.boundWindows[0].flags, BoundWindow::kPending) << "the mark follows fstforce";
    r.set(opt::correctOnOpen, false);
    r.bind(40, 9);
    EXPECT_EQ(r.boundWindows[3].flags, 0u);
    r.unbindAt(1);
    r.unbindAt(3);  // out of range: nothing
    EXPECT_TRUE(r.boundWindows.size() == 3 && r.findBound(10) == 0 && r.findBound(30) == 1 && r.findBound(40) == 2);
}

// A look that comes after a new window's time is over still finds it shown.
TEST(NewWindows, ALateLookStillFindsAWindowThatShowedAndThenForgetsThem) {
    NewWindows fresh;
    fresh.add(10, 100);
    fresh.add(20, 100);
    EXPECT_TRUE(fresh.takeShown(200, [](WindowHandle w) { return w == 10; }));
    EXPECT_FALSE(fresh.any());
}

WindowRule MoveRule(std::uint32_t extra = opt::correctOnOpen) {
    return testing::RuleFor("Edit", extra | testing::kMoveAll, Rect{10, 20, 650, 500});
}

// A lock cycle whose moves find the busy flag held sends nothing and says
// so, so that its worker tries again at once.
TEST(Lock, ACycleWhoseMovesFindTheFlagHeldSendsNothingAndSaysSo) {
    Shared shared;
    FakeDesktop desktop;
    shared.table.install({testing::RuleFor("Lock", opt::lockLeft, Rect{10, 20, 650, 500})});
    const WindowHandle a = desktop.open("Lock", "a", Rect{300, 100, 400, 200});
    ScanPass(shared, desktop);
    LockCycle cycle;
    cycle.Rule(shared, desktop, 0);
    WithFlag(shared, [&] { EXPECT_FALSE(cycle.Send(shared, desktop)); });
    EXPECT_EQ(desktop.window(a).sent, "");
}

// A window whose queue fills between a step's commands takes no request for
// their answer: it owes nothing, and its correction stays due.
TEST(Commands, AWindowThatFillsUpBetweenItsCommandsOwesNothing) {
    Shared shared;
    FakeDesktop desktop;
    WindowRule rule = MoveRule();
    rule.showState = show::kNormal;
    shared.table.install({rule});
    const WindowHandle w = desktop.open("Edit", "doc");
    desktop.userShow(w, show::kMaximized);
    ScanPass(shared, desktop);
    desktop.setHook([&](char op, WindowHandle h) {
        if (op == 'M') desktop.change(h, [](FakeDesktop::Window& win) { win.full = true; });
    });
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(shared.owed.size(), 0u);
    EXPECT_TRUE(shared.table[0].boundWindows.at(0).pending());
}

// Where a move goes: where the rule says while a monitor shows its title
// bar, else into the nearest work area, changing only what the rule sets.
TEST(Displays, ATargetNoMonitorShowsGoesIntoTheNearestWorkArea) {
    Displays d;
    d.count = 2;
    d.caption = 20;
    d.monitors[0] = {{0, 0, 1280, 1024}, {0, 0, 1280, 1004}};
    d.monitors[1] = {{-1024, -768, 0, 0}, {-1024, -768, 0, 0}};  // left of and above the first
    const struct {
        Rect target;
        unsigned set;
        Rect expected;
    } rows[] = {
        {{100, 100, 500, 400}, 15, {100, 100, 500, 400}},        // shown
        {{1100, 100, 1500, 400}, 15, {1100, 100, 1500, 400}},    // partly off, 180 of 400 shown: as it is
        {{1250, 100, 1650, 400}, 15, {880, 100, 1280, 400}},     // 30 shown: into the first
        {{3000, 3000, 3400, 3300}, 15, {880, 704, 1280, 1004}},  // wholly off
        {{-600, -900, -200, -600}, 15, {-600, -768, -200, -468}},  // above the one on the left
        {{2000, 100, 4000, 1500}, 15, {0, 0, 1280, 1004}},       // larger than the work area
        {{2000, 100, 2400, 400}, 1, {880, 100, 1280, 400}},      // a rule that sets x alone
        {{2000, 2000, 2400, 2300}, 1, {2000, 2000, 2400, 2300}}, // x alone cannot bring it back
    };
    for (const auto& row : rows) EXPECT_EQ(OnScreen(row.target, row.set, d), row.expected) << row.target.left;
    EXPECT_EQ(OnScreen(rows[3].target, 15, Displays{}), rows[3].target) << "no monitor known: as it is";
}

class Workers : public ::testing::Test {
protected:
    void SetUp() override {
        shared.PollInterval = 2;
        shared.config = SystemConfig::Defaults();
        desktop.setLive(true);
    }
    void TearDown() override { stop(); }
    void start() {
        StartWorkers(shared, desktop, tray);
        started = true;
    }
    void stop() {
        if (!started) return;
        StopWorkers(shared);
        ASSERT_TRUE(WaitUntil([&] { return !AnyWorkerAlive(shared); }));
        started = false;
    }

    Shared shared;
    FakeDesktop desktop;
    testing::NoTray tray;
    bool started = false;
};

TEST_F(Workers, AStopWhileAStepHoldsTheFlagOrRightAfterTheStartEndsCleanly) {
    shared.table.install({MoveRule()});
    std::atomic<bool> inStep{false};
    desktop.setHook([&](char op, WindowHandle) {
        if (op != 'M' || inStep.exchange(true)) return;
        StopWorkers(shared);  // while the step holds the flag
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    start();
    desktop.open("Edit", "doc");
    ASSERT_TRUE(WaitUntil([&] { return inStep.load(); }));
    EXPECT_TRUE(WaitUntil([&] { return !AnyWorkerAlive(shared); }));
    started = false;
    EXPECT_FALSE(shared.busy.isHeld()) << "the step finished and released the flag";
    // Right after the start: the wait covers workers not yet at their first line.
    Shared s;
    s.config = SystemConfig::Defaults();
    StartWorkers(s, desktop, tray);
    StopWorkers(s);
    ASSERT_TRUE(WaitUntil([&] { return !AnyWorkerAlive(s); }));
}

// A worker that the busy flag kept from its rules tries again a moment
// later, not an interval later.
TEST_F(Workers, AWorkerKeptFromItsRulesByTheFlagTriesAgainAtOnce) {
    WindowRule keep = WindowRule::Named("Keep");
    keep.options = opt::keepState;
    keep.showState = show::kNormal;
    shared.table.install({testing::RuleFor("Lock", opt::lockLeft, Rect{10, 20, 650, 500}), keep});
    const WindowHandle a = desktop.open("Lock", "a", Rect{10, 100, 110, 200});
    const WindowHandle b = desktop.open("Keep", "b");
    start();
    ASSERT_TRUE(WaitUntil([&] { return shared.bound.contains(a) && shared.bound.contains(b); }));
    ASSERT_TRUE(testing::SetInterval(shared, 60000));
    WithFlag(shared, [&] {
        desktop.userMove(a, Rect{300, 100, 400, 200});
        desktop.userShow(b, show::kMaximized);
        desktop.fire(WindowEvent::Moved, a);
        desktop.fire(WindowEvent::Moved, b);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // past the events' floor
    });
    EXPECT_TRUE(WaitUntil([&] { return desktop.window(a).rect.left == 10; })) << "the lock waited for its interval";
    EXPECT_TRUE(WaitUntil([&] { return desktop.window(b).showCmd == show::kNormal; })) << "the watch waited";
}

// The hotkey pressed while the lock runs a cycle: the correction it asks for
// is never undone by a move that the lock made of what it read before.
// TORVANE_PRESSES sets how many presses (600 for the long check).
TEST_F(Workers, AHotkeyPressedWhileTheLockRunsIsNeverUndone) {
    const char* env = std::getenv("TORVANE_PRESSES");
    const int presses = env != nullptr ? std::atoi(env) : 100;
    shared.table.install({testing::RuleFor("Edit", opt::placeTop | opt::lockLeft, Rect{200, 30, 460, 210})});
    const WindowHandle w = desktop.open("Edit", "doc", Rect{300, 400, 560, 580});
    std::atomic<bool> armed{false}, reading{false};
    desktop.setHook([&](char op, WindowHandle h) {
        if (op == 'R' && h == w && armed.exchange(false)) reading = true;
    });
    start();
    ASSERT_TRUE(WaitUntil([&] { return desktop.window(w).rect.left == 200; }));
    int undone = 0;
    for (int i = 0; i < presses; ++i) {
        desktop.userMove(w, Rect{300, 400, 560, 580});
        armed = true;
        while (!reading.exchange(false)) std::this_thread::yield();  // pressed at once, as the cycle runs
        while (CorrectNow(shared) != CorrectNowResult::Marked) {
        }  // the shell posts the request again
        undone += WaitUntil([&] { return desktop.window(w).rect == Rect{200, 30, 460, 210}; },
                            std::chrono::milliseconds(300)) ? 0 : 1;
    }
    EXPECT_EQ(undone, 0) << "presses undone, of " << presses;
}

bool NoHandleTwice(const Shared& shared) {
    for (const WindowRule& rule : shared.table.rules()) {
        for (std::size_t i = 0; i < rule.boundWindows.size(); ++i) {
            if (rule.findBound(rule.boundWindows[i].handle) != static_cast<std::ptrdiff_t>(i)) return false;
        }
    }
    return true;
}

TEST_F(Workers, UnderChurnNoWindowIsBoundTwiceAndNoMarkIsLost) {
    auto rules = [] {
        WindowRule lock = WindowRule::Named("lock");
        lock.title.assign("doc 1");
        lock.matchMode = MatchMode::Title;
        lock.options = opt::lockTop;
        WindowRule watch = WindowRule::Named("Edit");
        watch.options = opt::correctOnOpen | opt::correctOnRestore | opt::keepState;
        watch.showState = show::kNormal;
        return std::vector<WindowRule>{MoveRule(0), lock, watch};
    };
    shared.PollInterval = 3;
    shared.table.install(rules());
    start();
    std::atomic<bool> churn{true};
    std::atomic<int> faults{0};
    std::thread user([&] {
        std::mt19937 rng(7);
        std::vector<WindowHandle> open;
        while (churn) {
            const std::size_t i = open.empty() ? 0 : rng() % open.size();
            switch (open.empty() ? 0 : rng() % 5) {
                case 0: open.push_back(desktop.open(rng() % 2 ? "Edit" : "Other", "doc " + std::to_string(rng() % 3))); break;
                case 1: desktop.retitle(open[i], "doc " + std::to_string(rng() % 3)); break;
                case 2: desktop.hide(open[i]); break;
                case 3: desktop.userShow(open[i], 1 + rng() % 3); break;
                case 4: desktop.close(open[i]); open.erase(open.begin() + static_cast<std::ptrdiff_t>(i)); break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    std::thread dialog([&] {
        std::mt19937 rng(11);
        while (churn) {
            std::vector<WindowRule> copy;
            WithFlag(shared, [&] {
                if (!NoHandleTwice(shared)) ++faults;
                copy = shared.table.copy();
            });
            if (rng() % 3 == 0 && copy.size() > 1) copy.pop_back();
            else if (copy.size() < 8) copy.push_back(rules()[rng() % 3]);
            WithFlag(shared, [&] { shared.table.installKeepingBindings(copy); });
            if (CorrectNow(shared) != CorrectNowResult::Marked) ++faults;  // the workers hold the flag briefly
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    churn = false;
    user.join();
    dialog.join();
    EXPECT_EQ(faults, 0) << "a handle was bound twice to one rule, or a correction request gave up";

    // At rest, a CorrectNow moves every window the move rule has bound.
    desktop.open("Edit", "at rest");
    WithFlag(shared, [&] { shared.table.installKeepingBindings(rules()); });
    ASSERT_TRUE(WaitForCycles(shared, 3));
    std::vector<WindowHandle> bound;
    WithFlag(shared, [&] {
        for (const BoundWindow& b : shared.table[0].boundWindows) bound.push_back(b.handle);
    });
    ASSERT_FALSE(bound.empty());
    for (WindowHandle w : bound) desktop.userMove(w, Rect{0, 0, 100, 100});
    desktop.clearLog();
    ASSERT_EQ(CorrectNow(shared), CorrectNowResult::Marked);
    for (WindowHandle w : bound) {
        const std::string move = std::string(" ").append(desktop.name(w)).append("M10,20,640,480");
        EXPECT_TRUE(WaitUntil([&] { return std::string(" ").append(desktop.log()).find(move) != std::string::npos; }))
            << desktop.name(w) << " was marked but never corrected";
    }
    // A table that shrinks under running workers.
    for (int round = 0; round < 50; ++round) {
        WithFlag(shared, [&] { shared.table.installKeepingBindings({MoveRule()}); });
        WithFlag(shared, [&] { shared.table.installKeepingBindings(rules()); });
    }
    ASSERT_TRUE(WaitForCycles(shared, 2));
}

}  // namespace
}  // namespace torvane
