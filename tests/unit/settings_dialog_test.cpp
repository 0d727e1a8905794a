// The settings dialog's and the input dialog's decisions, on a fake dialog
// over the fake desktop: opening, the commit, the rule editor, the paired
// lists, adding rules, picking by dragging, the hotkey options and help.
#include <gtest/gtest.h>

#include <iconv.h>

#include <string>
#include <thread>

#include "engine/scan.h"
#include "resource.h"
#include "settings/settings_model.h"
#include "settings/texts.h"
#include "support/fake_desktop.h"
#include "support/fake_dialog.h"

namespace torvane {
namespace {

using namespace settings;
using testing::FakeDesktop;
using testing::FakeDialog;
constexpr std::int32_t kMax = 2147483647, kMin = -kMax - 1;
constexpr int IDOK = 1;

std::string Cp932(std::string in) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string out(in.size() * 2 + 4, '\0');
    char *inp = in.data(), *outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

WindowRule Rule(const std::string& cls, const std::string& title, std::uint32_t options = opt::fstforce,
                std::int32_t state = -1) {
    WindowRule r = WindowRule::Named(cls);
    r.title.assign(title);
    r.options = options;
    r.state = state;
    return r;
}

// The editor's controls, in the order the tests list them.
constexpr std::initializer_list<int> kEditor = {IDC_STATE,  IDC_REMOVE, IDC_NAME,   IDC_LEFT,   IDC_TOP,    IDC_WIDTH,
                                                IDC_HEIGHT, IDC_FSTFORCE, IDC_MSFSTT, IDC_FORCESTT, IDC_MOVEX, IDC_LMOVEX,
                                                IDC_MOVEY,  IDC_LMOVEY, IDC_SIZEX,  IDC_LSIZEX, IDC_SIZEY,  IDC_LSIZEY,
                                                IDC_UP,     IDC_DOWN};

class Dialog : public ::testing::Test {
protected:
    void SetUp() override { shared.config = SystemConfig::Defaults(); }
    void open(std::vector<WindowRule> rules = {}) {
        shared.table.install(std::move(rules));
        ASSERT_TRUE(dialog.Open());
    }
    // A user's choice in a list: the selection, then its notification.
    void select(int list, int row) {
        view.Select(list, row);
        dialog.Command(list, 1);
    }
    void click(int box) {
        view[box].checked = !view[box].checked;
        dialog.Command(box, 0);
    }
    void type(int field, const std::string& text) {
        view[field].text = text;
        dialog.Command(field, 0x200);  // it loses the focus
    }
    const WindowRule& rule(std::size_t i) { return dialog.rules().at(i); }

