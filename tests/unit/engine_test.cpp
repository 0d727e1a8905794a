// The scan and the three corrections, as call logs on the fake desktop: each
// case names a rule, one window in a show state, the step, and the calls the
// step must make ("aP aS3 aM10,20,640,480": window a's placement read, shown
// maximized, moved).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/corrections.h"
#include "engine/scan.h"
#include "support/engine_helpers.h"
#include "support/fake_desktop.h"

namespace torvane {
namespace {

using testing::FakeDesktop;
using testing::kMoveAll;
constexpr std::uint32_t kLockAll = opt::lmovex | opt::lmovey | opt::lsizex | opt::lsizey;
constexpr Rect kStart{100, 100, 500, 400};  // 400 x 300
using Step = void (*)(Shared&, WindowSystem&, std::int32_t);

WindowRule Rule(std::uint32_t options, std::int32_t state = -1, Rect target = {10, 20, 650, 500}) {
    return testing::RuleFor("Edit", options, target, state);
}

// A rule for `title` with `mode`, and `cls` as its class.
WindowRule TitleRule(const std::string& title, std::int32_t mode = match::kTitle, const std::string& cls = "") {
    WindowRule r = WindowRule::Named("rule");
    r.title.assign(title);
    r.className.assign(cls);
    r.usclsttle = mode;
    return r;
}

// The windows bound to rule `r`, by their log names: "ba" for b then a.
std::string Bound(const Shared& s, std::size_t r) {
    std::string out;
    for (const BoundWindow& b : s.table.rules()[r].boundWindows) out += FakeDesktop::name(b.handle);
    return out;
}

TEST(Matching, TheMatchModeDecidesWhichTextsCount) {
    const struct {
        std::int32_t mode;
        bool classEqual, titleEqual, matches;
    } cases[] = {
        {2, true, false, true},  {2, false, true, false},  {1, false, true, true}, {1, true, false, false},
        {3, true, true, true},   {3, true, false, false},  {3, false, true, false}, {7, true, true, true},
        {-1, true, true, true},  {-1, true, false, false}, {0, true, true, false}, {4, true, true, false},
        {5, true, true, false},  {6, true, true, false},   {-2, true, true, false},
    };
    for (const auto& c : cases) {
        const WindowRule r = TitleRule("Title", c.mode, "Cls");
        EXPECT_EQ(RuleMatches(r, c.classEqual ? "Cls" : "Other", c.titleEqual ? "Title" : "Other"), c.matches)
            << "mode " << c.mode << " class " << c.classEqual << " title " << c.titleEqual;
    }
    // Whole strings, byte for byte: case, blanks and prefixes count; code page
    // 932 bytes as they are; an empty text equals only an empty one.
    const WindowRule cls = WindowRule::Named("Notepad");
    EXPECT_TRUE(RuleMatches(cls, "Notepad", ""));
    for (const char* other : {"notepad", "Notepad ", "Note"}) EXPECT_FALSE(RuleMatches(cls, other, "")) << other;
    EXPECT_TRUE(RuleMatches(TitleRule("\x95\x5C\x8E\xA6"), "", "\x95\x5C\x8E\xA6"));
    EXPECT_FALSE(RuleMatches(TitleRule("\x95\x5C\x8E\xA6"), "", "\x95\x5C\x8E"));
    EXPECT_TRUE(RuleMatches(TitleRule(""), "", ""));
    EXPECT_FALSE(RuleMatches(TitleRule(""), "", "x"));
}

class Scan : public ::testing::Test {
protected:
    void pass() { ASSERT_EQ(ScanPass(shared, desktop), 1); }
    const BoundWindow& entry(std::size_t rule, std::size_t i) { return shared.table[rule].boundWindows.at(i); }
    Shared shared;
    FakeDesktop desktop;
};

TEST_F(Scan, BindsVisibleMatchingWindowsInZOrderReadingOnlyWhatItNeeds) {
    shared.table.install({WindowRule::Named("Edit")});
    desktop.open("Edit", "a");                                      // a
    desktop.open("Static", "b");                                    // b
    desktop.open("Edit", "c", FakeDesktop::kDefaultRect, false);    // c, hidden
    desktop.userShow(desktop.open("Edit", "d"), show::kMinimize);  // d, minimized counts as visible
    pass();
    EXPECT_EQ(Bound(shared, 0), "da");
    EXPECT_EQ(desktop.log(), "E dV dC dT dP cV bV bC bT aV aC aT aP dT dV aT aV");
    EXPECT_TRUE(entry(0, 0).pending());
    EXPECT_EQ(entry(0, 0).lastPlacement.showCmd, 2u) << "the placement read at binding";
    EXPECT_EQ(entry(0, 1).lastPlacement.showCmd, 1u);
}

TEST_F(Scan, BindsOnceAndTheMarkFollowsFstforce) {
    shared.table.install({Rule(opt::fstforce), Rule(0), TitleRule("doc"), WindowRule::Named("Other")});
    desktop.open("Edit", "doc");
    pass();
    EXPECT_TRUE(entry(0, 0).pending());
    EXPECT_FALSE(entry(1, 0).pending());
    EXPECT_EQ(Bound(shared, 2), "a") << "a window matching two rules is in both lists";
    EXPECT_EQ(Bound(shared, 3), "");
    shared.table[0].boundWindows[0].setPending(false);
    for (int i = 0; i < 3; ++i) pass();
    EXPECT_EQ(Bound(shared, 0), "a");
    EXPECT_FALSE(entry(0, 0).pending()) << "a window that stayed bound is not new again";
}

TEST_F(Scan, UnbindsClosedHiddenAndRetitledWindowsInOnePass) {
    shared.table.install({WindowRule::Named("Edit"), TitleRule("doc"), TitleRule("doc", match::kBoth, "Edit"),
                          TitleRule("doc", 7, "Edit")});
    for (const char* title : {"x", "x", "x", "doc"}) desktop.open("Edit", title);
    pass();
    ASSERT_EQ(Bound(shared, 0), "dcba");
    ASSERT_EQ(Bound(shared, 1), "d");
    shared.table[0].boundWindows[0].setPending(false);
    // Two adjacent entries go at once, and so does the last one.
    desktop.close(0x10010 + 0x10 * 2);
    desktop.hide(0x10010 + 0x10 * 1);
    desktop.close(0x10010);
    desktop.retitle(0x10010 + 0x10 * 3, "doc - changed");
    pass();
    EXPECT_EQ(Bound(shared, 0), "d") << "a class rule keeps a retitled window";
    EXPECT_EQ(Bound(shared, 1) + Bound(shared, 2) + Bound(shared, 3), "") << "title rules drop it";
    // Shown again, and its title back: bound anew at the end, marked again.
    desktop.userShow(0x10010 + 0x10, show::kNormal);
    desktop.retitle(0x10010 + 0x10 * 3, "doc");
    pass();
    EXPECT_EQ(Bound(shared, 0), "db");
    EXPECT_TRUE(entry(0, 1).pending()) << "a window shown again counts as newly opened";
    EXPECT_EQ(Bound(shared, 1) + Bound(shared, 2) + Bound(shared, 3), "ddd");
}

TEST_F(Scan, EdgesOfMatching) {
    WindowRule never = WindowRule::Named("Edit");
    never.usclsttle = 0;
    const std::string longTitle(255, 'x');
    shared.table.install({TitleRule(""), never, TitleRule(longTitle), WindowRule::Named("Shell_TrayWnd")});
    desktop.open("Edit", "");
    desktop.open("Edit", "t");
    desktop.open("Edit", longTitle);  // read back as 254 bytes
    desktop.open("Shell_TrayWnd", "");
    pass();
    EXPECT_EQ(Bound(shared, 0), "da") << "an empty title rule binds untitled windows, the taskbar too";
    EXPECT_EQ(Bound(shared, 1) + Bound(shared, 2), "");
    EXPECT_EQ(Bound(shared, 3), "d");
}

TEST_F(Scan, SkipsWhileTheFlagIsHeldAndDropsAWindowThatVanishesMidway) {
    shared.table.install({WindowRule::Named("Edit"), WindowRule::Named("Edit")});
    desktop.open("Edit", "a");
    const WindowHandle b = desktop.open("Edit", "b");
    ASSERT_TRUE(shared.busy.tryTake());
    desktop.clearLog();
    EXPECT_EQ(ScanPass(shared, desktop), 0);
    EXPECT_EQ(desktop.log(), "");
    EXPECT_TRUE(shared.busy.isHeld()) << "a skipped pass must not release someone else's flag";
    shared.busy.release();
    // b closes while its placement is read for the first rule: both rules bind
    // it by the names read before, and the unbinding phase drops it again.
    desktop.setHook([&](char op, WindowHandle w) {
        if (op == 'P' && w == b) desktop.close(b);
    });
    pass();
    EXPECT_EQ(Bound(shared, 0) + Bound(shared, 1), "aa");
    EXPECT_FALSE(shared.busy.isHeld());
}

// --- one rule, one window, one step ---

struct StepCase {
    const char* name;
    Step step;
    std::uint32_t options;
    std::int32_t state;
    int before;  // the window's show state when it is bound
    int now;     // and when the step runs
    const char* log;
    bool pending;  // the mark after the step
};

const StepCase kStepCases[] = {
    // The one-time correction: the show state first, then the move.
    {"all four: no rectangle read", &CorrectionStep, opt::fstforce | kMoveAll, 3, 1, 1, "aP aS3 aM10,20,640,480", false},
    {"some: the rectangle before the state", &CorrectionStep, opt::fstforce | opt::sizex | opt::sizey, 1, 3, 3,
     "aR aP aS1 aM0,0,640,480", false},
    {"movex only", &CorrectionStep, opt::fstforce | opt::movex, -1, 1, 1, "aR aP aM10,100,400,300", false},
    {"none: the state only", &CorrectionStep, opt::fstforce, 2, 1, 1, "aP aS6", false},
    {"not marked: nothing", &CorrectionStep, kMoveAll, 3, 1, 1, "", false},
    {"normal to normal", &CorrectionStep, opt::fstforce, 1, 1, 1, "aP", false},
    {"minimized to normal", &CorrectionStep, opt::fstforce, 1, 2, 2, "aP aS1", false},
    {"maximized to normal", &CorrectionStep, opt::fstforce, 1, 3, 3, "aP aS1", false},
    {"normal to minimized", &CorrectionStep, opt::fstforce, 2, 1, 1, "aP aS6", false},
    {"minimized stays", &CorrectionStep, opt::fstforce, 2, 2, 2, "aP", false},
    {"maximized to minimized", &CorrectionStep, opt::fstforce, 2, 3, 3, "aP aS6", false},
    {"normal to maximized", &CorrectionStep, opt::fstforce, 3, 1, 1, "aP aS3", false},
    {"minimized to maximized", &CorrectionStep, opt::fstforce, 3, 2, 2, "aP aS3", false},
    {"maximized stays", &CorrectionStep, opt::fstforce, 3, 3, 3, "aP", false},
    {"state -1: none", &CorrectionStep, opt::fstforce, -1, 2, 2, "aP", false},
    {"state 0: none", &CorrectionStep, opt::fstforce, 0, 3, 3, "aP", false},
    {"state 4: none", &CorrectionStep, opt::fstforce, 4, 1, 1, "aP", false},
    // The lock: every cycle, normal windows only, marks ignored.
    {"lock: no lock flag, no call", &LockStep, opt::fstforce | kMoveAll, -1, 1, 1, "", true},
    {"lock all four: no rectangle read", &LockStep, kLockAll, -1, 1, 1, "aP aS1 aM10,20,640,480", false},
    {"lock top only", &LockStep, opt::lmovey, -1, 1, 1, "aP aS1 aR aM100,20,400,300", false},
    {"lock left and width", &LockStep, opt::lmovex | opt::lsizex, 3, 1, 1, "aP aS1 aR aM10,100,640,300", false},
    {"lock leaves minimized", &LockStep, kLockAll, -1, 1, 2, "aP", false},
    {"lock leaves maximized", &LockStep, kLockAll, -1, 1, 3, "aP", false},
    // The state watch: restores from minimized or maximized.
    {"normal to minimized: no restore", &StateWatchStep, opt::msfstt, -1, 1, 2, "aP", false},
    {"normal to maximized: no restore", &StateWatchStep, opt::msfstt, -1, 1, 3, "aP", false},
    {"minimized to normal", &StateWatchStep, opt::msfstt, -1, 2, 1, "aP aS1", true},
    {"minimized to maximized", &StateWatchStep, opt::msfstt, -1, 2, 3, "aP aS1", true},
    {"maximized to normal", &StateWatchStep, opt::msfstt, -1, 3, 1, "aP aS1", true},
    {"maximized to minimized: no restore", &StateWatchStep, opt::msfstt, -1, 3, 2, "aP", false},
    {"restore without msfstt", &StateWatchStep, 0, -1, 2, 1, "aP", false},
    // ... and the state enforced.
    {"enforce normal", &StateWatchStep, opt::forcestt, 1, 1, 3, "aP aS1", false},
    {"normal kept", &StateWatchStep, opt::forcestt, 1, 1, 1, "aP", false},
    {"enforce minimized", &StateWatchStep, opt::forcestt, 2, 1, 1, "aP aS6", false},
    {"minimized kept", &StateWatchStep, opt::forcestt, 2, 2, 2, "aP", false},
    {"enforce maximized", &StateWatchStep, opt::forcestt, 3, 1, 2, "aP aS3", false},
    {"maximized kept", &StateWatchStep, opt::forcestt, 3, 3, 3, "aP", false},
    {"state -1 not enforced", &StateWatchStep, opt::forcestt, -1, 1, 2, "aP", false},
    {"state 0 not enforced", &StateWatchStep, opt::forcestt, 0, 1, 3, "aP", false},
    {"enforced without forcestt", &StateWatchStep, 0, 3, 1, 1, "aP", false},
};

TEST(OneStep, OneRuleOneWindow) {
    for (const StepCase& c : kStepCases) {
        SCOPED_TRACE(c.name);
        Shared s;
        FakeDesktop d;
        s.table.install({Rule(c.options, c.state)});
        const WindowHandle w = d.open("Edit", "doc", kStart);
        if (c.before != show::kNormal) d.userShow(w, c.before);
        ASSERT_EQ(ScanPass(s, d), 1);
        if (c.now != c.before) d.userShow(w, c.now);
        d.clearLog();
        c.step(s, d, 0);
        EXPECT_EQ(d.log(), c.log);
        const BoundWindow& bound = s.table[0].boundWindows.at(0);
        EXPECT_EQ(bound.pending(), c.pending);
        if (c.step == &StateWatchStep) {
            EXPECT_EQ(bound.lastPlacement.showCmd, static_cast<std::uint32_t>(c.now)) << "read before its own command";
        }
    }
}

class Steps : public ::testing::Test {
protected:
    // Binds windows opened with these titles to `rules`, and clears the log.
    void setUp(std::vector<WindowRule> rules, std::vector<const char*> titles = {"doc"}) {
        shared.table.install(std::move(rules));
        for (const char* title : titles) desktop.open("Edit", title, kStart);
        ASSERT_EQ(ScanPass(shared, desktop), 1);
        desktop.clearLog();
    }
    BoundWindow& entry(std::size_t rule = 0, std::size_t i = 0) { return shared.table[rule].boundWindows.at(i); }
    static constexpr WindowHandle a = 0x10010;
    Shared shared;
    FakeDesktop desktop;
};

TEST_F(Steps, TheCorrectionTreatsMarkedWindowsOnceAndMovesEvenWhenInPlace) {
    setUp({Rule(kMoveAll)}, {"a", "b"});
    desktop.userMove(a + 0x10, {10, 20, 650, 500});  // b is in place already
    entry(0, 0).setPending(true);                    // b
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(desktop.log(), "bP bM10,20,640,480");
    CorrectionStep(shared, desktop, 0);
    EXPECT_EQ(desktop.log(), "bP bM10,20,640,480") << "the mark was cleared";
}

TEST_F(Steps, TwoRulesOnOneWindowActInTableOrder) {
    setUp({Rule(opt::fstforce | kMoveAll | kLockAll, -1, {1, 1, 101, 101}),
           Rule(opt::fstforce | kMoveAll | kLockAll, -1, {2, 2, 202, 202})});
    for (Step step : {&CorrectionStep, &LockStep}) {
        step(shared, desktop, 0);
        step(shared, desktop, 1);
    }
    EXPECT_EQ(desktop.log(), "aP aM1,1,100,100 aP aM2,2,200,200 aP aS1 aM1,1,100,100 aP aS1 aM2,2,200,200");
    EXPECT_EQ(desktop.window(a).rect, (Rect{2, 2, 202, 202}));
}

TEST_F(Steps, SkipWhileTheFlagIsHeldAndForAnIndexPastTheTable) {
    setUp({Rule(opt::fstforce | opt::movex | opt::lmovex | opt::forcestt, 3)});
    ASSERT_TRUE(shared.busy.tryTake());
    for (Step step : {&CorrectionStep, &LockStep, &StateWatchStep}) step(shared, desktop, 0);
    EXPECT_EQ(desktop.log(), "");
    EXPECT_TRUE(entry().pending()) << "the mark waits for a later cycle";
    EXPECT_TRUE(shared.busy.isHeld());
    shared.busy.release();
    for (std::int32_t index : {1, 5, -1}) {
        for (Step step : {&CorrectionStep, &LockStep, &StateWatchStep}) step(shared, desktop, index);
    }
    EXPECT_EQ(desktop.log(), "");
    EXPECT_FALSE(shared.busy.isHeld()) << "a skipped index releases the flag";
}

TEST_F(Steps, AVanishedWindowIsOnlyRead) {
    setUp({Rule(opt::fstforce | opt::movex | opt::lmovey | opt::msfstt | opt::forcestt, 1)});
    desktop.userShow(a, show::kMinimize);
    desktop.close(a);
    for (Step step : {&CorrectionStep, &LockStep, &StateWatchStep}) step(shared, desktop, 0);
    EXPECT_EQ(desktop.log(), "aR aP aP");
    EXPECT_EQ(entry().lastPlacement.showCmd, 1u) << "the record of the last cycle is kept";
}

TEST_F(Steps, AWindowThatStopsAnsweringIsOnlyWatchedUntilItAnswersAgain) {
    setUp({Rule(kLockAll), Rule(opt::fstforce | kMoveAll | opt::forcestt, 3)});
    desktop.hang(a);
    auto cycle = [&] {
        for (Step step : {&LockStep, &CorrectionStep, &StateWatchStep}) {
            step(shared, desktop, 0);
            step(shared, desktop, 1);
        }
    };
    for (int i = 0; i < 3; ++i) cycle();
    // One move waits in its queue; nothing more is sent, the mark is kept.
    EXPECT_EQ(desktop.log(), "aP aS1 aM10,20,640,480 aP aP aP aP aP aP");
    EXPECT_TRUE(entry(1).pending());
    desktop.resume(a);
    EXPECT_EQ(desktop.window(a).rect, (Rect{10, 20, 650, 500}));
    desktop.clearLog();
    cycle();
    EXPECT_EQ(desktop.log(), "aP aS1 aM10,20,640,480 aP aS3 aM10,20,640,480 aP aP");
    EXPECT_FALSE(entry(1).pending());
}

TEST_F(Steps, ARestoreFromMinimizedToMaximizedMarksTwice) {
    setUp({Rule(opt::msfstt)});
    desktop.userShow(a, show::kMinimize);
    StateWatchStep(shared, desktop, 0);
    desktop.userShow(a, show::kMaximized);
    StateWatchStep(shared, desktop, 0);
    EXPECT_TRUE(entry().pending());
    EXPECT_EQ(desktop.window(a).showCmd, show::kNormal);
    entry().setPending(false);
    desktop.clearLog();
    StateWatchStep(shared, desktop, 0);  // maximized -> normal, a restore again
    EXPECT_TRUE(entry().pending());
    EXPECT_EQ(desktop.log(), "aP aS1");
}

TEST_F(Steps, EnforcementAndRestoreTogetherCorrectAgain) {
    setUp({Rule(opt::msfstt | opt::forcestt, 1)});
    desktop.userShow(a, show::kMaximized);
    StateWatchStep(shared, desktop, 0);
    EXPECT_EQ(desktop.window(a).showCmd, show::kNormal);
    EXPECT_FALSE(entry().pending());
    StateWatchStep(shared, desktop, 0);
    EXPECT_TRUE(entry().pending());
}

TEST_F(Steps, EveryNewMarkWakesTheCorrectionWorker) {
    setUp({Rule(0), Rule(opt::msfstt)});
    EXPECT_FALSE(shared.correctionWakeup.isDue()) << "bound without a mark";
    shared.table.install({Rule(opt::fstforce)});
    ScanPass(shared, desktop);
    EXPECT_TRUE(shared.correctionWakeup.isDue()) << "bound with a mark";
    shared.correctionWakeup.sleepFor(0);
    ScanPass(shared, desktop);
    EXPECT_FALSE(shared.correctionWakeup.isDue()) << "nothing new";
    shared.table.install({Rule(opt::msfstt)});
    ScanPass(shared, desktop);
    desktop.userShow(a, show::kMinimize);
    StateWatchStep(shared, desktop, 0);
    EXPECT_FALSE(shared.correctionWakeup.isDue());
    desktop.userShow(a, show::kNormal);
    StateWatchStep(shared, desktop, 0);
    EXPECT_TRUE(shared.correctionWakeup.isDue()) << "a restore";
    shared.correctionWakeup.sleepFor(0);
    EXPECT_EQ(CorrectNow(shared), CorrectNowResult::Marked);
    EXPECT_TRUE(shared.correctionWakeup.isDue());
}

TEST_F(Steps, CorrectNowMarksEveryBoundWindowOrGivesUpAfterItsSleeps) {
    setUp({Rule(0), Rule(0), WindowRule::Named("Other")}, {"a", "b"});
    shared.PollInterval = 3;  // 1 ms sleeps
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
    for (std::size_t r = 0; r < 2; ++r) {
        ASSERT_EQ(shared.table[r].boundWindows.size(), 2u);
        for (const BoundWindow& b : shared.table[r].boundWindows) EXPECT_TRUE(b.pending());
    }
    EXPECT_FALSE(shared.busy.isHeld());
    Shared empty;
    EXPECT_EQ(CorrectNow(empty), CorrectNowResult::Marked);
}

}  // namespace
}  // namespace torvane
