// The workers under load: windows open, change title, hide and close while the
// four workers run and a fifth thread keeps installing new tables and asking
// for corrections. Run under the thread and address sanitizers as well.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/corrections.h"
#include "engine/workers.h"
#include "support/engine_helpers.h"
#include "support/fake_desktop.h"
#include "support/wait.h"

namespace torvane {
namespace {

using testing::FakeDesktop;
using testing::WaitUntil;
using testing::WithFlag;
using Op = FakeDesktop::Op;

constexpr Rect kTarget{10, 20, 650, 500};

std::vector<WindowRule> Rules() {
    // The rule the final check follows.
    WindowRule move = testing::RuleFor("Edit", testing::kMoveAll, kTarget);

    WindowRule lock = WindowRule::Named("lock");
    lock.title.assign("doc 1");
    lock.usclsttle = match::kTitle;
    lock.options = opt::lmovey;
    lock.top = 30;

    WindowRule watch = WindowRule::Named("Edit");
    watch.options = opt::fstforce | opt::msfstt | opt::forcestt;
    watch.state = show::kNormal;

    WindowRule both = WindowRule::Named("both");
    both.className.assign("Edit");
    both.title.assign("doc 2");
    both.usclsttle = match::kBoth;
    return {move, lock, watch, both};
}

bool NoHandleTwice(const Shared& shared) {
    for (const WindowRule& rule : shared.table.rules()) {
        for (std::size_t i = 0; i < rule.boundWindows.size(); ++i) {
            for (std::size_t j = i + 1; j < rule.boundWindows.size(); ++j) {
                if (rule.boundWindows[i].handle == rule.boundWindows[j].handle) return false;
            }
        }
    }
    return true;
}

TEST(WorkersStressTest, DesktopChurnTableReplacementAndCorrectNow) {
    Shared shared;
    shared.PollInterval = 3;
    shared.config = SystemConfig::Defaults();
    shared.table.install(Rules());
    FakeDesktop desktop;
    desktop.setRecording(false);
    testing::NoTray tray;
    StartWorkers(shared, desktop, tray);

    std::atomic<bool> churn{true};
    std::atomic<int> duplicates{0};
    std::atomic<int> gaveUp{0};

    std::thread user([&] {
        std::mt19937 rng(7);
        std::vector<WindowHandle> open;
        while (churn) {
            switch (rng() % 6) {
                case 0:
                case 1: open.push_back(desktop.open(rng() % 2 ? "Edit" : "Other", "doc " + std::to_string(rng() % 3)));
                        break;
                case 2: if (!open.empty()) desktop.retitle(open[rng() % open.size()], "doc " + std::to_string(rng() % 3));
                        break;
                case 3: if (!open.empty()) desktop.hide(open[rng() % open.size()]);
                        break;
                case 4: if (!open.empty()) desktop.userShow(open[rng() % open.size()], 1 + rng() % 3);
                        break;
                case 5: if (!open.empty()) {
                            std::size_t i = rng() % open.size();
                            desktop.close(open[i]);
                            open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
                        }
                        break;
            }
            if (open.size() > 40) {
                desktop.close(open.front());
                open.erase(open.begin());
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });

    std::thread dialog([&] {
        std::mt19937 rng(11);
        while (churn) {
            // Take a working copy, edit it, install it keeping the bindings.
            std::vector<WindowRule> copy;
            WithFlag(shared, [&] {
                if (!NoHandleTwice(shared)) ++duplicates;
                copy = shared.table.copy();
            });
            if (rng() % 3 == 0 && copy.size() > 1) copy.pop_back();
            else if (copy.size() < 8) copy.push_back(Rules()[rng() % 4]);
            WithFlag(shared, [&] { shared.table.installKeepingBindings(copy); });
            if (CorrectNow(shared) == CorrectNowResult::GaveUp) ++gaveUp;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });

    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    churn = false;
    user.join();
    dialog.join();
    EXPECT_EQ(duplicates, 0) << "a handle was bound twice to one rule";
    RecordProperty("correct_now_gave_up", gaveUp.load());

    // No mark is lost: with the desktop at rest and the table back to the
    // first rules, every window that the move rule has bound is moved after
    // a CorrectNow.
    WithFlag(shared, [&] { shared.table.installKeepingBindings(Rules()); });
    ASSERT_TRUE(testing::WaitForCycles(shared, 3));
    desktop.setRecording(true);
    desktop.clearCalls();
    ASSERT_EQ(CorrectNow(shared), CorrectNowResult::Marked);
    std::vector<WindowHandle> marked;
    WithFlag(shared, [&] {
        for (const BoundWindow& b : shared.table[0].boundWindows) marked.push_back(b.handle);
    });
    ASSERT_FALSE(marked.empty());
    for (WindowHandle w : marked) {
        EXPECT_TRUE(WaitUntil([&] {
            for (const auto& c : desktop.callsFor(w)) {
                if (c.op == Op::MoveWindow && c.a == kTarget.left && c.b == kTarget.top) return true;
            }
            return false;
        })) << "window " << w << " was marked but never corrected";
    }

    StopWorkers(shared);
    ASSERT_TRUE(WaitUntil([&] { return !AnyWorkerAlive(shared); }));
    EXPECT_FALSE(shared.busy.isHeld());
}

}  // namespace
}  // namespace torvane
