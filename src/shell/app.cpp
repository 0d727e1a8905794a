#include "shell/app.h"

#include <wtsapi32.h>

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
              shell::kTrayCallbackMessage == WM_USER + 100 && shell::kShowNoticesMessage == WM_APP + 1 &&
              shell::kRefusalsMessage == WM_APP + 2);
static_assert(shell::kModAlt == MOD_ALT && shell::kModControl == MOD_CONTROL && shell::kModShift == MOD_SHIFT &&
              shell::kModWin == MOD_WIN);

constexpr UINT kTrayIconId = 1;
constexpr int kHotkeyId = 0;
// The program's mutex in this session, and how long a second start waits
// for the copy that holds it to show its window or to end.
constexpr char kInstanceMutex[] = "Local\\Torvane.ZrkwinMainWindowClass";
constexpr int kInstanceWaits = 100, kInstancePauseMs = 50;

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            settings::SetSmallIcon(dialog);
            // On OK: the version's field would take the focus and show a caret.
            ::SetFocus(::GetDlgItem(dialog, IDOK));
            return FALSE;
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

// The messages after which the displays may differ: a monitor or a
// resolution, a work area, a resume, a session unlocked.
bool ChangesDisplays(UINT message, WPARAM wParam) {
    switch (message) {
        case WM_DISPLAYCHANGE: return true;
        case WM_SETTINGCHANGE: return wParam == SPI_SETWORKAREA;
        case WM_POWERBROADCAST: return wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND;
        case WM_WTSSESSION_CHANGE: return wParam == WTS_SESSION_UNLOCK;
        default: return false;
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

bool App::FirstCopy() {
    // The mutex is taken before the window is looked for: two copies started
    // together would both find no window yet.
    instanceMutex_ = ::CreateMutexA(nullptr, TRUE, kInstanceMutex);
    if (instanceMutex_ != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS) return true;
    // Another copy holds it (one that runs as administrator, when this one
    // may not even open it). It is starting, running or ending: its window
    // shows that it runs; a copy that ends leaves the mutex to this one.
    for (int wait = 0; wait < kInstanceWaits; ++wait) {
        if (instanceMutex_ != nullptr) {
            const DWORD got = ::WaitForSingleObject(instanceMutex_, kInstancePauseMs);
            if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) return true;
        } else {
            ::Sleep(kInstancePauseMs);
        }
        if (::FindWindowA(texts::kMainWindowClass, texts::kProductName)) return false;
    }
    return false;  // a copy that neither runs nor ends: this one leaves it be
}

int App::Run(int showCommand) {
    // One copy per session: a running one is told of the second start. An
    // older copy holds no mutex, and is found by its window alone.
    if (!FirstCopy() || ::FindWindowA(texts::kMainWindowClass, texts::kProductName)) {
        if (HWND running = ::FindWindowA(texts::kMainWindowClass, texts::kProductName))
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
    // A copy that runs as administrator still hears a second start, and the
    // taskbar's clicks on its icon, from programs that do not.
    for (UINT message : {shell::kSecondStartMessage, shell::kTrayCallbackMessage})
        ::ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
    ::WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
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
    if (ChangesDisplays(message, wParam)) app->windows_.DisplaysChanged();
    if (message == WM_DESTROY) ::WTSUnRegisterSessionNotification(window);
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

void App::Balloon(const std::string& title, const std::string& text) {
    // The seed's record knows no balloon: the larger one that does.
    NOTIFYICONDATAA data = TrayRecord();
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_WARNING;
    data.uTimeout = 15000;  // before Vista; the system's own time since
    ::lstrcpynA(data.szInfoTitle, title.c_str(), sizeof data.szInfoTitle);
    ::lstrcpynA(data.szInfo, text.c_str(), sizeof data.szInfo);
    ::Shell_NotifyIconA(NIM_MODIFY, &data);
}

void App::RefusalsWaiting() { ::PostMessageA(window_, shell::kRefusalsMessage, 0, 0); }

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

shell::ShellPort::Opening App::OpenDocument(const char* path) {
    if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return Opening::Missing;
    // ShellExecute can report success with no program to open the file: the
    // system is asked first which one would.
    char program[MAX_PATH] = "";
    if (reinterpret_cast<INT_PTR>(::FindExecutableA(path, nullptr, program)) <= 32 || program[0] == '\0')
        return Opening::NoProgram;
    // ShellExecute reports success with a value above 32.
    return reinterpret_cast<INT_PTR>(::ShellExecuteA(window_, "open", path, nullptr, nullptr, SW_SHOWNORMAL)) > 32
               ? Opening::Opened
               : Opening::Failed;
}

bool App::OpenInNotepad(const char* path) {
    return reinterpret_cast<INT_PTR>(::ShellExecuteA(window_, "open", "notepad.exe", path, nullptr, SW_SHOWNORMAL)) > 32;
}

void App::DestroyMainWindow() { ::DestroyWindow(window_); }

void App::Quit(int code) { ::PostQuitMessage(code); }

void App::EndNow(int code) { ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code)); }

}  // namespace torvane
