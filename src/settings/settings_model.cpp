#include "settings/settings_model.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "engine/scan.h"
#include "resource.h"
#include "rules/settings_format.h"
#include "settings/texts.h"

namespace torvane::settings {
namespace {

constexpr int kOk = 1;                 // IDOK: the OK button, the Enter key
constexpr int kCancel = 2;             // IDCANCEL: the Escape key, the close box
constexpr int kLbnSelChange = 1;       // LBN_SELCHANGE
constexpr int kEnKillFocus = 0x200;    // EN_KILLFOCUS
constexpr int kTextCapacity = WindowSystem::kTextCapacity;

// The scroll codes of a scroll bar's events.
enum ScrollCode { kLineUp = 0, kLineDown = 1, kThumbPosition = 4, kThumbTrack = 5 };

// Each coordinate: its enable box, its lock box, its field, and their bits.
struct Coordinate {
    int enable, lock, field;
    std::uint32_t enableBit, lockBit;
    std::int32_t WindowRule::*value;
};
constexpr Coordinate kCoordinates[] = {
    {IDC_MOVEX, IDC_LMOVEX, IDC_LEFT, opt::movex, opt::lmovex, &WindowRule::left},
    {IDC_MOVEY, IDC_LMOVEY, IDC_TOP, opt::movey, opt::lmovey, &WindowRule::top},
    {IDC_SIZEX, IDC_LSIZEX, IDC_WIDTH, opt::sizex, opt::lsizex, &WindowRule::width},
    {IDC_SIZEY, IDC_LSIZEY, IDC_HEIGHT, opt::sizey, opt::lsizey, &WindowRule::height},
};
constexpr std::pair<int, std::uint32_t> kOptionBoxes[] = {
    {IDC_FSTFORCE, opt::fstforce}, {IDC_MSFSTT, opt::msfstt}, {IDC_FORCESTT, opt::forcestt}};

// The state list's entry for a rule's state: -1 shows the window's own
// state, 1 to 3 themselves, 0 (hand-written) the window's own too, anything
// else no entry.
int StateEntry(std::int32_t state) { return state == -1 ? 0 : (state >= 0 && state <= 3 ? state : -1); }

bool IsField(int id) { return id == IDC_NAME || id == IDC_LEFT || id == IDC_TOP || id == IDC_WIDTH || id == IDC_HEIGHT; }

std::string ReadText(int (WindowSystem::*read)(WindowHandle, char*, int), WindowSystem& windows, WindowHandle w) {
    char text[kTextCapacity + 1] = "";
    (windows.*read)(w, text, kTextCapacity);
    return text;
}

}  // namespace

// --- the hotkey's keys ---

const std::vector<HotkeyKey>& HotkeyKeyTable() {
    static const std::vector<HotkeyKey> table = [] {
        std::vector<HotkeyKey> t{{"", 0}};
        for (char c = 'A'; c <= 'Z'; ++c) t.push_back({std::string(1, c), c});
        t.push_back({"", 0});
        for (char c = '0'; c <= '9'; ++c) t.push_back({std::string(1, c), c});
        t.push_back({"", 0});
        for (char c = '0'; c <= '9'; ++c) t.push_back({std::string("NUM_").append(1, c), 96 + (c - '0')});
        for (const HotkeyKey& k : {HotkeyKey{".", 110}, HotkeyKey{"/", 111}, HotkeyKey{"*", 106}, HotkeyKey{"-", 109},
                                   HotkeyKey{"+", 107}, HotkeyKey{"", 0}})
            t.push_back(k);
        for (int f = 1; f <= 12; ++f) t.push_back({std::string("F").append(std::to_string(f)), 111 + f});
        for (const HotkeyKey& k :
             {HotkeyKey{"", 0}, HotkeyKey{"SPACE", 32}, HotkeyKey{"RETURN", 13}, HotkeyKey{"ESCAPE", 27},
              HotkeyKey{"INSERT", 45}, HotkeyKey{"DELETE", 46}, HotkeyKey{"HOME", 36}, HotkeyKey{"END", 35},
              HotkeyKey{"PAGEUP", 33}, HotkeyKey{"PAGEDOWN", 34}, HotkeyKey{"", 0}, HotkeyKey{"UP", 38},
              HotkeyKey{"DOWN", 40}, HotkeyKey{"LEFT", 37}, HotkeyKey{"RIGHT", 39}, HotkeyKey{"", 0}})
            t.push_back(k);
        return t;
    }();
    return table;
}

int KeyEntryOf(std::int32_t code) {
    const std::vector<HotkeyKey>& table = HotkeyKeyTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

// --- names and keys ---

std::string StorableName(std::string_view name) { return StorableText(name, true); }

bool HasLineBreak(std::string_view text) { return text.find('\n') != std::string_view::npos; }

// --- picking ---

std::optional<Picked> PickWindowAtCursor(WindowSystem& windows) {
    Point at;
    windows.GetCursorPos(at);
    WindowHandle w = windows.WindowFromPoint(at);
    if (w == kNoWindow) return std::nullopt;
    // Up through parents and owners; bounded, should a chain ever loop.
    for (int depth = 0; depth < 64; ++depth) {
        const WindowHandle parent = windows.GetParent(w);
        if (parent == kNoWindow) break;
        w = parent;
    }
    return Picked{ReadText(&WindowSystem::GetClassNameA, windows, w), ReadText(&WindowSystem::GetWindowTextA, windows, w)};
}

void DragPick::Press(DialogView& view) {
    view.Capture(true);
    view.SetPickCursor();
    view.Show(IDC_PICK, false);
    dragging_ = true;
}

void DragPick::Move(DialogView& view) {
    if (dragging_) view.SetPickCursor();
}

std::optional<Picked> DragPick::Release(DialogView& view, WindowSystem& windows) {
    // Cleared first: letting the capture go tells the dialog it is lost.
    dragging_ = false;
    view.Capture(false);
    view.Show(IDC_PICK, true);
    return PickWindowAtCursor(windows);
}

void DragPick::CaptureLost(DialogView& view) {
    if (!dragging_) return;
    dragging_ = false;
    view.Show(IDC_PICK, true);
}

// --- paired lists ---

void ListPair::SetUp(DialogView& view, int rows, int top) {
    record_.page = std::max(1, view.RowsShown(left_));
    record_.max = rows - 1;
    record_.pos = std::clamp(top, 0, std::max(0, rows - record_.page));
    view.SetScrollBar(bar_, record_);
    view.SetTopRow(left_, record_.pos);
    view.SetTopRow(right_, record_.pos);
}

void ListPair::Mirror(DialogView& view, int from) {
    const int to = from == left_ ? right_ : left_;
    view.Select(to, view.Selected(from));
    view.SetTopRow(to, view.TopRow(from));
    MoveTo(view, view.TopRow(from));
}

void ListPair::MoveTo(DialogView& view, int top) {
    record_.pos = top;
    view.SetScrollBar(bar_, record_);
}

void ListPair::Lines(DialogView& view, int count, bool down) {
    for (int i = 0; i < count; ++i) {
        view.ScrollLine(left_, down);
        view.ScrollLine(right_, down);
    }
}

bool ListPair::Scroll(DialogView& view, int code, int thumb) {
    switch (code) {
        case kLineUp:
            if (--record_.pos < 0) {
                record_.pos = 0;
                return true;
            }
            view.SetScrollBar(bar_, record_);
            Lines(view, 1, false);
            return true;
        case kLineDown:
            if (++record_.pos + record_.page > record_.max + 1) {
                record_.pos = std::max(0, record_.max - record_.page + 1);
                return true;
            }
            view.SetScrollBar(bar_, record_);
            Lines(view, 1, true);
            return true;
        case kThumbTrack:
        case kThumbPosition:
            Lines(view, std::abs(thumb - record_.pos), thumb > record_.pos);
            MoveTo(view, thumb);
            return true;
        default:  // page up and down, top, bottom, end of scrolling: a click in the trough does nothing
            return false;
    }
}

void ListPair::Wheel(DialogView& view, int lines) {
    const int target = std::clamp(record_.pos + lines, 0, std::max(0, record_.max - record_.page + 1));
    Lines(view, std::abs(target - record_.pos), target > record_.pos);
    MoveTo(view, target);
}

// --- the settings dialog ---

SettingsDialog::SettingsDialog(Shared& shared, WindowSystem& windows, DialogView& view, SettingsHost& host)
    : shared_(shared), windows_(windows), view_(view), host_(host),
      visible_(IDC_VISIBLE_CLASSES, IDC_VISIBLE_TITLES, IDC_VISIBLE_BAR),
      ruleList_(IDC_RULE_CLASSES, IDC_RULE_TITLES, IDC_RULE_BAR) {}

bool SettingsDialog::Open() {
    const SystemConfig& live = shared_.config;
    for (const HotkeyKey& key : HotkeyKeyTable()) view_.AddRow(IDC_KEY, key.text);
    view_.Select(IDC_KEY, KeyEntryOf(live.ShcutKey));
    view_.SetCheck(IDC_CTRL, live.ShcutCtrl);
    view_.SetCheck(IDC_SHIFT, live.ShcutShift);
    view_.SetCheck(IDC_ALT, live.ShcutAlt);
    view_.SetCheck(IDC_WIN, live.ShcutWin);
    options_ = Options{live.TaskIcon, live.ShcutCtrl, live.ShcutShift, live.ShcutAlt, live.ShcutWin, live.ShcutKey};
    view_.SetCheck(IDC_TRAY, live.TaskIcon);
    for (const char* state : kStateNames) view_.AddRow(IDC_STATE, state);
    view_.Select(IDC_STATE, 0);
    DisableEditor();

    // The copy of the rules. A copy that cannot be made (the flag stays
    // held, no memory) ends the dialog as if it had been cancelled.
    bool copied = false;
    if (shared_.busy.takeWaiting([&] { view_.Sleep(shared_.PollInterval); })) {
        BusyGuard guard(shared_.busy);
        try {
            rules_ = shared_.table.copy();
            copied = true;
        } catch (const std::bad_alloc&) {
        }
    }
    if (!copied) {
        closed_ = true;
        view_.End(kCancel);
        return false;
    }

    FillVisibleWindows();  // into the new dialog's empty lists
    visible_.SetUp(view_, view_.RowCount(IDC_VISIBLE_CLASSES), 0);
    for (const WindowRule& rule : rules_) {
        view_.AddRow(IDC_RULE_CLASSES, rule.className.view());
        view_.AddRow(IDC_RULE_TITLES, rule.title.view());
    }
    view_.Select(IDC_VISIBLE_CLASSES, 0);
    view_.Select(IDC_VISIBLE_TITLES, 0);
    ruleList_.SetUp(view_, view_.RowCount(IDC_RULE_CLASSES), 0);
    return true;
}

void SettingsDialog::FillVisibleWindows() {
    struct Fill {
        SettingsDialog& dialog;
        std::vector<WindowHandle> windows;
    } fill{*this, {}};
    windows_.EnumWindows(
        [](WindowHandle w, void* context) {
            static_cast<Fill*>(context)->windows.push_back(w);
            return true;
        },
        &fill);
    for (WindowHandle w : fill.windows) {
        if (!windows_.IsWindowVisible(w)) continue;
        const std::string cls = ReadText(&WindowSystem::GetClassNameA, windows_, w);
        const std::string title = ReadText(&WindowSystem::GetWindowTextA, windows_, w);
        if (IsShellWindow(cls.c_str(), title.c_str())) continue;
        view_.AddRow(IDC_VISIBLE_CLASSES, cls);
        view_.AddRow(IDC_VISIBLE_TITLES, title);
    }
}

void SettingsDialog::Refresh() {
    view_.ClearRows(IDC_VISIBLE_CLASSES);
    view_.ClearRows(IDC_VISIBLE_TITLES);
    FillVisibleWindows();
    view_.Select(IDC_VISIBLE_CLASSES, 0);
    view_.Select(IDC_VISIBLE_TITLES, 0);
    visible_.SetUp(view_, view_.RowCount(IDC_VISIBLE_CLASSES), 0);
}

void SettingsDialog::Command(int id, int code) {
    if (closed_) return;  // a field that loses the focus while the dialog closes writes nothing
    switch (id) {
        case kOk:
        case IDC_APPLY:
            // A value still being typed (OK by the Enter key) belongs to the commit.
            if (IsField(view_.Focused())) StoreField(view_.Focused());
            Commit(id);
            return;
        case kCancel:
        case IDC_CANCEL_BUTTON:
            closed_ = true;
            view_.End(id);
            return;
        case IDC_REFRESH:
            Refresh();
            return;
        case IDC_ADD_CLASS:
        case IDC_ADD_TITLE:
        case IDC_ADD_BOTH:
        case IDC_ADD_INPUT:
            AddRule(id);
            return;
        case IDC_REMOVE:
            RemoveRule();
            return;
        case IDC_UP:
        case IDC_DOWN:
            MoveRule(id == IDC_UP ? -1 : 1);
            return;
        case IDC_VISIBLE_CLASSES:
        case IDC_VISIBLE_TITLES:
            if (code == kLbnSelChange) visible_.Mirror(view_, id);
            return;
        case IDC_RULE_CLASSES:
        case IDC_RULE_TITLES:
            if (code == kLbnSelChange) SelectRule(id);
            return;
        case IDC_STATE:
            ChooseState();
            return;
        case IDC_CTRL: options_.ShcutCtrl = view_.IsChecked(id); return;
        case IDC_SHIFT: options_.ShcutShift = view_.IsChecked(id); return;
        case IDC_ALT: options_.ShcutAlt = view_.IsChecked(id); return;
        case IDC_WIN: options_.ShcutWin = view_.IsChecked(id); return;
        case IDC_TRAY: options_.TaskIcon = view_.IsChecked(id); return;
        case IDC_KEY:
            if (const int entry = view_.Selected(IDC_KEY); entry >= 0) options_.ShcutKey = HotkeyKeyTable()[entry].code;
            return;
        default:
            if (IsField(id)) {
                if (code == kEnKillFocus) StoreField(id);
            } else if (id >= IDC_MOVEX && id <= IDC_FSTFORCE) {
                Toggle(id);
            }
            return;
    }
}

void SettingsDialog::Commit(int button) {
    view_.Enable(button, false);
    // The new table is made before the flag is taken: without memory for it
    // the live table stays, and so does the dialog.
    std::vector<WindowRule> installing;
    try {
        installing = rules_;
    } catch (const std::bad_alloc&) {
        view_.Enable(button, true);
        return;
    }
    // When the flag stays held, the command comes back later, with its
    // button still disabled.
    if (!shared_.busy.takeWaiting([&] { view_.Sleep(shared_.PollInterval); })) {
        view_.Sleep(shared_.PollInterval);
        view_.RepostCommand(button);
        return;
    }
    {
        BusyGuard guard(shared_.busy);
        try {
            // After Apply the working copy goes on as it is: it equals the rules now live.
            shared_.table.installKeepingBindings(std::move(installing));
        } catch (const std::bad_alloc&) {
            view_.Enable(button, true);
            return;
        }
        SystemConfig& c = shared_.config;
        c.TaskIcon = options_.TaskIcon;
        c.ShcutCtrl = options_.ShcutCtrl;
        c.ShcutShift = options_.ShcutShift;
        c.ShcutAlt = options_.ShcutAlt;
        c.ShcutWin = options_.ShcutWin;
        c.ShcutKey = options_.ShcutKey;
    }
    host_.Committed();
    if (button == kOk) {
        closed_ = true;
        view_.End(kOk);
    } else {
        view_.Enable(button, true);
    }
}

void SettingsDialog::SelectRule(int from) {
    ruleList_.Mirror(view_, from);
    selected_ = view_.Selected(IDC_RULE_CLASSES);
    if (selected_ >= 0 && selected_ < static_cast<int>(rules_.size())) ShowSelectedRule();
}

void SettingsDialog::ShowSelectedRule() {
    const WindowRule& r = rules_[static_cast<std::size_t>(selected_)];
    for (int id : {IDC_STATE, IDC_REMOVE, IDC_NAME}) view_.Enable(id, true);
    for (const Coordinate& c : kCoordinates) view_.Enable(c.field, r.has(c.enableBit));
    view_.Enable(IDC_FSTFORCE, true);
    view_.Enable(IDC_MSFSTT, true);
    view_.Enable(IDC_FORCESTT, r.state != kStateDefault);
    for (const Coordinate& c : kCoordinates) view_.Enable(c.enable, true);
    for (const Coordinate& c : kCoordinates) view_.Enable(c.lock, true);
    view_.Enable(IDC_UP, selected_ != 0);
    view_.Enable(IDC_DOWN, selected_ != static_cast<int>(rules_.size()) - 1);
    view_.SetText(IDC_NAME, r.settingName.view());
    for (const Coordinate& c : kCoordinates) view_.SetText(c.field, std::to_string(r.*c.value));
    view_.Select(IDC_STATE, StateEntry(r.state));
    for (const auto& [box, bit] : kOptionBoxes) view_.SetCheck(box, r.has(bit));
    for (const Coordinate& c : kCoordinates) view_.SetCheck(c.enable, r.has(c.enableBit));
    for (const Coordinate& c : kCoordinates) view_.SetCheck(c.lock, r.has(c.lockBit));
}

void SettingsDialog::DisableEditor() {
    for (int id : {IDC_STATE, IDC_REMOVE, IDC_NAME, IDC_LEFT, IDC_TOP, IDC_WIDTH, IDC_HEIGHT, IDC_FSTFORCE, IDC_MSFSTT,
                   IDC_FORCESTT, IDC_MOVEX, IDC_MOVEY, IDC_SIZEX, IDC_SIZEY, IDC_LMOVEX, IDC_LMOVEY, IDC_LSIZEX,
                   IDC_LSIZEY, IDC_UP, IDC_DOWN})
        view_.Enable(id, false);
}

void SettingsDialog::StoreField(int id) {
    if (selected_ < 0) return;
    WindowRule& r = rules_[static_cast<std::size_t>(selected_)];
    const std::string text = view_.Text(id);
    // The field then shows what was stored: a text that is no number as 0,
    // a leading "!" of a name as "！".
    if (id == IDC_NAME) {
        r.settingName.assign(StorableName(text));
        if (r.settingName.view() != text) view_.SetText(id, r.settingName.view());
        return;
    }
    for (const Coordinate& c : kCoordinates) {
        if (c.field != id) continue;
        r.*c.value = ReadNumber(text);
        const std::string stored = std::to_string(r.*c.value);
        if (stored != text) view_.SetText(id, stored);
    }
}

void SettingsDialog::Toggle(int id) {
    if (selected_ < 0) return;
    WindowRule& r = rules_[static_cast<std::size_t>(selected_)];
    const bool on = view_.IsChecked(id);
    for (const auto& [box, bit] : kOptionBoxes) {
        if (box == id) r.set(bit, on);
    }
    for (const Coordinate& c : kCoordinates) {
        if (id == c.enable) {
            // The lock of a coordinate that is not applied goes with it.
            r.set(c.enableBit, on);
            view_.Enable(c.field, on);
            if (!on) {
                view_.SetCheck(c.lock, false);
                r.set(c.lockBit, false);
            }
        } else if (id == c.lock) {
            // A locked coordinate is applied as well.
            r.set(c.lockBit, on);
            if (on) {
                view_.Enable(c.field, true);
                view_.SetCheck(c.enable, true);
                r.set(c.enableBit, true);
            }
        }
    }
}

void SettingsDialog::ChooseState() {
    const int entry = view_.Selected(IDC_STATE);
    if (selected_ < 0 || entry < 0) return;
    WindowRule& r = rules_[static_cast<std::size_t>(selected_)];
    if (entry == 0) {
        r.state = kStateDefault;
        view_.Enable(IDC_FORCESTT, false);
        view_.SetCheck(IDC_FORCESTT, false);
        r.set(opt::forcestt, false);
    } else {
        r.state = entry;
        view_.Enable(IDC_FORCESTT, true);
    }
}

void SettingsDialog::MoveRule(int by) {
    const int s = selected_, t = selected_ + by;
    if (s < 0 || t < 0 || t >= static_cast<int>(rules_.size())) return;
    std::swap(rules_[static_cast<std::size_t>(s)], rules_[static_cast<std::size_t>(t)]);
    for (int list : {IDC_RULE_CLASSES, IDC_RULE_TITLES}) {
        const std::string text = view_.Row(list, s);
        view_.DeleteRow(list, s);
        view_.InsertRow(list, t, text);
        view_.Select(list, t);
    }
    selected_ = t;
    view_.Enable(IDC_UP, t != 0);
    view_.Enable(IDC_DOWN, t != static_cast<int>(rules_.size()) - 1);
}

void SettingsDialog::RemoveRule() {
    const int s = selected_;
    if (s < 0 || s >= static_cast<int>(rules_.size())) return;
    rules_.erase(rules_.begin() + s);
    view_.DeleteRow(IDC_RULE_CLASSES, s);
    view_.DeleteRow(IDC_RULE_TITLES, s);
    const int rows = static_cast<int>(rules_.size());
    // The pair and its bar show the last page of the rows left, also when the
    // last row went: a bar left with the old range would scroll past the lists.
    if (s < rows) {
        view_.Select(IDC_RULE_CLASSES, s);
        view_.Select(IDC_RULE_TITLES, s);
    }
    ruleList_.SetUp(view_, rows, rows - ruleList_.record().page);
    if (s < rows) {
        ShowSelectedRule();
        return;
    }
    selected_ = -1;  // the lists dropped their selection with the row
    DisableEditor();
}

void SettingsDialog::AddRule(int command) {
    std::string cls, title;
    if (command == IDC_ADD_INPUT) {
        if (!view_.AskForKeys(cls, title)) return;
    } else {
        const int row = view_.Selected(IDC_VISIBLE_CLASSES);
        if (row < 0) return;  // an empty list: no keys
        if (command != IDC_ADD_TITLE) cls = view_.Row(IDC_VISIBLE_CLASSES, row);
        if (command != IDC_ADD_CLASS) title = view_.Row(IDC_VISIBLE_TITLES, row);
    }
    if (HasLineBreak(cls) || HasLineBreak(title)) {
        view_.Notice(kLineBreakInKeys, kNoticeCaption, false);
        return;
    }
    for (const WindowRule& r : rules_) {
        if (r.className.view() == cls && r.title.view() == title) {
            view_.Notice(kAlreadyAdded, kNoticeCaption, false);
            return;
        }
    }
    WindowRule rule = WindowRule::Named(StorableName(command == IDC_ADD_CLASS ? cls : title));
    rule.className.assign(cls);
    rule.title.assign(title);
    rule.usclsttle = command == IDC_ADD_CLASS  ? match::kClass
                     : command == IDC_ADD_TITLE ? match::kTitle
                     : command == IDC_ADD_BOTH  ? match::kBoth
                     : cls.empty()              ? match::kTitle
                     : title.empty()            ? match::kClass
                                                : match::kBoth;
    if (command != IDC_ADD_INPUT) {
        rule.set(opt::movex | opt::movey | opt::sizex | opt::sizey, true);
        // Where the first window with these keys stands now, if one is there.
        const WindowHandle found = windows_.FindWindowA(command == IDC_ADD_TITLE ? nullptr : cls.c_str(),
                                                        command == IDC_ADD_CLASS ? nullptr : title.c_str());
        Rect r;
        if (found != kNoWindow && windows_.GetWindowRect(found, r)) {
            rule.left = r.left;
            rule.top = r.top;
            rule.width = r.right - r.left;
            rule.height = r.bottom - r.top;
        }
    }
    try {
        rules_.push_back(std::move(rule));
    } catch (const std::bad_alloc&) {
        return;  // the table stays as it was
    }
    view_.AddRow(IDC_RULE_CLASSES, cls);
    view_.AddRow(IDC_RULE_TITLES, title);
    selected_ = static_cast<int>(rules_.size()) - 1;
    view_.Select(IDC_RULE_CLASSES, selected_);
    view_.Select(IDC_RULE_TITLES, selected_);
    ShowSelectedRule();
    const int rows = view_.RowCount(IDC_RULE_CLASSES);
    ruleList_.SetUp(view_, rows, rows - ruleList_.record().page);
}

bool SettingsDialog::Scroll(int bar, int code, int thumb) {
    if (bar == visible_.bar()) return visible_.Scroll(view_, code, thumb);
    if (bar == ruleList_.bar()) return ruleList_.Scroll(view_, code, thumb);
    return false;
}

void SettingsDialog::Wheel(int list, int delta) {
    // Three rows a notch, as the lists would scroll themselves.
    const int lines = -delta * 3 / 120;
    if (visible_.Has(list)) visible_.Wheel(view_, lines);
    if (ruleList_.Has(list)) ruleList_.Wheel(view_, lines);
}

void SettingsDialog::Help(int id, WindowHandle control) {
    // The input dialog has no help of its own: F1 there comes here with its
    // control, which may share an id with one of this dialog's.
    if (!view_.Owns(control)) return;
    if (const settings::Help* help = HelpFor(id)) view_.Notice(help->text, help->caption, true);
}

void SettingsDialog::Release() {
    const std::optional<Picked> picked = pick_.Release(view_, windows_);
    if (!picked) return;
    // The last row with the picked window's texts ends selected and on top.
    for (int i = 0; i < view_.RowCount(IDC_VISIBLE_TITLES); ++i) {
        if (view_.Row(IDC_VISIBLE_TITLES, i) != picked->title || view_.Row(IDC_VISIBLE_CLASSES, i) != picked->className)
            continue;
        for (int list : {IDC_VISIBLE_TITLES, IDC_VISIBLE_CLASSES}) {
            view_.Select(list, i);
            view_.SetTopRow(list, i);
        }
        visible_.MoveTo(view_, view_.TopRow(IDC_VISIBLE_CLASSES));
    }
}

// --- the input dialog ---

void InputDialog::Open() {
    view_.SetText(IDC_INPUT_CLASS, "");
    view_.SetText(IDC_INPUT_TITLE, "");
}

void InputDialog::Command(int id) {
    if (id == kOk) {
        className_ = view_.Text(IDC_INPUT_CLASS);
        title_ = view_.Text(IDC_INPUT_TITLE);
        accepted_ = true;
        view_.End(1);
    } else if (id == kCancel || id == IDC_CANCEL_BUTTON) {
        view_.End(0);
    }
}

void InputDialog::Release() {
    if (const std::optional<Picked> picked = pick_.Release(view_, windows_)) {
        view_.SetText(IDC_INPUT_CLASS, picked->className);
        view_.SetText(IDC_INPUT_TITLE, picked->title);
    }
}

}  // namespace torvane::settings
