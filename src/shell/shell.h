// What the program does, in order: start, the commands of the tray menu, the
// tray icon's clicks, the hotkey, a second start, saves, the dialogs and the
// end. The main window's procedure hands every message to Shell::Handle; the
// Shell acts on the platform only through a ShellPort, so that the core's
// tests drive the very same order on a fake platform.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/window_system.h"
#include "engine/workers.h"
#include "engine/shared_state.h"
#include "settings/settings_file.h"
#include "settings/settings_dialog.h"

namespace torvane::shell {

// Private messages of the main window (WM_USER + n, WM_APP + n).
inline constexpr unsigned kSaveRequest = 0x0400 + 20;           // 1044
inline constexpr unsigned kSecondStartMessage = 0x0400 + 30;    // 1054
inline constexpr unsigned kTrayCallbackMessage = 0x0400 + 100;  // 1124
inline constexpr unsigned kShowNoticesMessage = 0x8000 + 1;     // notices due once the window runs
inline constexpr unsigned kRefusalsMessage = 0x8000 + 2;        // the scan has found windows that refuse commands

// The platform's messages that the Shell handles.
inline constexpr unsigned kWmCreate = 0x0001, kWmDestroy = 0x0002, kWmClose = 0x0010,
                          kWmQueryEndSession = 0x0011, kWmEndSession = 0x0016, kWmCommand = 0x0111,
                          kWmHotkey = 0x0312;
inline constexpr std::intptr_t kWmLButtonDown = 0x0201, kWmRButtonDown = 0x0204;

struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    friend bool operator==(const Message&, const Message&) = default;
};

struct MenuMarks {
    bool monitoringChecked;  // item 32779
    bool correctNowEnabled;  // item 32780
    friend bool operator==(const MenuMarks&, const MenuMarks&) = default;
};

// The hotkey's modifiers (MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN).
inline constexpr unsigned kModAlt = 1, kModControl = 2, kModShift = 4, kModWin = 8;

struct Hotkey {
    unsigned modifiers;  // kModAlt ...
    unsigned key;        // a virtual-key code
    friend bool operator==(const Hotkey&, const Hotkey&) = default;
};
Hotkey HotkeyFor(const SystemConfig& config);
// The chord as the settings dialog shows it, such as "Ctrl+Shift+Alt+space".
std::string ChordName(const Hotkey& hotkey);

enum class Dialog { Settings, About };

struct Point2 {
    int x, y;
};

// What the Shell asks of the platform: the main window's own messages, its
// notices, tray icon, hotkey and menu, the dialogs, documents and the end.
class ShellPort : public TrayIconHost {
public:
    // The tray icon's calls wait for the taskbar.
    virtual void RemoveTrayIcon() = 0;
    // Whether the taskbar answers within a quarter of a second.
    virtual bool TaskbarAnswers() = 0;
    // Posts a message to the main window, handled after the current one.
    virtual void Post(const Message& message) = 0;
    // The shell's notice: no owner, on top, the exclamation icon, caption
    // "Torvane". It waits for the user on Windows.
    virtual void Notice(const std::string& text) = 0;
    // A balloon notice over the tray icon, which must be there; it waits for
    // nobody. `title` fits in 63 bytes, `text` in 255.
    virtual void Balloon(const std::string& title, const std::string& text) = 0;
    // Hotkey id 0 of the main window, registered anew; false when refused.
    virtual bool RegisterHotkey(const Hotkey& hotkey) = 0;
    virtual void UnregisterHotkey() = 0;
    virtual void SetMenuMarks(const MenuMarks& marks) = 0;
    // The tray menu at the cursor; its command comes as WM_COMMAND.
    virtual void ShowMenu() = 0;
    virtual void LowerPriority() = 0;
    // The screen's width and height, for placing a dialog.
    virtual Point2 ScreenSize() = 0;
    // Runs a dialog modally with the main window at `origin` as its owner;
    // Shell::DialogClosed is called once it has closed (on Windows, before
    // this returns).
    virtual void RunDialog(Dialog dialog, Point2 origin) = 0;
    virtual void BringDialogToFront() = 0;
    // Ends every dialog and message box of the program, inner ones first.
    virtual void CloseDialogs() = 0;
    // Opens a document with the program the system associates with it.
    enum class Opening { Opened, Missing, NoProgram, Failed };
    virtual Opening OpenDocument(const char* path) = 0;
    // Opens a text in Notepad; false when it cannot.
    virtual bool OpenInNotepad(const char* path) = 0;
    // Destroys the main window: WM_DESTROY comes to Shell::Handle at once.
    virtual void DestroyMainWindow() = 0;
    // Ends the message loop with `code`.
    virtual void Quit(int code) = 0;
    // Ends the process with `code` at once, freeing nothing: a worker that
    // has not ended may still use what the program holds.
    virtual void EndNow(int code) = 0;
};

class Shell final : public settings::SettingsHost {
public:
    Shell(Shared& shared, WindowSystem& windows, SettingsFile& settings, ShellPort& port)
        : shared_(shared), windows_(windows), settings_(settings), port_(port) {}

    // One message of the main window; nothing when it is not the Shell's
    // (the window procedure then hands it on to DefWindowProc).
    std::optional<std::intptr_t> Handle(const Message& message);
    // The dialog that RunDialog showed has closed.
    void DialogClosed(Dialog dialog);
    // The message loop failed: the program ends as the exit command ends it.
    void LoopFailed();

    // The settings dialog has installed its copy: register the hotkey, save.
    void Committed() override;

    bool dialogOpen() const { return !open_.empty(); }

private:
    void Start();
    bool WorkersStopped();
    void Destroyed();
    void SessionEnds();
    void Command(const Message& message);
    void Tray(const Message& message);
    void SecondStart();
    void CorrectNow(const Message& message);
    void SetMarks();
    void RegisterHotkey();
    void Save();
    void Exit();
    void OpenDialog(Dialog dialog);
    void OpenDocument(const char* path, bool text);
    void Tell(const std::string& text);
    void TellRefusals();

    Shared& shared_;
    WindowSystem& windows_;
    SettingsFile& settings_;
    ShellPort& port_;
    bool Opened(Dialog dialog) const;

    std::vector<Dialog> open_;            // the dialogs the Shell runs, the innermost last
    int telling_ = 0;                     // notices of the Shell waiting for the user
    std::optional<Message> afterDialog_;  // a command waiting for the dialogs to close
    bool started_ = false;                // the message loop runs
    bool ending_ = false;                 // the end has begun: nothing new starts
    bool exiting_ = false;                // the end waits for what is open to close
    bool savePending_ = false;            // a save request waits in the queue
    bool saveFailing_ = false;            // the last save failed (the user has been told)
    std::vector<std::string> notices_;    // due once the message loop runs
    std::optional<Hotkey> refused_;       // the chord last refused, told once
    std::optional<std::chrono::steady_clock::time_point> workersEndBy_;  // the end's wait for the workers
};

}  // namespace torvane::shell
