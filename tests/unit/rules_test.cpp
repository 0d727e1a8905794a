// The rule, the rule table and the busy flag.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "rules/rule_table.h"

namespace torvane {
namespace {

std::vector<WindowHandle> Handles(const WindowRule& r) {
    std::vector<WindowHandle> out;
    for (const BoundWindow& b : r.boundWindows) out.push_back(b.handle);
    return out;
}

TEST(Rule, StartsWithTheLoaderDefaultsAndBindsInWholeSteps) {
    WindowRule r = WindowRule::Named("Notepad");
    EXPECT_EQ(r.className.view(), "Notepad");
    EXPECT_TRUE(r.title.empty());
    EXPECT_EQ(r.usclsttle, 2);
    EXPECT_EQ(r.state, -1);
    EXPECT_EQ(r.left | r.top | r.width | r.height, 0);
    EXPECT_EQ(r.options, opt::fstforce);
    FixedText t{std::string(300, 'a')};
    EXPECT_EQ(t.view().size(), 255u);
    t.assign(std::string_view("ab\0cd", 5));
    EXPECT_EQ(t.view(), "ab");

    Placement p;
    for (WindowHandle h : {10, 20, 30}) {
        p.showCmd = static_cast<std::uint32_t>(h / 10);
        EXPECT_TRUE(r.bind(h, p));
    }
    p.showCmd = 9;
    EXPECT_FALSE(r.bind(20, p) || r.bind(10, p)) << "a handle is bound at most once";
    EXPECT_EQ(r.boundWindows[1].lastPlacement.showCmd, 2u) << "and the entry is not overwritten";
    EXPECT_EQ(r.boundWindows[0].flags, BoundWindow::kPending) << "the mark follows fstforce";
    r.set(opt::fstforce, false);
    r.bind(40, p);
    EXPECT_EQ(r.boundWindows[3].flags, 0u);
    r.unbindAt(1);
    EXPECT_EQ(Handles(r), (std::vector<WindowHandle>{10, 30, 40}));
    r.unbindAt(5);  // out of range: nothing
    for (int i = 0; i < 3; ++i) r.unbindAt(0);
    EXPECT_TRUE(r.boundWindows.empty());
}

TEST(Table, CopiesAreIndependentAndAnInstallTakesTheLiveListsByIdentity) {
    RuleTable table;
    EXPECT_EQ(table.count(), 0);
    table.install({WindowRule::Named("a"), WindowRule::Named("b"), WindowRule::Named("c")});
    EXPECT_EQ(table.count(), 3);
    table[0].bind(1, {});
    std::vector<WindowRule> edited = table.copy();  // the dialog's working copy
    EXPECT_EQ(edited[0].identity, table[0].identity);
    edited[0].settingName.assign("changed");
    EXPECT_EQ(table[0].settingName.view(), "a");

    // While the dialog is open the scan goes on in the live table.
    table[0].bind(2, {});
    table[0].boundWindows[1].setPending(false);
    table[1].bind(3, {});
    table[2].bind(4, {});
    table[0].unbindAt(0);
    EXPECT_EQ(Handles(edited[0]), std::vector<WindowHandle>{1}) << "the copy is not touched";

    // The user moves "c" up, removes "b", duplicates "a" and adds a new rule.
    std::vector<WindowRule> installed{edited[2], edited[0], edited[0], WindowRule::Named("new")};
    installed[1].left = 99;
    table.installKeepingBindings(installed);
    ASSERT_EQ(table.count(), 4);
    EXPECT_EQ(Handles(table[0]), std::vector<WindowHandle>{4});
    EXPECT_EQ(Handles(table[1]), std::vector<WindowHandle>{2}) << "the current list, not the stale copy";
    EXPECT_FALSE(table[1].boundWindows[0].pending()) << "flags come over with the list";
    EXPECT_EQ(table[1].left, 99) << "the edited values are installed";
    EXPECT_EQ(table[1].settingName.view(), "changed");
    EXPECT_TRUE(table[2].boundWindows.empty()) << "a list is taken over once";
    EXPECT_TRUE(table[3].boundWindows.empty()) << "a new rule starts empty";
    // A rule whose live original is gone starts empty too.
    table.install({table[3], table[2]});
    table[0].bind(9, {});
    table.installKeepingBindings({installed[0]});
    EXPECT_TRUE(table[0].boundWindows.empty());
    table.release();
    EXPECT_EQ(table.count(), 0);
    EXPECT_TRUE(table.rules().empty());
}

TEST(Table, OptionsStartZeroAndHaveTheirDefaults) {
    SystemConfig zero;
    EXPECT_FALSE(zero.Enabled || zero.TaskIcon || zero.ShcutCtrl || zero.ShcutKey);
    SystemConfig d = SystemConfig::Defaults();
    EXPECT_TRUE(d.Enabled && d.TaskIcon && d.ShcutCtrl && d.ShcutAlt && d.ShcutShift);
    EXPECT_FALSE(d.ShcutWin);
    EXPECT_EQ(d.ShcutKey, 32);
    SystemConfig copy = d;
    copy.Enabled = false;
    EXPECT_TRUE(d.Enabled) << "copies of the options are independent";
    EXPECT_FALSE(copy == d);
}

// Five threads take and release the flag around a plain counter: under the
// thread sanitizer a gap in the protocol shows as a race, in any build a lost
// update shows in the count.
TEST(BusyFlag, OneHolderAtATime) {
    BusyFlag flag;
    {
        BusyGuard g = BusyGuard::tryTake(flag);
        EXPECT_TRUE(g.owns());
        EXPECT_FALSE(BusyGuard::tryTake(flag).owns());
        EXPECT_FALSE(flag.tryTakeWithRetests(101));
    }
    EXPECT_FALSE(flag.isHeld());
    long counter = 0;  // deliberately not atomic
    std::vector<std::thread> threads;
    for (int t = 0; t < 5; ++t) {
        threads.emplace_back([&, t] {
            for (int done = 0; done < 20000;) {
                if (!(t % 2 == 0 ? flag.tryTake() : flag.tryTakeWithRetests(101))) {
                    std::this_thread::yield();
                    continue;
                }
                BusyGuard guard(flag);
                counter = counter + 1;
                ++done;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(counter, 5L * 20000);
    EXPECT_FALSE(flag.isHeld());
}

}  // namespace
}  // namespace torvane
