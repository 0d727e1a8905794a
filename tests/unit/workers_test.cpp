// The four workers with real threads on the fake desktop.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/corrections.h"
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
using Op = FakeDesktop::Op;

class CountingTray final : public TrayIconHost {
public:
    void AddTrayIcon() override { ++adds; }
    void RemoveTrayIcon() override { ++removes; }
    std::atomic<int> adds{0};
    std::atomic<int> removes{0};
};

constexpr Rect kTarget{10, 20, 650, 500};

WindowRule MoveRule(std::uint32_t extra = opt::fstforce) {
    return testing::RuleFor("Edit", extra | testing::kMoveAll, kTarget);
}

class WorkersTest : public ::testing::Test {
protected:
    void SetUp() override {
        shared.PollInterval = 2;
        shared.config = SystemConfig::Defaults();
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
    bool at(WindowHandle w, Rect r) { return desktop.window(w).rect == r; }

    Shared shared;
    FakeDesktop desktop;
    CountingTray tray;
    bool started = false;
};

TEST_F(WorkersTest, AnOpeningWindowIsBoundAndCorrected) {
    shared.table.install({MoveRule()});
    start();
    WindowHandle w = desktop.open("Edit", "doc");
    EXPECT_TRUE(WaitUntil([&] { return at(w, kTarget); }));
    // Moved once: the mark is cleared, so the user may move it afterwards.
    desktop.userMove(w, {0, 0, 100, 100});
    ASSERT_TRUE(WaitForCycles(shared, 3));
    EXPECT_EQ(desktop.window(w).rect, (Rect{0, 0, 100, 100}));
}

TEST_F(WorkersTest, ALockedWindowComesBackAndARestoredOneIsCorrected) {
    WindowRule lock = WindowRule::Named("Locked");
    lock.options = opt::lmovex | opt::lmovey;
    lock.left = 5;
    lock.top = 6;
    WindowRule restore = MoveRule(opt::msfstt);
    shared.table.install({lock, restore});
    WindowHandle locked = desktop.open("Locked", "", {100, 100, 300, 300});
    WindowHandle edit = desktop.open("Edit", "doc");
    start();
    EXPECT_TRUE(WaitUntil([&] { return at(locked, {5, 6, 205, 206}); }));
    desktop.userMove(locked, {400, 400, 500, 500});
    EXPECT_TRUE(WaitUntil([&] { return at(locked, {5, 6, 105, 106}); }));

    ASSERT_TRUE(WaitForCycles(shared, 2));
    EXPECT_EQ(desktop.window(edit).rect, FakeDesktop::kDefaultRect) << "fstforce is off";
    desktop.userShow(edit, show::kMinimize);
    ASSERT_TRUE(WaitForCycles(shared, 2));
    desktop.userShow(edit, show::kNormal);
    EXPECT_TRUE(WaitUntil([&] { return at(edit, kTarget); }));
}

TEST_F(WorkersTest, MonitoringOffFreezesEverythingAndOnResumes) {
    shared.table.install({MoveRule(0)});
    WindowHandle kept = desktop.open("Edit", "kept");
    start();
    ASSERT_TRUE(WaitUntil([&] { return shared.table.count() == 1 && !desktop.callsFor(kept).empty(); }));
    shared.config.Enabled = false;
    ASSERT_TRUE(WaitForCycles(shared, 2));
    desktop.clearCalls();
    WindowHandle opened = desktop.open("Edit", "new");
    ASSERT_EQ(CorrectNow(shared), CorrectNowResult::Marked);  // the hotkey works while monitoring is off
    ASSERT_TRUE(WaitForCycles(shared, 5));
    EXPECT_TRUE(desktop.calls().empty()) << "no scan, no step, no taskbar check";
    EXPECT_EQ(desktop.window(kept).rect, FakeDesktop::kDefaultRect);

    shared.config.Enabled = true;
    EXPECT_TRUE(WaitUntil([&] { return at(kept, kTarget); })) << "the mark set while off is carried out";
    ASSERT_TRUE(WaitForCycles(shared, 3));
    EXPECT_EQ(desktop.window(opened).rect, FakeDesktop::kDefaultRect) << "fstforce is off for the new one";
}

TEST_F(WorkersTest, TheTrayIconComesBackWithTheTaskbar) {
    WindowHandle taskbar = desktop.open("Shell_TrayWnd", "");
    start();
    ASSERT_TRUE(WaitForCycles(shared, 2));
    EXPECT_EQ(tray.adds, 0);
    desktop.close(taskbar);
    ASSERT_TRUE(WaitUntil([&] { return !shared.TaskbarPresent.load(); }));
    desktop.open("Shell_TrayWnd", "");
    EXPECT_TRUE(WaitUntil([&] { return tray.adds == 1; }));
    EXPECT_TRUE(shared.TaskbarPresent);
    ASSERT_TRUE(WaitForCycles(shared, 3));
    EXPECT_EQ(tray.adds, 1);
    stop();
    EXPECT_EQ(tray.removes, 1) << "the scan worker removes the icon when it ends";
}

TEST_F(WorkersTest, WithoutTheTrayOptionTheTaskbarIsNotWatched) {
    shared.config.TaskIcon = false;
    start();
    ASSERT_TRUE(WaitForCycles(shared, 3));
    desktop.open("Shell_TrayWnd", "");
    ASSERT_TRUE(WaitForCycles(shared, 3));
    for (const auto& c : desktop.calls()) EXPECT_NE(c.op, Op::FindWindowA);
    EXPECT_EQ(tray.adds, 0);
}

TEST_F(WorkersTest, StopWhileAStepHoldsTheFlagEndsCleanly) {
    shared.table.install({MoveRule()});
    std::atomic<bool> inStep{false};
    desktop.setHook([&](const FakeDesktop::Call& call) {
        if (call.op != Op::MoveWindow || inStep.exchange(true)) return;
        // The step holds the flag now; the stop arrives meanwhile.
        StopWorkers(shared);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    start();
    desktop.open("Edit", "doc");
    ASSERT_TRUE(WaitUntil([&] { return inStep.load(); }));
    EXPECT_TRUE(WaitUntil([&] { return !AnyWorkerAlive(shared); }));
    started = false;
    EXPECT_FALSE(shared.busy.isHeld()) << "the step finished and released the flag";
}

TEST_F(WorkersTest, AStopRightAfterTheStartStillWaitsForEveryWorker) {
    for (int i = 0; i < 20; ++i) {
        Shared s;
        s.PollInterval = 1;
        s.config = SystemConfig::Defaults();
        StartWorkers(s, desktop, tray);
        StopWorkers(s);
        // `s` is destroyed at the end of the loop: the wait must cover workers
        // that have not run their first line yet.
        ASSERT_TRUE(WaitUntil([&] { return !AnyWorkerAlive(s); }));
    }
}

TEST_F(WorkersTest, TheTableShrinksUnderRunningWorkers) {
    std::vector<WindowRule> big;
    for (int i = 0; i < 8; ++i) big.push_back(MoveRule(opt::fstforce | opt::lmovex | opt::msfstt | opt::forcestt));
    shared.table.install(big);
    for (int i = 0; i < 5; ++i) desktop.open("Edit", "doc");
    start();
    for (int round = 0; round < 50; ++round) {
        WithFlag(shared, [&] { shared.table.installKeepingBindings({MoveRule()}); });
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        WithFlag(shared, [&] { shared.table.installKeepingBindings(big); });
    }
    ASSERT_TRUE(WaitForCycles(shared, 2));
}

}  // namespace
}  // namespace torvane
