#include "settings/win32_dialogs.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "engine/win32_window_system.h"
#include "resource.h"
#include "settings/input_dialog.h"
#include "settings/settings_dialog.h"
#include "settings/texts.h"

namespace torvane::settings {
namespace {

// The platform's numbers that the portable models write down themselves.
static_assert(kOk == IDOK && kCancel == IDCANCEL && kLbnSelChange == LBN_SELCHANGE && kEnKillFocus == EN_KILLFOCUS);
static_assert(kLineUp == SB_LINEUP && kLineDown == SB_LINEDOWN && kThumbPosition == SB_THUMBPOSITION &&
              kThumbTrack == SB_THUMBTRACK);

struct Input;

// A dialog's controls and the program around it, over user32.
class Win32DialogView final : public DialogView {
public:
    explicit Win32DialogView(HWND dialog) : dialog_(dialog) {}

    void attach(HWND dialog) { dialog_ = dialog; }
    HWND item(int id) const { return ::GetDlgItem(dialog_, id); }
    LRESULT send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendDlgItemMessageA(dialog_, id, message, wParam, lParam);
    }
    // Drop-down lists take CB_ messages, list boxes LB_ ones.
    bool combo(int id) const { return id == IDC_STATE || id == IDC_KEY; }

    void Enable(int id, bool on) override {
        // A control that has the focus hands it on before it is disabled,
        // so that the keyboard goes on working in the dialog.
        if (!on && ::GetFocus() == item(id)) ::SendMessageA(dialog_, WM_NEXTDLGCTL, 0, FALSE);
        ::EnableWindow(item(id), on);
    }
    void Show(int id, bool on) override { ::ShowWindow(item(id), on ? SW_SHOWNORMAL : SW_HIDE); }
    void SetCheck(int id, bool on) override { send(id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED); }
    bool IsChecked(int id) override { return send(id, BM_GETCHECK) == BST_CHECKED; }
    void SetText(int id, std::string_view text) override { ::SetDlgItemTextA(dialog_, id, std::string(text).c_str()); }
    std::string Text(int id) override {
        // Read as typed, then cut to 254 bytes on a character boundary.
        wchar_t wide[1024];
        const int units = ::GetDlgItemTextW(dialog_, id, wide, 1024);
        char narrow[4096];
        const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, units, narrow, sizeof narrow, nullptr, nullptr);
        return std::string(narrow, CharacterBoundary(narrow, bytes, WindowSystem::kTextCapacity - 1));
    }
    int Focused() override {
        HWND focus = ::GetFocus();
        return focus != nullptr && ::IsChild(dialog_, focus) ? ::GetDlgCtrlID(focus) : 0;
    }
    bool Owns(WindowHandle control) override {
        return ::GetParent(reinterpret_cast<HWND>(control)) == dialog_;
    }

