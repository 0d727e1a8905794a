// A dialog in memory for the dialog models' tests: controls by id that keep
// what a real control keeps, and a record of what the dialog asked of the
// program. A list shows `rowsShown` rows and keeps its top row within them,
// as a list box does.
#pragma once

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "resource.h"
#include "settings/dialog_view.h"

namespace torvane::testing {

class FakeDialog final : public settings::DialogView {
public:
    struct Control {
        bool enabled = true, visible = true, checked = false;
        std::string text;
        std::vector<std::string> rows;
        std::vector<settings::RowMark> marks;  // one per row
        int selected = -1, top = 0;
        settings::ScrollRecord bar;
    };
    std::map<int, Control> controls;
    int rowsShown = 9;
    int focus = 0;
    int ended = -1;                       // the end code, once ended
    std::vector<int> reposted;            // commands posted to itself
    std::vector<std::string> notices;     // "caption: text", "help caption: text"
    bool captured = false, pickCursor = false;  // the mouse, by a pick, and its cursor
    bool inputShown = false;              // the input dialog was asked for

    Control& operator[](int id) { return controls[id]; }
    void Enable(int id, bool on) override { controls[id].enabled = on; }
    void Show(int id, bool on) override { controls[id].visible = on; }
    void SetCheck(int id, bool on) override { controls[id].checked = on; }
    bool IsChecked(int id) override { return controls[id].checked; }
    void SetText(int id, std::string_view text) override { controls[id].text = text; }
    std::string Text(int id) override { return controls[id].text.substr(0, 254); }
    int Focused() override { return focus; }
    // A control's window handle: unique to this dialog and id.
    WindowHandle HandleOf(int id) { return reinterpret_cast<WindowHandle>(&controls[id]); }
    bool Owns(WindowHandle control) override {
        for (auto& [id, c] : controls) {
            if (reinterpret_cast<WindowHandle>(&c) == control) return true;
        }
        return false;
    }
    void ClearRows(int id) override {
        controls[id].rows.clear(), controls[id].marks.clear(), controls[id].selected = -1, controls[id].top = 0;
    }
    // The key list shows its rows in lower case, and keeps them so (CBS_LOWERCASE).
    void AddRow(int id, std::string_view text) override {
        std::string row(text);
        if (id == IDC_KEY) std::transform(row.begin(), row.end(), row.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        controls[id].rows.push_back(row);
        controls[id].marks.push_back(settings::RowMark::None);
    }
    void InsertRow(int id, int row, std::string_view text) override {
        auto& rows = controls[id].rows;
        rows.insert(rows.begin() + row, std::string(text));
        controls[id].marks.insert(controls[id].marks.begin() + row, settings::RowMark::None);
    }
    void DeleteRow(int id, int row) override {
        Control& c = controls[id];
        c.rows.erase(c.rows.begin() + row);
        c.marks.erase(c.marks.begin() + row);
        if (c.selected == row) c.selected = -1;
        else if (c.selected > row) --c.selected;
        c.top = std::clamp(c.top, 0, std::max(0, static_cast<int>(c.rows.size()) - rowsShown));
    }
    int RowCount(int id) override { return static_cast<int>(controls[id].rows.size()); }
    std::string Row(int id, int row) override { return controls[id].rows.at(static_cast<std::size_t>(row)); }
    int Selected(int id) override { return controls[id].selected; }
    void Select(int id, int row) override {
        Control& c = controls[id];
        c.selected = row >= 0 && row < RowCount(id) ? row : -1;
        // The list scrolls the selected row into view.
        if (c.selected >= 0 && c.selected < c.top) c.top = c.selected;
        if (c.selected >= c.top + rowsShown) c.top = c.selected - rowsShown + 1;
    }
    int TopRow(int id) override { return controls[id].top; }
    void SetTopRow(int id, int row) override {
        controls[id].top = std::clamp(row, 0, std::max(0, RowCount(id) - rowsShown));
    }
    void ScrollLine(int id, bool down) override { SetTopRow(id, controls[id].top + (down ? 1 : -1)); }
    int RowsShown(int) override { return rowsShown; }
    void MarkRow(int id, int row, settings::RowMark mark) override { controls[id].marks.at(static_cast<std::size_t>(row)) = mark; }
    // A bar keeps no page larger than its range, as the platform's do.
    void SetScrollBar(int id, const settings::ScrollRecord& r) override {
        controls[id].bar = r;
        controls[id].bar.page = std::min(r.page, std::max(0, r.max - r.min + 1));
    }
    void End(int code) override { ended = code; }
    void RepostCommand(int id) override { reposted.push_back(id); }
    // Really waits: a worker holding the busy flag gets to finish.
    void Sleep(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
    void Notice(const char* text, const char* caption, bool help) override {
        notices.push_back(std::string(help ? "help " : "") + caption + ": " + text);
    }
    bool RunInput() override { return !(inputShown = true); }  // it stays open: the test closes it
    void Capture(bool on) override { captured = on, pickCursor = pickCursor && on; }  // the cursor is reset
    void SetPickCursor() override { pickCursor = captured; }
};

}  // namespace torvane::testing