    Shared shared;
    FakeDesktop desktop;
    FakeDialog view;
    SettingsDialog dialog{shared, desktop, view};
};

TEST_F(Dialog, OpensOnACopyWithTheListsFilledAndTheEditorDisabled) {
    desktop.open("Progman", "Program Manager");
    desktop.open("Progman", "other");
    desktop.open("Shell_TrayWnd", "");
    desktop.open("Other", "Program Manager");
    desktop.open("Hidden", "h", FakeDesktop::kDefaultRect, false);
    desktop.open("Edit", "");
    desktop.open("Edit", "");
    shared.config.ShcutAlt = false;
    shared.config.ShcutKey = 124;  // F13, in no entry
    open({Rule("Notepad", ""), Rule("Cls", "Title")});
    EXPECT_EQ(view[IDC_VISIBLE_CLASSES].rows, (std::vector<std::string>{"Edit", "Edit", "Other", "Progman"}));
    EXPECT_EQ(view[IDC_VISIBLE_TITLES].rows, (std::vector<std::string>{"", "", "Program Manager", "other"}));
    EXPECT_EQ(view[IDC_VISIBLE_CLASSES].selected + view[IDC_VISIBLE_TITLES].selected, 0);
    EXPECT_EQ(view[IDC_RULE_CLASSES].rows, (std::vector<std::string>{"Notepad", "Cls"}));
    EXPECT_EQ(view[IDC_RULE_TITLES].rows, (std::vector<std::string>{"", "Title"}));
    EXPECT_EQ(view[IDC_RULE_CLASSES].selected, -1) << "no rule selected";
    EXPECT_EQ(view[IDC_RULE_BAR].bar, (ScrollRecord{0, 1, 9, 0}));
    EXPECT_EQ(view[IDC_VISIBLE_BAR].bar, (ScrollRecord{0, 3, 9, 0}));
    EXPECT_EQ(view.enabledOf(kEditor), "1023- 8- 1007- 1008- 1011- 1014- 1017- 1022- 1020- 1021- 1009- 1010- 1012- "
                                       "1013- 1015- 1016- 1018- 1019- 10- 11-");
    EXPECT_EQ(view[IDC_KEY].rows.size(), 83u);
    EXPECT_EQ(view[IDC_KEY].selected, -1);
    EXPECT_TRUE(view[IDC_CTRL].checked && view[IDC_SHIFT].checked && !view[IDC_ALT].checked && !view[IDC_WIN].checked);
    EXPECT_TRUE(view[IDC_TRAY].checked);
    EXPECT_EQ(view[IDC_STATE].rows.size(), 4u);
    EXPECT_EQ(view[IDC_STATE].selected, 0);
    EXPECT_EQ(dialog.options(), (Options{true, true, true, false, false, 124}));
    shared.table[0].settingName.assign("live");
    EXPECT_EQ(rule(0).settingName.view(), "Notepad") << "a copy of its own";
}

TEST_F(Dialog, OkAppliesAndSavesCancelThrowsAwayApplyKeepsGoing) {
    desktop.open("Notepad", "");
    open({Rule("Notepad", "", opt::fstforce | opt::movex)});
    ScanPass(shared, desktop);
    select(IDC_RULE_CLASSES, 0);
    type(IDC_LEFT, "-20");
    click(IDC_CTRL);   // off
    click(IDC_WIN);    // on
    dialog.Command(IDC_APPLY, 0);
    EXPECT_EQ(shared.table[0].left, -20);
    EXPECT_EQ(shared.table[0].boundWindows.size(), 1u) << "the bindings come with their rules";
    EXPECT_FALSE(shared.config.ShcutCtrl);
    EXPECT_EQ(view.hotkeys, (std::vector<unsigned>{(1 | 4 | 8) << 16 | 32}));
    EXPECT_EQ(view.saves, 1);
    EXPECT_TRUE(view[IDC_APPLY].enabled);
    EXPECT_EQ(view.ended, -1);
    // A value still typed when OK is pressed (the Enter key) goes with it.
    type(IDC_TOP, "7");
    view[IDC_WIDTH].text = "99";
    view.focus = IDC_WIDTH;
    dialog.Command(IDOK, 0);
    EXPECT_EQ(view.ended, IDOK);
    EXPECT_EQ(shared.table[0].top, 7);
    EXPECT_EQ(shared.table[0].width, 99);
    EXPECT_EQ(view.saves, 2);
    // The field that loses the focus as the dialog closes writes nothing.
    view[IDC_WIDTH].text = "5";
    dialog.Command(IDC_WIDTH, 0x200);
    EXPECT_EQ(rule(0).width, 99);

    FakeDialog other;
    SettingsDialog cancelled(shared, desktop, other);
    ASSERT_TRUE(cancelled.Open());
    other.Select(IDC_RULE_CLASSES, 0);
    cancelled.Command(IDC_RULE_CLASSES, 1);
    cancelled.Command(IDC_REMOVE, 0);
    cancelled.Command(IDC_CANCEL_BUTTON, 0);
    EXPECT_EQ(other.ended, IDC_CANCEL_BUTTON);
    EXPECT_EQ(shared.table.count(), 1);
    EXPECT_TRUE(other.hotkeys.empty() && other.saves == 0);
}

TEST_F(Dialog, OkWaitsForTheFlagAndComesBackLaterWithItsButtonDisabled) {
    open({Rule("A", "")});
    shared.PollInterval = 3;
    ASSERT_TRUE(shared.busy.tryTake());
    dialog.Command(IDOK, 0);
    EXPECT_EQ(view.reposted, std::vector<int>{IDOK});
    EXPECT_EQ(view.sleptMs, 102 * 3) << "101 sleeps between 102 tests, and one more";
    EXPECT_FALSE(view[IDOK].enabled);
    EXPECT_EQ(view.ended, -1);
    shared.busy.release();
    dialog.Command(IDOK, 0);
    EXPECT_EQ(view.ended, IDOK);
}

TEST_F(Dialog, TheEditorShowsTheSelectedRule) {
    WindowRule a = Rule("A", "", opt::fstforce | opt::movex | opt::lsizey, -1);
    a.settingName.assign("name a");
    a.left = -5;
    a.height = 30;
    open({a, Rule("B", "", opt::msfstt | opt::sizex | opt::lsizex | opt::forcestt, 0), Rule("C", "", 0, 5),
          Rule("D", "", 0, 3)});
    const struct {
        int row;
        const char* enabled;  // the editor's controls, as kEditor lists them
        int state;            // the state list's entry
        const char* checked;  // 1022 1020 1021 1009 1010 1012 1013 1015 1016 1018 1019
    } cases[] = {
        {0, "1023+ 8+ 1007+ 1008+ 1011- 1014- 1017- 1022+ 1020+ 1021- 1009+ 1010+ 1012+ 1013+ 1015+ 1016+ 1018+ 1019+ 10- 11+",
         0, "10010000001"},
        {1, "1023+ 8+ 1007+ 1008- 1011- 1014+ 1017- 1022+ 1020+ 1021+ 1009+ 1010+ 1012+ 1013+ 1015+ 1016+ 1018+ 1019+ 10+ 11+",
         0, "01100001100"},
        {2, "1023+ 8+ 1007+ 1008- 1011- 1014- 1017- 1022+ 1020+ 1021+ 1009+ 1010+ 1012+ 1013+ 1015+ 1016+ 1018+ 1019+ 10+ 11+",
         -1, "00000000000"},
        {3, "1023+ 8+ 1007+ 1008- 1011- 1014- 1017- 1022+ 1020+ 1021+ 1009+ 1010+ 1012+ 1013+ 1015+ 1016+ 1018+ 1019+ 10+ 11-",
         3, "00000000000"},
    };
    for (const auto& c : cases) {
        select(c.row % 2 ? IDC_RULE_TITLES : IDC_RULE_CLASSES, c.row);
        EXPECT_EQ(view.enabledOf(kEditor), c.enabled) << "row " << c.row;
        EXPECT_EQ(view[IDC_STATE].selected, c.state) << "row " << c.row;
        std::string checked;
        for (int id : {IDC_FSTFORCE, IDC_MSFSTT, IDC_FORCESTT, IDC_MOVEX, IDC_LMOVEX, IDC_MOVEY, IDC_LMOVEY, IDC_SIZEX,
                       IDC_LSIZEX, IDC_SIZEY, IDC_LSIZEY})
            checked += view[id].checked ? '1' : '0';
        EXPECT_EQ(checked, c.checked) << "row " << c.row;
        EXPECT_EQ(view[IDC_RULE_CLASSES].selected, c.row);
        EXPECT_EQ(view[IDC_RULE_TITLES].selected, c.row) << "the other list follows";
    }
    select(IDC_RULE_CLASSES, 0);
    EXPECT_EQ(view[IDC_NAME].text + "|" + view[IDC_LEFT].text + "|" + view[IDC_HEIGHT].text, "name a|-5|30");
}

TEST_F(Dialog, TogglesKeepEveryLockWithItsCoordinate) {
    open({Rule("A", "", 0)});
    select(IDC_RULE_CLASSES, 0);
    const struct {
        int box;
        std::uint32_t options;  // after the click
        const char* fields;
    } cases[] = {
        {IDC_LMOVEX, opt::movex | opt::lmovex, "1008+ 1011- 1014- 1017-"},  // a lock turns its coordinate on
        {IDC_LSIZEY, opt::movex | opt::lmovex | opt::sizey | opt::lsizey, "1008+ 1011- 1014- 1017+"},
        {IDC_SIZEY, opt::movex | opt::lmovex, "1008+ 1011- 1014- 1017-"},  // a coordinate turns its lock off
        {IDC_LMOVEX, opt::movex, "1008+ 1011- 1014- 1017-"},
        {IDC_MOVEY, opt::movex | opt::movey, "1008+ 1011+ 1014- 1017-"},
        {IDC_SIZEX, opt::movex | opt::movey | opt::sizex, "1008+ 1011+ 1014+ 1017-"},
        {IDC_MOVEX, opt::movey | opt::sizex, "1008- 1011+ 1014+ 1017-"},
        {IDC_FSTFORCE, opt::movey | opt::sizex | opt::fstforce, "1008- 1011+ 1014+ 1017-"},
        {IDC_MSFSTT, opt::movey | opt::sizex | opt::fstforce | opt::msfstt, "1008- 1011+ 1014+ 1017-"},
    };
    for (const auto& c : cases) {
        click(c.box);
        EXPECT_EQ(rule(0).options, c.options) << "after " << c.box;
        EXPECT_EQ(view.enabledOf({IDC_LEFT, IDC_TOP, IDC_WIDTH, IDC_HEIGHT}), c.fields) << "after " << c.box;
        for (const auto& [box, bit] : {std::pair{IDC_MOVEX, opt::movex}, std::pair{IDC_LMOVEX, opt::lmovex},
                                       std::pair{IDC_SIZEY, opt::sizey}, std::pair{IDC_LSIZEY, opt::lsizey}})
            EXPECT_EQ(view[box].checked, rule(0).has(bit)) << "box " << box << " after " << c.box;
    }
    // The state list: the window's own state clears and disables 1021.
    select(IDC_STATE, 3);
    EXPECT_EQ(rule(0).state, 3);
    EXPECT_TRUE(view[IDC_FORCESTT].enabled);
    click(IDC_FORCESTT);
    EXPECT_TRUE(rule(0).has(opt::forcestt));
    select(IDC_STATE, 0);
    EXPECT_EQ(rule(0).state, -1);
    EXPECT_FALSE(view[IDC_FORCESTT].enabled || view[IDC_FORCESTT].checked || rule(0).has(opt::forcestt));
    select(IDC_STATE, 2);
    EXPECT_EQ(rule(0).state, 2);
    EXPECT_FALSE(rule(0).has(opt::forcestt)) << "stays off";
}

TEST_F(Dialog, FieldsAreReadAsTheFileReadsThemAndNamesAsTheFileCanHoldThem) {
    open({Rule("A", ""), Rule("B", "")});
    select(IDC_RULE_CLASSES, 0);
    const struct {
        int field;
        const char* text;
        std::int32_t WindowRule::*value;
        std::int32_t stored;
    } numbers[] = {{IDC_LEFT, "-20", &WindowRule::left, -20},      {IDC_WIDTH, "abc", &WindowRule::width, 0},
                   {IDC_TOP, " +12px", &WindowRule::top, 12},      {IDC_HEIGHT, "99999999999", &WindowRule::height, kMax},
                   {IDC_LEFT, "-99999999999", &WindowRule::left, kMin}};
    for (const auto& n : numbers) {
        type(n.field, n.text);
        EXPECT_EQ(rule(0).*n.value, n.stored) << n.text;
    }
    const std::pair<std::string, std::string> names[] = {
        {"!name", Cp932("！name")}, {"a!", "a!"}, {"", ""}, {"one\ntwo", "one two"}, {"[x]", "[x]"}};
    for (const auto& [typed, stored] : names) {
        type(IDC_NAME, typed);
        EXPECT_EQ(rule(0).settingName.view(), stored) << typed;
    }
    // The value belongs to the rule selected while it was typed.
    view[IDC_LEFT].text = "5";
    dialog.Command(IDC_LEFT, 0x300);  // typing: nothing yet
    EXPECT_NE(rule(0).left, 5);
    dialog.Command(IDC_LEFT, 0x200);
    select(IDC_RULE_CLASSES, 1);
    EXPECT_EQ(rule(0).left, 5);
    EXPECT_EQ(rule(1).left, 0);
}

TEST_F(Dialog, RulesMoveUpAndDownAndAreRemoved) {
    open({Rule("A", "a"), Rule("B", "b"), Rule("C", "c")});
    auto order = [&] {
        std::string s;
        for (const WindowRule& r : dialog.rules()) s += r.className.view();
        return s + " " + view[IDC_RULE_CLASSES].rows[0] + view[IDC_RULE_TITLES].rows.back();
    };
    select(IDC_RULE_CLASSES, 1);
    dialog.Command(IDC_UP, 0);
    EXPECT_EQ(order(), "BAC Bc");
    EXPECT_EQ(view.enabledOf({IDC_UP, IDC_DOWN}), "10- 11+");
    EXPECT_EQ(view[IDC_RULE_TITLES].selected, 0);
    dialog.Command(IDC_DOWN, 0);
    dialog.Command(IDC_DOWN, 0);
    EXPECT_EQ(order(), "ACB Ab");
    EXPECT_EQ(view.enabledOf({IDC_UP, IDC_DOWN}), "10+ 11-");
    dialog.Command(IDC_DOWN, 0);  // past the end: nothing
    EXPECT_EQ(order(), "ACB Ab");
    // Removing the second of three selects the former third, now last.
    select(IDC_RULE_CLASSES, 1);
    dialog.Command(IDC_REMOVE, 0);
    EXPECT_EQ(order(), "AB Ab");
    EXPECT_EQ(dialog.selected(), 1);
    EXPECT_EQ(view[IDC_RULE_CLASSES].selected, 1);
    EXPECT_EQ(view.enabledOf({IDC_UP, IDC_DOWN, IDC_REMOVE}), "10+ 11- 8+");
    // Removing the last row leaves no selection and the editor disabled.
    dialog.Command(IDC_REMOVE, 0);
    EXPECT_EQ(order(), "A Aa");
    EXPECT_EQ(dialog.selected(), -1);
    EXPECT_EQ(view.enabledOf({IDC_REMOVE, IDC_NAME, IDC_UP}), "8- 1007- 10-");
    select(IDC_RULE_CLASSES, 0);
    dialog.Command(IDC_REMOVE, 0);
    EXPECT_TRUE(dialog.rules().empty());
}

TEST_F(Dialog, APairScrollsTogetherFromItsBarTheWheelAndASelection) {
    for (int i = 0; i < 20; ++i) desktop.open("C" + std::to_string(i), "T" + std::to_string(i));
    open();
    auto& left = view[IDC_VISIBLE_CLASSES];
    auto& right = view[IDC_VISIBLE_TITLES];
    const struct {
        int code, thumb;
        bool handled;
        int pos, lines;  // the record's position after, and the lines each list moved
    } events[] = {
        {0, 0, true, 0, 0},     // line up at the top: nothing
        {5, 2, true, 2, 2},     {5, 7, true, 7, 5},  // thumb dragged from 2 to 7: five lines, row by row
        {4, 7, true, 7, 0},     // released at 7: nothing more
        {1, 0, true, 8, 1},     {1, 0, true, 9, 1},  {1, 0, true, 10, 1}, {1, 0, true, 11, 1},
        {1, 0, true, 11, 0},    // at the last page: nothing
        {0, 0, true, 10, -1},   {5, 3, true, 3, -7},
        {2, 0, false, 3, 0},    {3, 0, false, 3, 0},  {6, 0, false, 3, 0}, {7, 0, false, 3, 0}, {8, 0, false, 3, 0},
    };
    for (const auto& e : events) {
        view.scrolledLines = 0;
        EXPECT_EQ(dialog.Scroll(IDC_VISIBLE_BAR, e.code, e.thumb), e.handled) << e.code;
        EXPECT_EQ(view[IDC_VISIBLE_BAR].bar.pos, e.pos) << "code " << e.code << " thumb " << e.thumb;
        EXPECT_EQ(view.scrolledLines, 2 * e.lines) << "code " << e.code;
        EXPECT_EQ(left.top, right.top);
    }
    EXPECT_FALSE(dialog.Scroll(IDC_LEFT, 1, 0)) << "another bar";
    dialog.Wheel(IDC_VISIBLE_TITLES, -240);  // two notches down: six rows
    EXPECT_EQ(left.top, 9);
    EXPECT_EQ(right.top, 9);
    EXPECT_EQ(view[IDC_VISIBLE_BAR].bar.pos, 9);
    dialog.Wheel(IDC_VISIBLE_CLASSES, 600);
    EXPECT_EQ(view[IDC_VISIBLE_BAR].bar.pos, 0);
    // Row 15 chosen in the title list: the class list follows.
    right.top = 10;
    select(IDC_VISIBLE_TITLES, 15);
    EXPECT_EQ(left.selected, 15);
    EXPECT_EQ(left.top, right.top);
    EXPECT_EQ(view[IDC_VISIBLE_BAR].bar.pos, right.top);
    dialog.Command(IDC_REFRESH, 0);
    EXPECT_EQ(left.selected + right.selected + view[IDC_VISIBLE_BAR].bar.pos, 0);
}

TEST_F(Dialog, RulesAreAddedFromTheListOrTheInputDialogOnce) {
    desktop.open("Other", "x");
    desktop.open("Notepad", "!memo", Rect{10, 20, 110, 70});
    open({Rule("Foo", "", opt::fstforce, -1)});
    const struct {
        int command;
        bool ask;
        const char *cls, *title;  // typed in the input dialog
        const char* added;        // name|class|title|mode|options|rect, or the notice
    } cases[] = {
        {IDC_ADD_CLASS, false, "", "", "Notepad|Notepad||2|31|10,20,100,50"},
        {IDC_ADD_CLASS, false, "", "", "notice"},
        {IDC_ADD_TITLE, false, "", "", "！memo||!memo|1|31|10,20,100,50"},
        {IDC_ADD_BOTH, false, "", "", "！memo|Notepad|!memo|3|31|10,20,100,50"},
        {IDC_ADD_INPUT, true, "Foo", "", "notice"},  // a both-keys rule with an empty title counts
        {IDC_ADD_INPUT, true, "Bar", "", "|Bar||2|1|0,0,0,0"},
        {IDC_ADD_INPUT, true, "", "Baz", "Baz||Baz|1|1|0,0,0,0"},
        {IDC_ADD_INPUT, true, "", "", "|||1|1|0,0,0,0"},
        {IDC_ADD_INPUT, true, "", "", "notice"},
        {IDC_ADD_INPUT, true, "a\nb", "t", "line break"},
        {IDC_ADD_INPUT, false, "No", "Answer", "none"},
    };
    for (const auto& c : cases) {
        view.askAnswer = c.ask;
        view.askClass = c.cls;
        view.askTitle = c.title;
        const std::size_t before = dialog.rules().size();
        view.notices.clear();
        dialog.Command(c.command, 0);
        std::string added = "none";
        if (!view.notices.empty()) added = view.notices[0].find(kAlreadyAdded) != std::string::npos ? "notice" : "line break";
        if (dialog.rules().size() > before) {
            const WindowRule& r = dialog.rules().back();
            added = std::string(r.settingName.view()) + "|" + std::string(r.className.view()) + "|" +
                    std::string(r.title.view()) + "|" + std::to_string(r.usclsttle) + "|" + std::to_string(r.options) +
                    "|" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.width) + "," +
                    std::to_string(r.height);
            EXPECT_EQ(r.state, -1);
            EXPECT_EQ(view[IDC_RULE_CLASSES].rows.back(), r.className.view());
            EXPECT_EQ(view[IDC_RULE_TITLES].selected, static_cast<int>(dialog.rules().size()) - 1);
            EXPECT_EQ(dialog.selected(), view[IDC_RULE_TITLES].selected);
            EXPECT_EQ(view.enabledOf({IDC_UP, IDC_DOWN, IDC_LEFT, IDC_FORCESTT}),
                      c.command == IDC_ADD_INPUT ? "10+ 11- 1008- 1021-" : "10+ 11- 1008+ 1021-");
            EXPECT_EQ(view[IDC_STATE].selected, 0);
        } else {
            EXPECT_EQ(dialog.rules().size(), before) << "nothing changes";
        }
        EXPECT_EQ(added, Cp932(c.added)) << "command " << c.command << " " << c.cls << "/" << c.title;
    }
    // With 12 rules a 13th shows the last page, rows 4 to 12.
    while (dialog.rules().size() < 12) {
        view.askClass = "C" + std::to_string(dialog.rules().size());
        view.askAnswer = true;
        dialog.Command(IDC_ADD_INPUT, 0);
    }
    view.askClass = "last";
    dialog.Command(IDC_ADD_INPUT, 0);
    EXPECT_EQ(view[IDC_RULE_BAR].bar, (ScrollRecord{0, 12, 9, 4}));
    EXPECT_EQ(view[IDC_RULE_CLASSES].top, 4);
    // An empty window list gives no keys.
    FakeDesktop empty;
    FakeDialog other;
    SettingsDialog nothing(shared, empty, other);
    ASSERT_TRUE(nothing.Open());
    nothing.Command(IDC_ADD_CLASS, 0);
    EXPECT_EQ(nothing.rules().size(), 1u);
}

TEST_F(Dialog, APickSelectsTheLastRowOfTheTopWindowUnderTheCursor) {
    for (int i = 0; i < 12; ++i) desktop.open("Filler", std::to_string(i), Rect{0, 0, 1, 1});
    const WindowHandle main = desktop.open("App", "main", Rect{0, 0, 400, 300});
    for (int i = 0; i < 2; ++i) desktop.open("App", "main", Rect{900, 900, 901, 901});
    desktop.open("Edit", "field", Rect{10, 10, 100, 30}, true, main);
    desktop.open("#32770", "owned box", Rect{500, 500, 600, 600}, true, main, true);
    open();
    const int rows = view.RowCount(IDC_VISIBLE_CLASSES);
    for (const Point at : {Point{50, 20}, Point{550, 550}}) {  // the edit field, the owned box
        view[IDC_VISIBLE_CLASSES].selected = 0;
        dialog.Press();
        EXPECT_TRUE(view.captured && view.pickCursor && !view[IDC_PICK].visible);
        desktop.setCursor(at);
        dialog.Move();
        dialog.Release();
        EXPECT_TRUE(!view.captured && view[IDC_PICK].visible);
        // "App"/"main" are rows 1, 2 and 3 of the list, front to back: the last one wins.
        EXPECT_EQ(view[IDC_VISIBLE_CLASSES].rows[3] + view[IDC_VISIBLE_CLASSES].rows[4], "AppFiller");
        EXPECT_EQ(view[IDC_VISIBLE_CLASSES].selected, 3);
        EXPECT_EQ(view[IDC_VISIBLE_TITLES].selected, 3);
        EXPECT_EQ(view[IDC_VISIBLE_CLASSES].top, std::min(3, rows - 9));
        EXPECT_EQ(view[IDC_VISIBLE_BAR].bar.pos, view[IDC_VISIBLE_CLASSES].top);
    }
    // Nothing under the cursor, or a lost capture: nothing is picked.
    view.Select(IDC_VISIBLE_CLASSES, 1);
    desktop.setCursor(Point{5000, 5000});
    dialog.Press();
    dialog.Release();
    EXPECT_EQ(view[IDC_VISIBLE_CLASSES].selected, 1);
    desktop.setCursor(Point{50, 20});
    dialog.Press();
    dialog.CaptureLost();
    EXPECT_TRUE(view[IDC_PICK].visible);
    EXPECT_EQ(view[IDC_VISIBLE_CLASSES].selected, 1);
    dialog.Release();  // a release without a press picks all the same
    EXPECT_EQ(view[IDC_VISIBLE_CLASSES].selected, 3);

    FakeDialog input;
    InputDialog keys(desktop, input);
    keys.Open();
    input[IDC_INPUT_CLASS].text = "typed";
    keys.Press();
    keys.Release();
    EXPECT_EQ(input[IDC_INPUT_CLASS].text + "/" + input[IDC_INPUT_TITLE].text, "App/main");
    input[IDC_INPUT_TITLE].text = "changed";
    keys.Command(IDOK);
    EXPECT_TRUE(keys.accepted());
    EXPECT_EQ(keys.className() + "/" + keys.title(), "App/changed");
    EXPECT_EQ(input.ended, 1);
    InputDialog cancelled(desktop, input);
    cancelled.Command(IDC_CANCEL_BUTTON);
    EXPECT_FALSE(cancelled.accepted());
    EXPECT_EQ(input.ended, 0);
}

TEST_F(Dialog, TheHotkeyAndTrayOptionsChangeOnlyTheCopyUntilTheCommit) {
    const std::vector<HotkeyKey>& keys = HotkeyKeyTable();
    ASSERT_EQ(keys.size(), 83u);
    const std::pair<std::string, int> entries[] = {{"", 0},       {"A", 65},     {"Z", 90},       {"0", 48},
                                                    {"NUM_5", 101}, {".", 110},    {"/", 111},      {"*", 106},
                                                    {"-", 109},    {"+", 107},    {"F1", 112},     {"F12", 123},
                                                    {"SPACE", 32}, {"RETURN", 13}, {"PAGEDOWN", 34}, {"RIGHT", 39}};
    for (const auto& [text, code] : entries) {
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const HotkeyKey& k) { return k.text == text; });
        ASSERT_NE(it, keys.end()) << text;
        EXPECT_EQ(it->code, code) << text;
    }
    EXPECT_EQ(keys[44].text, "NUM_5");
    for (int blank : {0, 27, 38, 54, 67, 77, 82}) EXPECT_EQ(keys[blank].code, 0) << blank;
    EXPECT_EQ(KeyEntryOf(0), 0);
    EXPECT_EQ(KeyEntryOf(32), 68);
    EXPECT_EQ(KeyEntryOf(124), -1);

    shared.config.ShcutKey = 124;
    open();
    select(IDC_KEY, 44);
    click(IDC_ALT);
    click(IDC_TRAY);
    EXPECT_EQ(shared.config.ShcutKey, 124) << "not before the commit";
    EXPECT_TRUE(shared.config.TaskIcon);
    dialog.Command(IDC_APPLY, 0);
    EXPECT_EQ(shared.config.ShcutKey, 101);
    EXPECT_FALSE(shared.config.ShcutAlt || shared.config.TaskIcon);
    EXPECT_EQ(view.hotkeys.back(), (2u | 4u) << 16 | 101u);
    view.Select(IDC_KEY, -1);
    dialog.Command(IDC_KEY, 1);  // no entry: the key stays
    select(IDC_KEY, 49);
    dialog.Command(IDOK, 0);
    EXPECT_EQ(shared.config.ShcutKey, 110);
}

