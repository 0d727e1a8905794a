// The four workers in this process, on the user32 window operations, against
// real windows of another process: placed when they open, held by a lock,
// corrected on a restore, kept in their state.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/win32_window_system.h"
#include "engine/workers.h"
#include "support.h"
#include "test_main.h"
#include "support/engine_helpers.h"

namespace torvane {
namespace {

using namespace wine_test;

constexpr RECT kTarget{50, 60, 350, 260};

using testing::kMoveAll;
using testing::NoTray;

WindowRule RuleFor(const std::string& className, std::uint32_t options, std::int32_t state = -1) {
    return testing::RuleFor(className, options, Rect{kTarget.left, kTarget.top, kTarget.right, kTarget.bottom}, state);
}

RECT RectOf(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}
bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
UINT ShowCmdOf(HWND window) {
    WINDOWPLACEMENT p{};
    p.length = sizeof p;
    ::GetWindowPlacement(window, &p);
    return p.showCmd;
}

class EngineUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        shared.PollInterval = 10;
        shared.config = SystemConfig::Defaults();
        className = Unique("Torvane.Engine");
    }
    void TearDown() override {
        StopWorkers(shared);
        EXPECT_TRUE(WaitFor([&] { return !AnyWorkerAlive(shared); }));
    }

    // Starts the workers with one rule and opens its window in a second process.
    HWND start(const WindowRule& rule) {
        shared.table.install({rule});
        StartWorkers(shared, windows, tray);
        child = std::make_unique<ChildWindow>(className, "doc");
        if (!child->started() || !child->WaitReady()) return nullptr;
        return ::FindWindowA(className.c_str(), "doc");
    }
    // Waits until every worker has looked `cycles` more times.
    bool cycles(std::uint64_t n) {
        const std::uint64_t scan = shared.scanThread.Cycles + n;
        const std::uint64_t watch = shared.stateWatchThread.Cycles + n;
        return WaitFor([&] { return shared.scanThread.Cycles >= scan && shared.stateWatchThread.Cycles >= watch; });
    }

    Shared shared;
    Win32WindowSystem windows;
    NoTray tray;
    std::string className;
    std::unique_ptr<ChildWindow> child;
};

TEST_F(EngineUnderWine, AWindowOfAnotherProcessIsPlacedWhenItOpens) {
    HWND window = start(RuleFor(className, opt::fstforce | kMoveAll));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return Same(RectOf(window), kTarget); }));
    // Once: the user may move it afterwards.
    ::MoveWindow(window, 400, 300, 200, 150, TRUE);
    ASSERT_TRUE(cycles(5));
    EXPECT_TRUE(Same(RectOf(window), RECT{400, 300, 600, 450}));
}

TEST_F(EngineUnderWine, ALockedWindowComesBack) {
    HWND window = start(RuleFor(className, opt::lmovex | opt::lmovey));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return RectOf(window).left == 50 && RectOf(window).top == 60; }));
    ::MoveWindow(window, 500, 400, 200, 100, TRUE);
    // Held at left and top; its new size is the user's.
    EXPECT_TRUE(WaitFor([&] { return Same(RectOf(window), RECT{50, 60, 250, 160}); }));
}

TEST_F(EngineUnderWine, ARestoredWindowIsPlacedAgain) {
    HWND window = start(RuleFor(className, opt::msfstt | kMoveAll));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(cycles(3));
    EXPECT_FALSE(Same(RectOf(window), kTarget)) << "not corrected when it opened";
    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(cycles(3));  // the state watch has seen it minimized
    ::ShowWindow(window, SW_SHOWNORMAL);
    EXPECT_TRUE(WaitFor([&] { return Same(RectOf(window), kTarget); }));
    EXPECT_EQ(ShowCmdOf(window), static_cast<UINT>(SW_SHOWNORMAL));
}

TEST_F(EngineUnderWine, AWindowIsKeptMaximized) {
    HWND window = start(RuleFor(className, opt::fstforce | opt::forcestt, 3));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return ShowCmdOf(window) == SW_SHOWMAXIMIZED; }));
    ::ShowWindow(window, SW_MINIMIZE);
    EXPECT_EQ(ShowCmdOf(window), static_cast<UINT>(SW_SHOWMINIMIZED));
    EXPECT_TRUE(WaitFor([&] { return ShowCmdOf(window) == SW_SHOWMAXIMIZED; }));
}

TEST_F(EngineUnderWine, AClosedWindowIsUnbound) {
    HWND window = start(RuleFor(className, opt::lmovex | opt::lmovey | opt::msfstt | opt::forcestt, 1));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitFor([&] {
        BusyGuard guard = BusyGuard::tryTake(shared.busy);
        return guard && shared.table[0].boundWindows.size() == 1;
    }));
    EXPECT_EQ(child->Close(window), 0u);
    EXPECT_TRUE(WaitFor([&] {
        BusyGuard guard = BusyGuard::tryTake(shared.busy);
        return guard && shared.table[0].boundWindows.empty();
    }));
}

}  // namespace
}  // namespace torvane

int main(int argc, char** argv) { return torvane::wine_test::RunTestProgram(argc, argv); }
