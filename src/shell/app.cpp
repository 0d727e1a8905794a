#include "shell/app.h"

#include <shellapi.h>

#include <cstring>

#include "resource.h"
#include "engine/corrections.h"
#include "settings/win32_dialogs.h"
#include "shell/texts.h"

namespace torvane {

namespace {

App* AppOf(HWND window) { return reinterpret_cast<App*>(::GetWindowLongPtrA(window, GWLP_USERDATA)); }

// What the about box is given: where the App keeps the open dialog's handle.
struct DialogContext {
    HWND* openDialog;
};

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            *reinterpret_cast<DialogContext*>(lParam)->openDialog = dialog;
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

}  // namespace

void ShowNotice(const char* text) {
    ::MessageBoxA(nullptr, text, texts::kProductName, MB_OK | MB_ICONWARNING | MB_TOPMOST);
}

// --- the tray icon ---

void TrayIcon::attach(HINSTANCE instance, HWND window) {
    instance_ = instance;
    window_ = window;
}

NOTIFYICONDATAA TrayIcon::record() const {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the record as first defined
    data.hWnd = window_;
    data.uID = shell::kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = shell::kTrayCallbackMessage;
    data.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_SMALL));
    ::lstrcpyA(data.szTip, texts::kProductName);
    return data;
}

void TrayIcon::AddTrayIcon() {
    NOTIFYICONDATAA data = record();
    ::Shell_NotifyIconA(NIM_ADD, &data);
}

void TrayIcon::RemoveTrayIcon() {
    NOTIFYICONDATAA data = record();
    ::Shell_NotifyIconA(NIM_DELETE, &data);
}

// --- start-up and the message loop ---

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
    shared_.MainWindow.store(reinterpret_cast<WindowHandle>(window));

    MSG msg;
    BOOL got;
    while ((got = ::GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    if (got == 0) return static_cast<int>(msg.wParam);
    // The message loop failed: end as the exit command does, and say so.
    if (::IsWindow(window)) Exit();
    return 1;
}

LRESULT CALLBACK App::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    App* app = AppOf(window);
    if (app == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    // Nothing may unwind through the system's code: a request that failed
    // for lack of memory is dropped.
    try {
        return app->Handle(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

LRESULT App::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_CLOSE:
            ::PostMessageA(window, WM_COMMAND, shell::kCmdExit, lParam);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            ::BeginPaint(window, &ps);
            ::EndPaint(window, &ps);
            return 0;
        }
        case WM_COMMAND:
            OnCommand(window, message, wParam, lParam);
            return 0;
        case WM_HOTKEY:
            // Whether monitoring is on or not: the marks wait until it is.
            RequestCorrection(window, message, wParam, lParam);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The session ends and the process with it once this returns:
            // end now, so that a save still due is written.
            if (wParam) Exit();
            return 0;
        default:
            break;
    }
    if (message == shell::kSaveRequest) {
        Save();
        return 0;
    }
    if (message == shell::kUnreadableSettingsMessage) {
        ShowNotice(texts::kSettingsUnreadable);
        return 0;
    }
    if (message == shell::kSecondStartMessage) {
        OnSecondStart(window);
        return 0;
    }
    if (message == shell::kTrayCallbackMessage) {
        OnTray(window, wParam, lParam);
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void App::OnCreate(HWND window) {
    window_ = window;
    shared_.PollInterval = 10;
    shared_.busy.release();
    settings_.Load(shared_);
    if (settings_.keepsExistingFile()) ::PostMessageA(window, shell::kUnreadableSettingsMessage, 0, 0);
    ApplyMenuMarks(window);
    tray_.attach(instance_, window);
    if (shared_.config.TaskIcon) tray_.AddTrayIcon();
    RegisterHotkey(window);
    LowerPriority(window);
    StartWorkers(shared_, windows_, tray_);
}

void App::OnDestroy() {
    StopWorkers(shared_);
    WaitForWorkers(shared_);
    // No worker is left that could hold the flag: a save still due goes through.
    if (savePending_) Save();
    shared_.busy.tryTake();
    ::UnregisterHotKey(window_, shell::kHotkeyId);
    tray_.RemoveTrayIcon();
    shared_.table.release();
    shared_.busy.release();
    ::PostQuitMessage(0);
}

void App::RequestSave() {
    savePending_ = true;
    ::PostMessageA(window_, shell::kSaveRequest, 0, 0);
}

void App::Save() {
    // Re-posted while a worker holds the flag: still due.
    savePending_ = false;
    settings_.Save(shared_, [this] { RequestSave(); });
}

void App::Exit() {
    StopWorkers(shared_);
    ::DestroyWindow(window_);
}

void App::LowerPriority(HWND window) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (HANDLE process = ::OpenProcess(PROCESS_ALL_ACCESS, TRUE, processId)) {
        ::SetPriorityClass(process, IDLE_PRIORITY_CLASS);
        ::CloseHandle(process);
    }
}

void App::ApplyMenuMarks(HWND window) {
    const shell::MenuMarks marks = shell::MarksFor(shared_.config);
    HMENU menu = ::GetMenu(window);
    ::CheckMenuItem(menu, shell::kCmdToggleMonitoring, marks.monitoringChecked ? MF_CHECKED : MF_UNCHECKED);
    ::EnableMenuItem(menu, shell::kCmdCorrectNow, marks.correctNowEnabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED));
}

void App::RegisterHotkey(HWND window) {
    const shell::Hotkey hotkey = shell::HotkeyFor(shared_.config);
    ::RegisterHotKey(window, shell::kHotkeyId, hotkey.modifiers, hotkey.key);
}

void App::RequestCorrection(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CorrectNow(shared_) == CorrectNowResult::GaveUp) {
        const shell::Message again = shell::RepostOf({message, wParam, lParam});
        ::PostMessageA(window, again.message, again.wParam, again.lParam);
    }
}