TEST_F(Dialog, HelpNamesTheControlAndShowsNothingForTheRest) {
    open();
    for (int id : {IDC_VISIBLE_BAR, IDC_RULE_BAR, IDC_STATIC, 0xFFFF, 2}) dialog.Help(id);
    EXPECT_TRUE(view.notices.empty());
    dialog.Help(IDC_PICK);
    dialog.Help(IDC_DOWN);
    EXPECT_EQ(view.notices,
              (std::vector<std::string>{Cp932("help カーソルアイコン: カーソルアイコン：\n\nこのカーソルをドラッグして指定した"
                                              "いウィンドウにドロップすると、そのウィンドウが下のリストから選択されます。"),
                                        Cp932("help 下へボタン: 下へボタン：\n\n設定の実行順序を変更します。\n設定は上か"
                                              "ら順に実行されます。")}));
    int helped = 0;
    for (int id = 0; id < 1100; ++id) {
        if (const Help* h = HelpFor(id)) {
            ++helped;
            EXPECT_EQ(std::string(h->text).rfind(std::string(h->caption) + Cp932("：\n\n"), 0), 0u) << id;
        }
    }
    EXPECT_EQ(helped, 39);
    EXPECT_EQ(std::string(kStateNames[3]), Cp932("最大化"));
    EXPECT_EQ(std::string(kAlreadyAdded) + kNoticeCaption, Cp932("すでに追加されています通知"));
}

}  // namespace
}  // namespace torvane
