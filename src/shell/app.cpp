#include "shell/app.h"

#include <cstring>

#include "engine/scan.h"
#include "resource.h"
#include "settings/win32_dialogs.h"
#include "shell/texts.h"

namespace torvane {

namespace {

// The platform's numbers that the portable shell writes down itself.
static_assert(shell::kWmCreate == WM_CREATE && shell::kWmDestroy == WM_DESTROY && shell::kWmClose == WM_CLOSE &&
              shell::kWmQueryEndSession == WM_QUERYENDSESSION && shell::kWmEndSession == WM_ENDSESSION &&
              shell::kWmCommand == WM_COMMAND && shell::kWmHotkey == WM_HOTKEY);
static_assert(shell::kWmLButtonDown == WM_LBUTTONDOWN && shell::kWmRButtonDown == WM_RBUTTONDOWN);
static_assert(shell::kSaveRequest == WM_USER + 20 && shell::kSecondStartMessage == WM_USER + 30 &&
              shell::kTrayCallbackMessage == WM_USER + 100 && shell::kShowNoticesMessage == WM_APP + 1);
static_assert(shell::kModAlt == MOD_ALT && shell::kModControl == MOD_CONTROL && shell::kModShift == MOD_SHIFT &&
              shell::kModWin == MOD_WIN);

constexpr UINT kTrayIconId = 1;
constexpr int kHotkeyId = 0;

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            settings::SetSmallIcon(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

BOOL CALLBACK EndIfDialog(HWND window, LPARAM) {
    char name[16];
    // Dialogs and message boxes alike are of the dialog class.
    if (::GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0)
        ::EndDialog(window, IDCANCEL);
    return TRUE;
}

}  // namespace

int App::Run(int showCommand) {
    // One copy per desktop: a running one is told of the second start.
    if (HWND running = ::FindWindowA(texts::kMainWindowClass, texts::kProductName)) {
        ::PostMessageA(running, shell::kSecondStartMessage, reinterpret_cast<WPARAM>(instance_),
                       static_cast<LPARAM>(showCommand));
        return 0;
    }

    WNDCLASSEXA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &App::WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_APP));
    wc.hIconSm = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_SMALL));
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN);
    wc.lpszClassName = texts::kMainWindowClass;
    ::RegisterClassExA(&wc);

    HWND window = ::CreateWindowExA(0, texts::kMainWindowClass, texts::kProductName, WS_OVERLAPPEDWINDOW,
                                    CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance_, this);
    if (window == nullptr) return 0;
    ::ShowWindow(window, SW_HIDE);
    ::UpdateWindow(window);

    MSG msg;
    BOOL got;
    while ((got = ::GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    if (got == 0) return static_cast<int>(msg.wParam);
    // The message loop failed: end as the exit command does, and say so.
    if (::IsWindow(window)) shell_.LoopFailed();
    return 1;
}

LRESULT CALLBACK App::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* app = static_cast<App*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        app->window_ = window;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
    }
    auto* app = reinterpret_cast<App*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (app == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        ::BeginPaint(window, &ps);
        ::EndPaint(window, &ps);
        return 0;
    }
    // Nothing may unwind through the system's code: a request that failed
    // for lack of memory is dropped.
    try {
        if (const auto result = app->shell_.Handle(shell::Message{message, wParam, lParam})) return *result;
    } catch (...) {
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// --- the tray icon: the record as first defined, rebuilt before every add ---

NOTIFYICONDATAA App::TrayRecord() const {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = shell::kTrayCallbackMessage;
    data.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_SMALL));
    ::lstrcpyA(data.szTip, texts::kProductName);
    return data;
}

void App::AddTrayIcon() {
    NOTIFYICONDATAA data = TrayRecord();
    ::Shell_NotifyIconA(NIM_ADD, &data);
}

void App::RemoveTrayIcon() {
    NOTIFYICONDATAA data = TrayRecord();
    ::Shell_NotifyIconA(NIM_DELETE, &data);
}

bool App::TaskbarAnswers() {
    // The window Shell_NotifyIcon sends to.
    HWND taskbar = ::FindWindowA(kTaskbarClass, nullptr);
    DWORD_PTR ignored = 0;
    return taskbar != nullptr &&
           ::SendMessageTimeoutA(taskbar, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 250, &ignored) != 0;
}

// --- the rest of the port ---

void App::Post(const shell::Message& m) {
    ::PostMessageA(window_, m.message, static_cast<WPARAM>(m.wParam), static_cast<LPARAM>(m.lParam));
}

void App::Notice(const std::string& text) {
    ::MessageBoxA(nullptr, text.c_str(), texts::kProductName, MB_OK | MB_ICONWARNING | MB_TOPMOST);
}

bool App::RegisterHotkey(const shell::Hotkey& hotkey) {
    ::UnregisterHotKey(window_, kHotkeyId);
    return ::RegisterHotKey(window_, kHotkeyId, hotkey.modifiers, hotkey.key) != FALSE;
}

void App::UnregisterHotkey() { ::UnregisterHotKey(window_, kHotkeyId); }

void App::SetMenuMarks(const shell::MenuMarks& marks) {
    HMENU menu = ::GetMenu(window_);
    ::CheckMenuItem(menu, IDM_MONITORING, marks.monitoringChecked ? MF_CHECKED : MF_UNCHECKED);
    ::EnableMenuItem(menu, IDM_CORRECT_NOW, marks.correctNowEnabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED));
}

void App::ShowMenu() {
    ::SetForegroundWindow(window_);
    POINT at;
    ::GetCursorPos(&at);
    ::TrackPopupMenu(::GetSubMenu(::GetMenu(window_), 0), 0, at.x, at.y, 0, window_, nullptr);
    // Lets the menu close properly when the user clicks elsewhere.
    ::PostMessageA(window_, WM_NULL, 0, 0);
}

void App::LowerPriority() { ::SetPriorityClass(::GetCurrentProcess(), IDLE_PRIORITY_CLASS); }

shell::Point2 App::ScreenSize() { return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}; }

void App::RunDialog(shell::Dialog dialog, shell::Point2 origin) {
    // A dialog opens at the top-left corner of its owner's client area.
    ::MoveWindow(window_, origin.x, origin.y, 0, 0, FALSE);
    if (dialog == shell::Dialog::Settings) {
        settings::RunSettingsDialog(window_, shared_, windows_, shell_);
    } else {
        ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), window_, &AboutProc, 0);
    }
    shell_.DialogClosed(dialog);
}

void App::BringDialogToFront() { ::SetForegroundWindow(::GetLastActivePopup(window_)); }

void App::CloseDialogs() { ::EnumThreadWindows(::GetCurrentThreadId(), &EndIfDialog, 0); }

bool App::OpenDocument(const char* path) {
    // ShellExecute reports success with a value above 32.
    return reinterpret_cast<INT_PTR>(::ShellExecuteA(window_, "open", path, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

void App::DestroyMainWindow() { ::DestroyWindow(window_); }

void App::Quit(int code) { ::PostQuitMessage(code); }

void App::EndNow(int code) { ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code)); }

}  // namespace torvane