void App::OnTray(HWND window, WPARAM wParam, LPARAM lParam) {
    switch (shell::OnTrayCallback(shared_.config, lParam)) {
        case shell::TrayAction::CorrectNow:
            RequestCorrection(window, shell::kTrayCallbackMessage, wParam, lParam);
            break;
        case shell::TrayAction::WarnMonitoringOff:
            ShowNotice(texts::kMonitoringOff);
            break;
        case shell::TrayAction::ShowMenu:
            ShowMenu(window);
            break;
        case shell::TrayAction::Nothing:
            break;
    }
}

void App::ShowMenu(HWND window) {
    ::SetForegroundWindow(window);
    POINT at;
    ::GetCursorPos(&at);
    ::TrackPopupMenu(::GetSubMenu(::GetMenu(window), 0), 0, at.x, at.y, 0, window, nullptr);
    // Lets the menu close properly when the user clicks elsewhere.
    ::PostMessageA(window, WM_NULL, 0, 0);
}

void App::OnSecondStart(HWND window) {
    switch (shell::OnSecondStart(shared_.config)) {
        case shell::SecondStartAction::WarnAlreadyRunning:
            ShowNotice(texts::kAlreadyRunning);
            break;
        case shell::SecondStartAction::AddIconAndSave:
            tray_.AddTrayIcon();
            ::SendMessageA(window, shell::kSaveRequest, 0, 0);
            break;
    }
}

void App::OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const int command = LOWORD(wParam);
    switch (shell::WhileModal(modal_, command)) {
        case shell::CommandAction::BringDialogToFront:
            if (modalDialog_ != nullptr) ::SetForegroundWindow(modalDialog_);
            return;
        case shell::CommandAction::CloseDialogThenRepost:
            if (modalDialog_ != nullptr) ::EndDialog(modalDialog_, IDCANCEL);
            ::PostMessageA(window, message, wParam, lParam);
            return;
        case shell::CommandAction::Run:
            break;
    }
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    switch (command) {
        case shell::kCmdCorrectNow:
            RequestCorrection(window, message, wParam, lParam);
            break;
        case shell::kCmdToggleMonitoring:
            shell::ToggleMonitoring(shared_.config);
            ApplyMenuMarks(window);
            RequestSave();
            break;
        case shell::kCmdSettings: {
            settings::SettingsDialogParams params{&modalDialog_, shared_, windows_, window, [this] { RequestSave(); }};
            RunDialog(window, IDD_SETTINGS, shell::Modal::Settings,
                      shell::SettingsDialogOrigin(screenWidth, screenHeight), &settings::SettingsDialogProc,
                      reinterpret_cast<LPARAM>(&params));
            if (!shared_.config.TaskIcon) tray_.RemoveTrayIcon();
            break;
        }
        case shell::kCmdAbout: {
            DialogContext context{&modalDialog_};
            RunDialog(window, IDD_ABOUTBOX, shell::Modal::About, shell::AboutBoxOrigin(screenWidth, screenHeight),
                      &AboutProc, reinterpret_cast<LPARAM>(&context));
            break;
        }
        case shell::kCmdHelp:
            OpenDocument(window, texts::kHelpDocument, texts::kNoHelpFile);
            break;
        case shell::kCmdReadme:
            OpenDocument(window, texts::kReadmeDocument, texts::kNoReadmeFile);
            break;
        case shell::kCmdExit:
            Exit();
            break;
        default:
            ::DefWindowProcA(window, message, wParam, lParam);
            break;
    }
}

void App::RunDialog(HWND window, int dialog, shell::Modal kind, shell::Origin origin, DLGPROC proc, LPARAM param) {
    // The dialog opens at the top-left corner of its owner's client area.
    ::MoveWindow(window, origin.x, origin.y, 0, 0, FALSE);
    const shell::Modal outer = modal_;
    HWND outerDialog = modalDialog_;
    modal_ = kind;
    ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(dialog), window, proc, param);
    modal_ = outer;
    modalDialog_ = outerDialog;
    // A dialog's loop drops the message it takes after its end was asked for
    // inside a message sent from another program (an automation tool's click
    // on OK): the save request posted just before may be that one. (When it
    // was not, it writes the same bytes once more.)
    if (savePending_) Save();
}

void App::OpenDocument(HWND window, const char* document, const char* missingText) {
    HINSTANCE result = ::ShellExecuteA(window, "open", document, nullptr, nullptr, SW_SHOWNORMAL);
    if (!shell::DocumentOpened(reinterpret_cast<std::intptr_t>(result))) ShowNotice(missingText);
}

}  // namespace torvane
