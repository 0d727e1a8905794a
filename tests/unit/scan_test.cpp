// The scan pass against the fake desktop: matching, binding, unbinding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/scan.h"
#include "support/fake_desktop.h"

namespace torvane {
namespace {

using testing::FakeDesktop;
using Op = FakeDesktop::Op;

WindowRule ClassRule(const std::string& cls, std::uint32_t options = opt::fstforce) {
    WindowRule r = WindowRule::Named(cls);
    r.options = options;
    return r;
}

WindowRule TitleRule(const std::string& title, std::int32_t mode = match::kTitle, const std::string& cls = "") {
    WindowRule r = WindowRule::Named("rule");
    r.title.assign(title);
    r.className.assign(cls);
    r.usclsttle = mode;
    return r;
}

class ScanTest : public ::testing::Test {
protected:
    void install(std::vector<WindowRule> rules) { shared.table.install(std::move(rules)); }
    std::vector<WindowHandle> bound(std::size_t rule) {
        std::vector<WindowHandle> out;
        for (const BoundWindow& b : shared.table[rule].boundWindows) out.push_back(b.handle);
        return out;
    }
    const BoundWindow& entry(std::size_t rule, std::size_t i) { return shared.table[rule].boundWindows.at(i); }
    void pass() { ASSERT_EQ(ScanPass(shared, desktop), 1); }

