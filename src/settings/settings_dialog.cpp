#include "settings/settings_dialog.h"

#include <algorithm>
#include <new>
#include <utility>

#include "engine/scan.h"
#include "resource.h"
#include "rules/rule_keys.h"
#include "settings/hotkey_keys.h"
#include "settings/texts.h"

namespace torvane::settings {
namespace {

// Each coordinate of the rule model with its controls, which lie three ids
// apart from the X field on: its field, its box to apply it, its lock box.
struct Controls {
    int enable, lock, field;
    std::uint32_t enableBit, lockBit;
    std::int32_t WindowRule::*value;
};
constexpr Controls ControlsOf(std::size_t i) {
    const int field = IDC_LEFT + 3 * static_cast<int>(i);
    return {field + 1, field + 2, field, kCoordinates[i].place, kCoordinates[i].lock, kCoordinates[i].value};
}
constexpr Controls kControls[] = {ControlsOf(0), ControlsOf(1), ControlsOf(2), ControlsOf(3)};
static_assert(std::size(kControls) == std::size(kCoordinates) && kControls[1].field == IDC_TOP &&
                  kControls[2].enable == IDC_SIZEX && kControls[3].lock == IDC_LSIZEY,
              "the controls of a coordinate lie three ids apart");
constexpr std::pair<int, std::uint32_t> kOptionBoxes[] = {
    {IDC_FSTFORCE, opt::correctOnOpen}, {IDC_MSFSTT, opt::correctOnRestore}, {IDC_FORCESTT, opt::keepState}};

// The state list's entry for a rule's state: -1 shows the window's own
// state, 1 to 3 themselves, 0 (hand-written) the window's own too, anything
// else no entry.
int StateEntry(std::int32_t state) { return state == -1 ? 0 : (state >= 0 && state <= 3 ? state : -1); }

}  // namespace

bool IsField(int id) {
    return id == IDC_NAME || std::any_of(std::begin(kControls), std::end(kControls), [id](const Controls& c) { return c.field == id; });
}

std::string StorableName(std::string_view name) { return StorableText(name, true); }

bool HasLineBreak(std::string_view text) { return text.find('\n') != std::string_view::npos; }

SettingsDialog::SettingsDialog(Shared& shared, WindowSystem& windows, SettingsHost& host, DialogView& view,
                               DialogView& inputView)
    : shared_(shared), windows_(windows), view_(view), host_(host),
      visible_(IDC_VISIBLE_CLASSES, IDC_VISIBLE_TITLES, IDC_VISIBLE_BAR),
      ruleList_(IDC_RULE_CLASSES, IDC_RULE_TITLES, IDC_RULE_BAR), input_(windows, inputView) {}

bool SettingsDialog::Open() {
    const SystemConfig& live = shared_.config;
    for (const HotkeyKey& key : HotkeyKeyTable()) view_.AddRow(IDC_KEY, key.text);
    view_.Select(IDC_KEY, KeyEntryOf(live.hotkeyKey));
    view_.SetCheck(IDC_CTRL, live.hotkeyCtrl);
    view_.SetCheck(IDC_SHIFT, live.hotkeyShift);
    view_.SetCheck(IDC_ALT, live.hotkeyAlt);
    view_.SetCheck(IDC_WIN, live.hotkeyWin);
    options_ = live;
    view_.SetCheck(IDC_TRAY, live.trayIcon);
    view_.SetCheck(IDC_KEEP_ON_SCREEN, live.keepOnScreen);
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
        const std::string cls = ClassNameOf(windows_, w);
        const std::string title = TitleOf(windows_, w);
        if (IsShellWindow(cls.c_str(), title.c_str())) continue;
        view_.AddRow(IDC_VISIBLE_CLASSES, cls);
        view_.AddRow(IDC_VISIBLE_TITLES, title);
        // Such a window can still be picked, and its rule kept: the mark says
        // why it may not move.
        const RowMark mark = windows_.Elevated(w)       ? RowMark::Refused
                             : windows_.NotAnswering(w) ? RowMark::NotAnswering
                                                        : RowMark::None;
        if (mark != RowMark::None) view_.MarkRow(IDC_VISIBLE_CLASSES, view_.RowCount(IDC_VISIBLE_CLASSES) - 1, mark);
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
        case IDC_CTRL: options_.hotkeyCtrl = view_.IsChecked(id); return;
        case IDC_SHIFT: options_.hotkeyShift = view_.IsChecked(id); return;
        case IDC_ALT: options_.hotkeyAlt = view_.IsChecked(id); return;
        case IDC_WIN: options_.hotkeyWin = view_.IsChecked(id); return;
        case IDC_TRAY: options_.trayIcon = view_.IsChecked(id); return;
        case IDC_KEEP_ON_SCREEN: options_.keepOnScreen = view_.IsChecked(id); return;
        case IDC_KEY:
            if (const int entry = view_.Selected(IDC_KEY); entry >= 0) options_.hotkeyKey = HotkeyKeyTable()[entry].code;
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
        // Monitoring is not the dialog's: it may have been switched meanwhile.
        options_.monitoring = shared_.config.monitoring.load();
        shared_.config = options_;
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
    for (const Controls& c : kControls) view_.Enable(c.field, r.has(c.enableBit));
    view_.Enable(IDC_FSTFORCE, true);
    view_.Enable(IDC_MSFSTT, true);
    view_.Enable(IDC_FORCESTT, r.showState != kStateDefault);
    for (const Controls& c : kControls) view_.Enable(c.enable, true);
    for (const Controls& c : kControls) view_.Enable(c.lock, true);
    view_.Enable(IDC_UP, selected_ != 0);
    view_.Enable(IDC_DOWN, selected_ != static_cast<int>(rules_.size()) - 1);
    view_.SetText(IDC_NAME, r.name.view());
    for (const Controls& c : kControls) view_.SetText(c.field, std::to_string(r.*c.value));
    view_.Select(IDC_STATE, StateEntry(r.showState));
    for (const auto& [box, bit] : kOptionBoxes) view_.SetCheck(box, r.has(bit));
    for (const Controls& c : kControls) view_.SetCheck(c.enable, r.has(c.enableBit));
    for (const Controls& c : kControls) view_.SetCheck(c.lock, r.has(c.lockBit));
}

void SettingsDialog::DisableEditor() {
    for (int id : {IDC_STATE, IDC_REMOVE, IDC_NAME, IDC_UP, IDC_DOWN}) view_.Enable(id, false);
    for (const auto& [box, bit] : kOptionBoxes) view_.Enable(box, false);
    for (const Controls& c : kControls) {
        for (int id : {c.field, c.enable, c.lock}) view_.Enable(id, false);
    }
}

void SettingsDialog::StoreField(int id) {
    if (selected_ < 0) return;
    WindowRule& r = rules_[static_cast<std::size_t>(selected_)];
    const std::string text = view_.Text(id);
    // The field then shows what was stored: a text that is no number as 0,
    // a leading "!" of a name as "！".
    if (id == IDC_NAME) {
        r.name.assign(StorableName(text));
        if (r.name.view() != text) view_.SetText(id, r.name.view());
        return;
    }
    for (const Controls& c : kControls) {
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
    for (const Controls& c : kControls) {
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
        r.showState = kStateDefault;
        view_.Enable(IDC_FORCESTT, false);
        view_.SetCheck(IDC_FORCESTT, false);
        r.set(opt::keepState, false);
    } else {
        r.showState = entry;
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
    if (command == IDC_ADD_INPUT) {
        if (view_.RunInput()) InputClosed();
        return;
    }
    const int row = view_.Selected(IDC_VISIBLE_CLASSES);
    if (row < 0) return;  // an empty list: no keys
    AddRule(command, command != IDC_ADD_TITLE ? view_.Row(IDC_VISIBLE_CLASSES, row) : "",
            command != IDC_ADD_CLASS ? view_.Row(IDC_VISIBLE_TITLES, row) : "");
}

void SettingsDialog::InputClosed() {
    if (input_.accepted()) AddRule(IDC_ADD_INPUT, input_.className(), input_.title());
}

void SettingsDialog::AddRule(int command, const std::string& cls, const std::string& title) {
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
    rule.matchMode = command == IDC_ADD_CLASS  ? MatchMode::Class
                     : command == IDC_ADD_TITLE ? MatchMode::Title
                     : command == IDC_ADD_BOTH  ? MatchMode::Both
                     : cls.empty()              ? MatchMode::Title
                     : title.empty()            ? MatchMode::Class
                                                : MatchMode::Both;
    if (command != IDC_ADD_INPUT) {
        rule.set(opt::placeLeft | opt::placeTop | opt::placeWidth | opt::placeHeight, true);
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

}  // namespace torvane::settings
