// Matching, and each correction step on one rule and one window, as call logs
// on the fake desktop: each case names a rule, the window's show state, the
// step, and the calls the step must make ("aP aS3 aM10,20,640,480": window
// a's placement read, shown maximized, moved). Scans and longer step
// sequences are in the engine scenarios.
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

TEST(CorrectNow, MarksEveryBoundWindowOrGivesUpAfterItsSleeps) {
    Shared shared;
    FakeDesktop desktop;
    shared.table.install({Rule(0), Rule(0), WindowRule::Named("Other")});
    desktop.open("Edit", "a");
    desktop.open("Edit", "b");
    ASSERT_EQ(ScanPass(shared, desktop), 1);
    shared.PollInterval = 3;  // 1 ms sleeps
    ASSERT_TRUE(shared.busy.tryTake());
    EXPECT_EQ(CorrectNow(shared), CorrectNowResult::GaveUp);
    EXPECT_FALSE(shared.table[0].boundWindows[0].pending()) << "nothing is marked without the flag";
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