    Shared shared;
    FakeDesktop desktop;
};

TEST(RuleMatchingTest, MatchModeDecidesWhichTextsCount) {
    struct Case {
        std::int32_t mode;
        bool classEqual;
        bool titleEqual;
        bool matches;
    };
    const Case cases[] = {
        {2, true, false, true},   {2, false, true, false},  {1, false, true, true},   {1, true, false, false},
        {3, true, true, true},    {3, true, false, false},  {3, false, true, false},  {7, true, true, true},
        {11, true, true, true},   {-1, true, true, true},   {-1, true, false, false}, {0, true, true, false},
        {4, true, true, false},   {5, true, true, false},   {6, true, true, false},   {-2, true, true, false},
    };
    for (const Case& c : cases) {
        WindowRule r = WindowRule::Named("Cls");
        r.title.assign("Title");
        r.usclsttle = c.mode;
        EXPECT_EQ(RuleMatches(r, c.classEqual ? "Cls" : "Other", c.titleEqual ? "Title" : "Other"), c.matches)
            << "mode " << c.mode << " class " << c.classEqual << " title " << c.titleEqual;
    }
}

TEST(RuleMatchingTest, EqualityIsWholeStringBytes) {
    WindowRule r = WindowRule::Named("Notepad");
    EXPECT_TRUE(RuleMatches(r, "Notepad", ""));
    EXPECT_FALSE(RuleMatches(r, "notepad", ""));
    EXPECT_FALSE(RuleMatches(r, "Notepad ", ""));
    EXPECT_FALSE(RuleMatches(r, "Note", ""));
    // Code page 932 bytes, compared as they are ("表示" with its 0x5C second byte).
    WindowRule sjis = TitleRule("\x95\x5C\x8E\xA6");
    EXPECT_TRUE(RuleMatches(sjis, "", "\x95\x5C\x8E\xA6"));
    EXPECT_FALSE(RuleMatches(sjis, "", "\x95\x5C\x8E"));
    // An empty rule title equals only an empty window title.
    WindowRule empty = TitleRule("");
    EXPECT_TRUE(RuleMatches(empty, "", ""));
    EXPECT_FALSE(RuleMatches(empty, "", "x"));
}

TEST_F(ScanTest, BindsVisibleMatchingWindowsInEnumerationOrder) {
    install({ClassRule("Edit")});
    WindowHandle back = desktop.open("Edit", "b");
    WindowHandle other = desktop.open("Static", "s");
    WindowHandle front = desktop.open("Edit", "f");
    WindowHandle hidden = desktop.open("Edit", "h", FakeDesktop::kDefaultRect, false);
    pass();
    EXPECT_EQ(bound(0), (std::vector<WindowHandle>{front, back}));
    (void)other;
    (void)hidden;
    EXPECT_TRUE(entry(0, 0).pending());
    EXPECT_EQ(entry(0, 0).lastPlacement.showCmd, 1u);
}

TEST_F(ScanTest, BindingReadsOnlyWhatItNeedsInOrder) {
    install({ClassRule("Edit")});
    WindowHandle w = desktop.open("Edit", "t");
    WindowHandle h = desktop.open("Edit", "t", FakeDesktop::kDefaultRect, false);
    desktop.clearCalls();
    pass();
    const std::vector<FakeDesktop::Call> expected = {
        {Op::EnumWindows},
        {Op::IsWindowVisible, h},
        {Op::IsWindowVisible, w},
        {Op::GetClassNameA, w, 255},
        {Op::GetWindowTextA, w, 255},
        {Op::GetWindowPlacement, w},
        // unbinding phase: title first, then visibility
        {Op::GetWindowTextA, w, 255},
        {Op::IsWindowVisible, w},
    };
    EXPECT_EQ(desktop.calls(), expected);
}

TEST_F(ScanTest, PendingFollowsFstforceAndPlacementIsRecordedAtBinding) {
    install({ClassRule("Edit", opt::fstforce), ClassRule("Edit", 0)});
    WindowHandle w = desktop.open("Edit", "t");
    desktop.userShow(w, show::kMinimize);
    pass();
    EXPECT_TRUE(entry(0, 0).pending());
    EXPECT_FALSE(entry(1, 0).pending());
    // A minimized window counts as visible and is recorded as minimized.
    EXPECT_EQ(entry(0, 0).lastPlacement.showCmd, 2u);
}

TEST_F(ScanTest, NeverBindsAHandleTwiceAndKeepsFlagsAcrossPasses) {
    install({ClassRule("Edit")});
    WindowHandle w = desktop.open("Edit", "t");
    pass();
    shared.table[0].boundWindows[0].setPending(false);
    for (int i = 0; i < 5; ++i) pass();
    EXPECT_EQ(bound(0), std::vector<WindowHandle>{w});
    EXPECT_FALSE(entry(0, 0).pending()) << "a window that stayed bound is not new again";
}

TEST_F(ScanTest, OneWindowMatchingTwoRulesIsInBothLists) {
    install({ClassRule("Edit"), TitleRule("doc"), ClassRule("Other")});
    WindowHandle w = desktop.open("Edit", "doc");
    pass();
    EXPECT_EQ(bound(0), std::vector<WindowHandle>{w});
    EXPECT_EQ(bound(1), std::vector<WindowHandle>{w});
    EXPECT_TRUE(bound(2).empty());
}

TEST_F(ScanTest, UnbindsClosedAndHiddenWindowsInOnePassKeepingOrder) {
    install({ClassRule("Edit")});
    WindowHandle a = desktop.open("Edit", "a");
    WindowHandle b = desktop.open("Edit", "b");
    WindowHandle c = desktop.open("Edit", "c");
    WindowHandle d = desktop.open("Edit", "d");
    pass();
    ASSERT_EQ(bound(0), (std::vector<WindowHandle>{d, c, b, a}));
    // Two adjacent entries go at once, and so does the last one.
    desktop.close(c);
    desktop.hide(b);
    desktop.close(a);
    pass();
    EXPECT_EQ(bound(0), std::vector<WindowHandle>{d});
    desktop.close(d);
    pass();
    EXPECT_TRUE(bound(0).empty());
}

TEST_F(ScanTest, HiddenAndShownAgainIsBoundAnewAtTheEnd) {
    install({ClassRule("Edit")});
    WindowHandle a = desktop.open("Edit", "a");
    WindowHandle b = desktop.open("Edit", "b");
    pass();
    ASSERT_EQ(bound(0), (std::vector<WindowHandle>{b, a}));
    shared.table[0].boundWindows[0].setPending(false);
    desktop.hide(b);
    pass();
    EXPECT_EQ(bound(0), std::vector<WindowHandle>{a});
    desktop.show(b);
    pass();
    EXPECT_EQ(bound(0), (std::vector<WindowHandle>{a, b}));
    EXPECT_TRUE(entry(0, 1).pending()) << "a window shown again counts as newly opened";
}

TEST_F(ScanTest, TitleChangeUnbindsTitleRulesOnly) {
    install({ClassRule("Edit"), TitleRule("doc"), TitleRule("doc", match::kBoth, "Edit")});
    WindowHandle w = desktop.open("Edit", "doc");
    pass();
    desktop.retitle(w, "doc - changed");
    pass();
    EXPECT_EQ(bound(0), std::vector<WindowHandle>{w});
    EXPECT_TRUE(bound(1).empty());
    EXPECT_TRUE(bound(2).empty());
    desktop.retitle(w, "doc");
    pass();
    EXPECT_EQ(bound(1), std::vector<WindowHandle>{w});
    EXPECT_EQ(bound(2), std::vector<WindowHandle>{w});
}

TEST_F(ScanTest, ClassIsNotCheckedAgainWhenUnbinding) {
    // A hand-edited mode 7 has bit 0 set: the title decides whether it stays bound.
    install({TitleRule("doc", 7, "Edit")});
    WindowHandle w = desktop.open("Edit", "doc");
    pass();
    ASSERT_EQ(bound(0), std::vector<WindowHandle>{w});
    desktop.retitle(w, "x");
    pass();
    EXPECT_TRUE(bound(0).empty());
}

TEST_F(ScanTest, EdgesOfMatching) {
    WindowRule untitled = TitleRule("");
    WindowRule never = ClassRule("Edit");
    never.usclsttle = 0;
    std::string longTitle(255, 'x');
    WindowRule tooLong = TitleRule(longTitle);
    install({untitled, never, tooLong, ClassRule("Shell_TrayWnd")});
    WindowHandle noTitle = desktop.open("Edit", "");
    WindowHandle titled = desktop.open("Edit", "t");
    desktop.open("Edit", longTitle);  // read back as 254 bytes
    WindowHandle taskbar = desktop.open("Shell_TrayWnd", "");
    pass();
    EXPECT_EQ(bound(0), (std::vector<WindowHandle>{taskbar, noTitle}));
    (void)titled;
    EXPECT_TRUE(bound(1).empty());
    EXPECT_TRUE(bound(2).empty());
    EXPECT_EQ(bound(3), std::vector<WindowHandle>{taskbar});
}

TEST_F(ScanTest, SkipsThePassWhenTheBusyFlagIsHeld) {
    install({ClassRule("Edit")});
    desktop.open("Edit", "t");
    ASSERT_TRUE(shared.busy.tryTake());
    desktop.clearCalls();
    EXPECT_EQ(ScanPass(shared, desktop), 0);
    EXPECT_TRUE(desktop.calls().empty());
    EXPECT_TRUE(bound(0).empty());
    EXPECT_TRUE(shared.busy.isHeld()) << "a skipped pass must not release someone else's flag";
    shared.busy.release();
    pass();
    EXPECT_FALSE(shared.busy.isHeld());
    EXPECT_EQ(bound(0).size(), 1u);
}

TEST_F(ScanTest, WindowVanishingDuringThePassIsDroppedSoundly) {
    install({ClassRule("Edit"), ClassRule("Edit")});
    WindowHandle a = desktop.open("Edit", "a");
    WindowHandle b = desktop.open("Edit", "b");
    // b closes while its placement is being read for the first rule: both rules
    // bind it by the names read before, and the same pass's unbinding phase
    // drops it again from both lists.
    desktop.setHook([&](const FakeDesktop::Call& call) {
        if (call.op == Op::GetWindowPlacement && call.window == b) desktop.close(b);
    });
    pass();
    EXPECT_EQ(bound(0), std::vector<WindowHandle>{a});
    EXPECT_EQ(bound(1), std::vector<WindowHandle>{a});
}

TEST_F(ScanTest, EmptyTableOnlyEnumerates) {
    desktop.open("Edit", "a");
    desktop.clearCalls();
    pass();
    for (const FakeDesktop::Call& c : desktop.calls()) {
        EXPECT_TRUE(c.op == Op::EnumWindows || c.op == Op::IsWindowVisible || c.op == Op::GetClassNameA ||
                    c.op == Op::GetWindowTextA);
    }
}

}  // namespace
}  // namespace torvane
