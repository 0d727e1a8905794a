// Everything the settings dialog and its input dialog decide, apart from the
// dialogs themselves: the working copy and its commit, the paired lists and
// their scroll bars, the rule editor, adding rules, picking a window by
// dragging, the hotkey and tray options, and help. The Win32 dialog
// procedures hand every event to these models, which act on the controls
// through a DialogView.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/window_system.h"
#include "rules/rule_table.h"
#include "settings/dialog_view.h"

namespace torvane::settings {

// --- the hotkey's keys ---

struct HotkeyKey {
    std::string text;   // as added to the key list, which shows it in lower case
    std::int32_t code;  // the virtual-key code; 0 for the blank entries
};
// The 83 entries of the key list, in its order.
const std::vector<HotkeyKey>& HotkeyKeyTable();
// The first entry that carries `code`, or -1.
int KeyEntryOf(std::int32_t code);

// --- names and keys the settings file can hold ---

// A rule's name as it is stored: a leading "!" becomes the full-width "！"
// (the file would read "[!" as the options' section), and a line break a
// blank (a name is one line of the file).
std::string StorableName(std::string_view name);
// A class or title with a line break cannot be written as one line.
bool HasLineBreak(std::string_view text);

// --- picking a window by dragging ---

struct Picked {
    std::string className;
    std::string title;
};
// The top window (through parents and owners) under the cursor, or none.
std::optional<Picked> PickWindowAtCursor(WindowSystem& windows);

// The press, the moves and the release of a pick on a dialog's surface.
class DragPick {
public:
    void Press(DialogView& view);
    void Move(DialogView& view);
    // Every release picks, with or without a press before it.
    std::optional<Picked> Release(DialogView& view, WindowSystem& windows);
    // Another window took the mouse: the pick ends without picking.
    void CaptureLost(DialogView& view);
    bool dragging() const { return dragging_; }

private:
    bool dragging_ = false;
};

// --- a pair of lists: class names left, titles right, one scroll bar ---

class ListPair {
public:
    ListPair(int left, int right, int bar) : left_(left), right_(right), bar_(bar) {}

    // The record for `rows` rows with `top` as the top row (kept within the
    // rows), handed to the bar; both lists move there.
    void SetUp(DialogView& view, int rows, int top);
    // The user changed the selection in list `from`: the other list follows.
    void Mirror(DialogView& view, int from);
    // The record's position is now `top`.
    void MoveTo(DialogView& view, int top);
    // A scroll event of the bar; false for the codes that do nothing.
    bool Scroll(DialogView& view, int code, int thumb);
    // The mouse wheel over either list: both move by `lines` rows.
    void Wheel(DialogView& view, int lines);

    bool Has(int list) const { return list == left_ || list == right_; }
    int bar() const { return bar_; }
    const ScrollRecord& record() const { return record_; }

private:
    void Lines(DialogView& view, int count, bool down);
    int left_, right_, bar_;
    ScrollRecord record_;
};

// --- the settings dialog ---

// The options the dialog edits.
struct Options {
    bool TaskIcon = false, ShcutCtrl = false, ShcutShift = false, ShcutAlt = false, ShcutWin = false;
    std::int32_t ShcutKey = 0;
    friend bool operator==(const Options&, const Options&) = default;
};

// What the settings dialog asks of the program around it.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // OK or Apply has installed the working copy as the live rules and
    // options: the hotkey is registered again and the settings saved.
    virtual void Committed() = 0;
};

class SettingsDialog {
public:
    SettingsDialog(Shared& shared, WindowSystem& windows, DialogView& view, SettingsHost& host);

    // The dialog opens. False when no working copy could be taken: the
    // dialog has been ended.
    bool Open();
    // A command from a control (its id and notification code).
    void Command(int id, int code);
    // A scroll event from a scroll bar; false when not handled.
    bool Scroll(int bar, int code, int thumb);
    // The mouse wheel over list `list`, in the platform's units (120 a notch).
    void Wheel(int list, int delta);
    // F1 on `control` (control `id`): its help text, for this dialog's own controls.
    void Help(int id, WindowHandle control);
    // The left button pressed and released on the dialog's own surface, the
    // mouse moved over it, the mouse capture taken by another window.
    void Press() { pick_.Press(view_); }
    void Move() { pick_.Move(view_); }
    void Release();
    void CaptureLost() { pick_.CaptureLost(view_); }

    const std::vector<WindowRule>& rules() const { return rules_; }
    const Options& options() const { return options_; }
    int selected() const { return selected_; }
    bool closed() const { return closed_; }

private:
    void FillVisibleWindows();
    void Refresh();
    void Commit(int button);
    void SelectRule(int from);
    void ShowSelectedRule();
    void DisableEditor();
    void StoreField(int id);
    void Toggle(int id);
    void ChooseState();
    void MoveRule(int by);
    void RemoveRule();
    void AddRule(int command);

    Shared& shared_;
    WindowSystem& windows_;
    DialogView& view_;
    SettingsHost& host_;
    std::vector<WindowRule> rules_;  // the working copy
    Options options_;
    ListPair visible_;
    ListPair ruleList_;
    DragPick pick_;
    int selected_ = -1;    // the rule the editor shows
    bool closed_ = false;  // committed by OK, or thrown away
};

// --- the input dialog ---

class InputDialog {
public:
    InputDialog(WindowSystem& windows, DialogView& view) : windows_(windows), view_(view) {}
    void Open();
    // OK hands back the two texts, at most 254 bytes each.
    void Command(int id);
    void Press() { pick_.Press(view_); }
    void Move() { pick_.Move(view_); }
    void Release();
    void CaptureLost() { pick_.CaptureLost(view_); }

    bool accepted() const { return accepted_; }
    const std::string& className() const { return className_; }
    const std::string& title() const { return title_; }

private:
    WindowSystem& windows_;
    DialogView& view_;
    DragPick pick_;
    bool accepted_ = false;
    std::string className_, title_;
};

}  // namespace torvane::settings
