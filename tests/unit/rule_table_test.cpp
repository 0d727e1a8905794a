// The rule table: rules, binding steps, copies and installing a new table.
#include <gtest/gtest.h>

#include <vector>

#include "rules/rule_table.h"

namespace torvane {
namespace {

Placement PlacementWith(std::uint32_t showCmd) {
    Placement p;
    p.showCmd = showCmd;
    return p;
}

std::vector<WindowHandle> Handles(const WindowRule& r) {
    std::vector<WindowHandle> out;
    for (const BoundWindow& b : r.boundWindows) out.push_back(b.handle);
    return out;
}

TEST(WindowRuleTest, NamedRuleHasTheLoaderDefaults) {
    WindowRule r = WindowRule::Named("Notepad");
    EXPECT_EQ(r.settingName.view(), "Notepad");
    EXPECT_EQ(r.className.view(), "Notepad");
    EXPECT_TRUE(r.title.empty());
    EXPECT_EQ(r.usclsttle, 2);
    EXPECT_EQ(r.state, -1);
    EXPECT_EQ(r.left | r.top | r.width | r.height, 0);
    EXPECT_EQ(r.options, opt::fstforce);
    EXPECT_TRUE(r.boundWindows.empty());
}

TEST(WindowRuleTest, FixedTextKeepsAtMost255BytesAndStopsAtNul) {
    FixedText t{std::string(300, 'a')};
    EXPECT_EQ(t.view().size(), 255u);
    t.assign(std::string_view("ab\0cd", 5));
    EXPECT_EQ(t.view(), "ab");
    t.assign("");
    EXPECT_TRUE(t.empty());
}

TEST(WindowRuleTest, BindingAppendsUnbindingKeepsOrder) {
    WindowRule r = WindowRule::Named("x");
    EXPECT_TRUE(r.bind(10, PlacementWith(1)));
    EXPECT_TRUE(r.bind(20, PlacementWith(2)));
    EXPECT_TRUE(r.bind(30, PlacementWith(3)));
    EXPECT_FALSE(r.bind(20, PlacementWith(1))) << "a handle is bound at most once";
    EXPECT_EQ(Handles(r), (std::vector<WindowHandle>{10, 20, 30}));
    EXPECT_EQ(r.boundWindows[1].lastPlacement.showCmd, 2u) << "the second bind must not overwrite the entry";
    r.unbindAt(1);
    EXPECT_EQ(Handles(r), (std::vector<WindowHandle>{10, 30}));
    r.unbindAt(5);  // out of range: nothing
    r.unbindAt(0);
    r.unbindAt(0);
    EXPECT_TRUE(r.boundWindows.empty());
}

TEST(WindowRuleTest, PendingAtBindingFollowsFstforce) {
    WindowRule on = WindowRule::Named("x");
    WindowRule off = WindowRule::Named("x");
    off.set(opt::fstforce, false);
    on.bind(1, {});
    off.bind(1, {});
    EXPECT_EQ(on.boundWindows[0].flags, BoundWindow::kPending);
    EXPECT_EQ(off.boundWindows[0].flags, 0u);
}

TEST(RuleTableTest, WorkingCopyIsIndependentOfLaterBinding) {
    RuleTable table;
    std::vector<WindowRule> rules{WindowRule::Named("a"), WindowRule::Named("b")};
    table.install(rules);
    table[0].bind(1, {});
    std::vector<WindowRule> copy = table.copy();
    table[0].bind(2, {});
    table[0].unbindAt(0);
    table[1].bind(3, {});
    EXPECT_EQ(Handles(copy[0]), std::vector<WindowHandle>{1});
    EXPECT_TRUE(copy[1].boundWindows.empty());
    copy[0].settingName.assign("changed");
    EXPECT_EQ(table[0].settingName.view(), "a");
    EXPECT_EQ(copy[0].identity, table[0].identity) << "a copy keeps the rules' identities";
}

TEST(RuleTableTest, CountFollowsInstallAndRelease) {
    RuleTable table;
    EXPECT_EQ(table.count(), 0);
    table.install({WindowRule::Named("a"), WindowRule::Named("b"), WindowRule::Named("c")});
    EXPECT_EQ(table.count(), 3);
    table.install({WindowRule::Named("a")});
    EXPECT_EQ(table.count(), 1);
    table.release();
    EXPECT_EQ(table.count(), 0);
    EXPECT_TRUE(table.rules().empty());
}

TEST(RuleTableTest, InstallKeepingBindingsTakesTheLiveListsByIdentity) {
    RuleTable table;
    table.install({WindowRule::Named("a"), WindowRule::Named("b"), WindowRule::Named("c")});
    std::vector<WindowRule> edited = table.copy();  // the dialog's working copy

    // While the dialog is open the scan goes on in the live table.
    table[0].bind(1, {});
    table[0].bind(2, {});
    table[0].boundWindows[1].setPending(false);
    table[1].bind(3, {});
    table[2].bind(4, {});
    table[0].unbindAt(0);

    // The user moves "c" up, removes "b", duplicates "a" and adds a new rule.
    std::vector<WindowRule> installed{edited[2], edited[0], edited[0], WindowRule::Named("new")};
    installed[1].left = 99;
    table.installKeepingBindings(installed);

    ASSERT_EQ(table.count(), 4);
    EXPECT_EQ(Handles(table[0]), std::vector<WindowHandle>{4});
    EXPECT_EQ(Handles(table[1]), std::vector<WindowHandle>{2}) << "the current list, not the stale copy";
    EXPECT_FALSE(table[1].boundWindows[0].pending()) << "flags come over with the list";
    EXPECT_EQ(table[1].left, 99) << "the edited values are installed";
    EXPECT_TRUE(table[2].boundWindows.empty()) << "a list is taken over once";
    EXPECT_TRUE(table[3].boundWindows.empty()) << "a new rule starts empty";
}

TEST(RuleTableTest, SystemConfigStartsZeroAndHasTheDefaults) {
    SystemConfig zero;
    EXPECT_FALSE(zero.Enabled);
    EXPECT_FALSE(zero.TaskIcon);
    EXPECT_EQ(zero.ShcutKey, 0);
    SystemConfig d = SystemConfig::Defaults();
    EXPECT_TRUE(d.Enabled);
    EXPECT_TRUE(d.TaskIcon);
    EXPECT_TRUE(d.ShcutCtrl && d.ShcutAlt && d.ShcutShift);
    EXPECT_FALSE(d.ShcutWin);
    EXPECT_EQ(d.ShcutKey, 32);
    SystemConfig copy = d;
    copy.Enabled = false;
    EXPECT_TRUE(d.Enabled) << "copies of the options are independent";
}

}  // namespace
}  // namespace torvane
