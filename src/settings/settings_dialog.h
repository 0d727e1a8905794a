// The settings dialog (104): the working copy of the rules and options and
// its commit, the two list pairs, the rule editor, adding rules, picking a
// window, the hotkey and tray options, and help. The Win32 dialog procedure
// hands every event to it; it acts on the controls through a DialogView.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/window_system.h"
#include "engine/shared_state.h"
#include "settings/dialog_view.h"
#include "settings/drag_pick.h"
#include "settings/input_dialog.h"
#include "settings/list_pair.h"

namespace torvane::settings {

// A rule's name as it is stored: a leading "!" becomes the full-width "！"
// (the file would read "[!" as the options' section), and a line break a
// blank (a name is one line of the file).
std::string StorableName(std::string_view name);
// A class or title with a line break cannot be written as one line.
bool HasLineBreak(std::string_view text);
// Whether control `id` is one of the editor's fields (the name, a coordinate).
bool IsField(int id);

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
    // `inputView` is the input dialog's, which this one runs.
    SettingsDialog(Shared& shared, WindowSystem& windows, SettingsHost& host, DialogView& view, DialogView& inputView);

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
    // The input dialog (of 入力して追加) has closed: its keys, if given, make a rule.
    void InputClosed();

    InputDialog& input() { return input_; }
    const std::vector<WindowRule>& rules() const { return rules_; }
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
    void AddRule(int command, const std::string& cls, const std::string& title);

    Shared& shared_;
    WindowSystem& windows_;
    DialogView& view_;
    SettingsHost& host_;
    std::vector<WindowRule> rules_;  // the working copy
    SystemConfig options_;  // the working copy of the options; all but monitoring are edited here
    ListPair visible_;
    ListPair ruleList_;
    DragPick pick_;
    InputDialog input_;
    int selected_ = -1;    // the rule the editor shows
    bool closed_ = false;  // committed by OK, or thrown away
};

}  // namespace torvane::settings
