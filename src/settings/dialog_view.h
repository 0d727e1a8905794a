// What the dialog models see of a dialog and of the platform around it: its
// controls by id, and the few things a dialog asks of the program. The Win32
// dialogs implement it over their controls; the tests over a fake dialog.
#pragma once

#include <string>
#include <string_view>

#include "rules/types.h"

namespace torvane::settings {

// The commands every dialog knows: IDOK (the OK button, the Enter key) and
// IDCANCEL (the Escape key, the close box).
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
// The notifications the models act on: a list's new selection
// (LBN_SELCHANGE), a field that lost the focus (EN_KILLFOCUS).
inline constexpr int kLbnSelChange = 1;
inline constexpr int kEnKillFocus = 0x200;

// The scroll record of a pair of lists (the platform's SCROLLINFO).
struct ScrollRecord {
    int min = 0;
    int max = -1;  // rows - 1
    int page = 9;  // the rows a list shows
    int pos = 0;   // the top row
    friend bool operator==(const ScrollRecord&, const ScrollRecord&) = default;
};

// What a row of the window list tells of its window beyond its texts: that
// its program runs as administrator (its windows refuse to be moved), or
// that it has stopped answering.
enum class RowMark { None, Refused, NotAnswering };

class DialogView {
public:
    virtual ~DialogView() = default;

    // --- controls ---
    virtual void Enable(int id, bool on) = 0;
    virtual void Show(int id, bool on) = 0;
    virtual void SetCheck(int id, bool on) = 0;
    virtual bool IsChecked(int id) = 0;
    virtual void SetText(int id, std::string_view text) = 0;
    // A field's text, read with room for 255 bytes and the NUL.
    virtual std::string Text(int id) = 0;
    // The control that has the keyboard focus, or 0.
    virtual int Focused() = 0;
    // Whether `control` is one of this dialog's own controls (a help request
    // from a dialog in front of this one reaches it with that dialog's).
    virtual bool Owns(WindowHandle control) = 0;

    // --- lists: list boxes and drop-down lists ---
    virtual void ClearRows(int id) = 0;
    virtual void AddRow(int id, std::string_view text) = 0;
    virtual void InsertRow(int id, int row, std::string_view text) = 0;
    virtual void DeleteRow(int id, int row) = 0;
    virtual int RowCount(int id) = 0;
    virtual std::string Row(int id, int row) = 0;
    virtual int Selected(int id) = 0;  // -1: none
    virtual void Select(int id, int row) = 0;
    virtual int TopRow(int id) = 0;
    virtual void SetTopRow(int id, int row) = 0;
    // Moves the list's view by one row, as its own scroll bar would.
    virtual void ScrollLine(int id, bool down) = 0;
    // The rows a list shows at once.
    virtual int RowsShown(int id) = 0;
    // Marks a list's row; the mark is drawn beside the row's own text, which
    // stays as it is, and goes with the row.
    virtual void MarkRow(int id, int row, RowMark mark) = 0;
    // Hands the record to a scroll-bar control.
    virtual void SetScrollBar(int id, const ScrollRecord& record) = 0;

    // --- what a dialog asks of the program ---
    // Ends the modal dialog with `code`.
    virtual void End(int code) = 0;
    // Posts command `id` to the dialog itself, to run again later.
    virtual void RepostCommand(int id) = 0;
    virtual void Sleep(int milliseconds) = 0;
    // A message box with no owner, always on top: a notice (exclamation icon)
    // or a help text (information icon).
    virtual void Notice(const char* text, const char* caption, bool help) = 0;
    // Shows the input dialog (105), modal over this one, with the input
    // model of this dialog's; true once it has closed (on Windows, before
    // this returns), false while it stays open.
    virtual bool RunInput() = 0;
    // Mouse capture for a pick, and the pick's cursor.
    virtual void Capture(bool on) = 0;
    virtual void SetPickCursor() = 0;
};

}  // namespace torvane::settings