    void ClearRows(int id) override { send(id, combo(id) ? CB_RESETCONTENT : LB_RESETCONTENT); }
    void AddRow(int id, std::string_view text) override {
        send(id, combo(id) ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::string(text).c_str()));
    }
    void InsertRow(int id, int row, std::string_view text) override {
        send(id, combo(id) ? CB_INSERTSTRING : LB_INSERTSTRING, row,
             reinterpret_cast<LPARAM>(std::string(text).c_str()));
    }
    void DeleteRow(int id, int row) override { send(id, combo(id) ? CB_DELETESTRING : LB_DELETESTRING, row); }
    void MarkRow(int id, int row, RowMark mark) override {
        send(id, LB_SETITEMDATA, row, static_cast<LPARAM>(mark));
        ::InvalidateRect(item(id), nullptr, FALSE);
    }
    int RowCount(int id) override { return static_cast<int>(send(id, combo(id) ? CB_GETCOUNT : LB_GETCOUNT)); }
    std::string Row(int id, int row) override {
        const LRESULT length = send(id, combo(id) ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, row);
        if (length <= 0) return {};
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        text.resize(std::max<LRESULT>(0, send(id, combo(id) ? CB_GETLBTEXT : LB_GETTEXT, row,
                                              reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }
    int Selected(int id) override { return static_cast<int>(send(id, combo(id) ? CB_GETCURSEL : LB_GETCURSEL)); }
    void Select(int id, int row) override { send(id, combo(id) ? CB_SETCURSEL : LB_SETCURSEL, row); }
    int TopRow(int id) override { return static_cast<int>(send(id, LB_GETTOPINDEX)); }
    void SetTopRow(int id, int row) override { send(id, LB_SETTOPINDEX, row); }
    void ScrollLine(int id, bool down) override { send(id, WM_VSCROLL, down ? SB_LINEDOWN : SB_LINEUP); }
    int RowsShown(int id) override {
        RECT client{};
        ::GetClientRect(item(id), &client);
        const LRESULT height = send(id, LB_GETITEMHEIGHT);
        return height > 0 ? static_cast<int>((client.bottom - client.top) / height) : 9;
    }
    void SetScrollBar(int id, const ScrollRecord& r) override {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS | SIF_DISABLENOSCROLL;
        info.nMin = r.min;
        info.nMax = r.max;
        info.nPage = static_cast<UINT>(r.page);
        info.nPos = r.pos;
        ::SetScrollInfo(item(id), SB_CTL, &info, TRUE);
    }

    void End(int code) override { ::EndDialog(dialog_, code); }
    void RepostCommand(int id) override { ::PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    void Sleep(int milliseconds) override { ::Sleep(static_cast<DWORD>(milliseconds)); }
    void Notice(const char* text, const char* caption, bool help) override {
        ::MessageBoxA(nullptr, text, caption, MB_OK | MB_TOPMOST | (help ? MB_ICONINFORMATION : MB_ICONWARNING));
    }
    bool RunInput() override;
    // The input dialog's view and model, which RunInput shows.
    Input* input = nullptr;
    void Capture(bool on) override {
        if (on) ::SetCapture(dialog_);
        else ::ReleaseCapture();
    }
    void SetPickCursor() override {
        ::SetCursor(::LoadCursorA(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(dialog_, GWLP_HINSTANCE)),
                                  "IDC_POINTER"));
    }

private:
    HWND dialog_;
};

// A dialog's model and the view it acts through, made by whoever runs the
// dialog and handed to its procedure, which keeps it in DWLP_USER. The
// settings dialog's model holds the input dialog's.
struct Input {
    Win32DialogView& view;
    InputDialog& model;
};
struct SettingsState {
    Win32DialogView view{nullptr}, inputView{nullptr};
    SettingsDialog model;
    Input input{inputView, model.input()};
    SettingsState(Shared& shared, WindowSystem& windows, SettingsHost& host)
        : model(shared, windows, host, view, inputView) {
        view.input = &input;
    }
};
using InputState = Input;

template <class State>
State* StateOf(HWND dialog) {
    return reinterpret_cast<State*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

// WM_INITDIALOG: the state is kept and given its dialog.
template <class State>
State* Attach(HWND dialog, LPARAM lParam) {
    auto* state = reinterpret_cast<State*>(lParam);
    ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    state->view.attach(dialog);
    SetSmallIcon(dialog);
    return state;
}

// Runs a dialog with `state` as its creation parameter; its end code.
template <class State>
INT_PTR Run(HWND owner, int dialog, DLGPROC proc, State& state) {
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    return ::DialogBoxParamA(instance, MAKEINTRESOURCEA(dialog), owner, proc, reinterpret_cast<LPARAM>(&state));
}

// The surface events of a pick, for either dialog.
template <class Model>
bool Pick(Model& model, UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN: model.Press(); return true;
        case WM_MOUSEMOVE: model.Move(); return true;
        case WM_LBUTTONUP: model.Release(); return true;
        case WM_CAPTURECHANGED: model.CaptureLost(); return true;
        default: return false;
    }
}

// The wheel over a rule or window list moves its pair, through the model,
// instead of the list alone.
LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR model) {
    if (message == WM_MOUSEWHEEL) {
        try {
            reinterpret_cast<SettingsDialog*>(model)->Wheel(::GetDlgCtrlID(list), GET_WHEEL_DELTA_WPARAM(wParam));
        } catch (...) {
        }
        return 0;
    }
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(list, &ListProc, 0);
    return ::DefSubclassProc(list, message, wParam, lParam);
}

// The window list's class names are drawn by the dialog: each row's text,
// and its mark (RowMark, the row's item data) at the row's right end.
void DrawMarkedRow(const DRAWITEMSTRUCT& row) {
    const HDC dc = row.hDC;
    if (row.itemID == static_cast<UINT>(-1)) {  // an empty list with the focus
        if ((row.itemAction & ODA_FOCUS) != 0) ::DrawFocusRect(dc, &row.rcItem);
        return;
    }
    const bool selected = (row.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &row.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetBkMode(dc, TRANSPARENT);
    const LRESULT length = ::SendMessageA(row.hwndItem, LB_GETTEXTLEN, row.itemID, 0);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) ::SendMessageA(row.hwndItem, LB_GETTEXT, row.itemID, reinterpret_cast<LPARAM>(text.data()));
    RECT area = row.rcItem;
    area.left += 2;
    const auto mark = static_cast<RowMark>(row.itemData);
    if (mark == RowMark::Refused || mark == RowMark::NotAnswering) {
        const char* label = mark == RowMark::Refused ? kMarkRefused : kMarkNotAnswering;
        ::SetTextColor(dc, selected ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(192, 0, 0));
        RECT at = area;
        ::DrawTextA(dc, label, -1, &at, DT_RIGHT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        SIZE size{};
        ::GetTextExtentPoint32A(dc, label, static_cast<int>(std::strlen(label)), &size);
        area.right -= size.cx + 4;
    }
    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ::DrawTextA(dc, text.c_str(), -1, &area, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if ((row.itemState & ODS_FOCUS) != 0) ::DrawFocusRect(dc, &row.rcItem);
}

INT_PTR CALLBACK InputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            Attach<InputState>(dialog, lParam)->model.Open();
            ::SetFocus(::GetDlgItem(dialog, IDC_INPUT_CLASS));
            return FALSE;  // the focus is set
        }
        InputState* state = StateOf<InputState>(dialog);
        if (state == nullptr) return FALSE;
        if (message == WM_COMMAND) {
            state->model.Command(LOWORD(wParam));
            return TRUE;
        }
        return Pick(state->model, message);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            SettingsState* state = Attach<SettingsState>(dialog, lParam);
            for (int id : {IDC_VISIBLE_CLASSES, IDC_VISIBLE_TITLES, IDC_RULE_CLASSES, IDC_RULE_TITLES})
                ::SetWindowSubclass(::GetDlgItem(dialog, id), &ListProc, 0, reinterpret_cast<DWORD_PTR>(&state->model));
            // The drawn list's rows as high as its neighbour's, so that the pair stays aligned.
            ::SendDlgItemMessageA(dialog, IDC_VISIBLE_CLASSES, LB_SETITEMHEIGHT, 0,
                                  ::SendDlgItemMessageA(dialog, IDC_VISIBLE_TITLES, LB_GETITEMHEIGHT, 0, 0));
            state->model.Open();
            return TRUE;
        }
        SettingsState* state = StateOf<SettingsState>(dialog);
        if (state == nullptr) return FALSE;
        switch (message) {
            case WM_COMMAND:
                state->model.Command(LOWORD(wParam), HIWORD(wParam));
                return TRUE;
            case WM_DRAWITEM:
                if (wParam != IDC_VISIBLE_CLASSES) return FALSE;
                DrawMarkedRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            case WM_VSCROLL:
                return state->model.Scroll(::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam),
                                           HIWORD(wParam));
            case WM_HELP: {
                const auto* help = reinterpret_cast<const HELPINFO*>(lParam);
                if (help->iContextType == HELPINFO_WINDOW)
                    state->model.Help(help->iCtrlId, reinterpret_cast<WindowHandle>(help->hItemHandle));
                return TRUE;
            }
            default:
                return Pick(state->model, message);
        }
    } catch (...) {
        return FALSE;
    }
}

bool Win32DialogView::RunInput() {
    Run(dialog_, IDD_INPUT, &InputDialogProc, *input);
    return true;
}

}  // namespace

void SetSmallIcon(HWND dialog) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    ::SendMessageA(dialog, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(::LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL))));
}

void RunSettingsDialog(HWND owner, Shared& shared, WindowSystem& windows, SettingsHost& host) {
    SettingsState state(shared, windows, host);
    Run(owner, IDD_SETTINGS, &SettingsDialogProc, state);
}

}  // namespace torvane::settings
