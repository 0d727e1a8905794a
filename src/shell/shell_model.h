// What the main window decides, apart from the window itself: menu marks,
// what a tray event, a second start or a command leads to, where dialogs go,
// and which request is re-posted when the busy flag stays held. The Win32
// window procedure only carries these decisions out.
#pragma once

#include <cstdint>

#include "rules/rule_table.h"

namespace torvane::shell {

// Commands of menu 109 and the about box.
inline constexpr int kCmdAbout = 104;
inline constexpr int kCmdExit = 105;
inline constexpr int kCmdSettings = 32772;
inline constexpr int kCmdRemark = 32774;  // the hidden menu's items: no handler
inline constexpr int kCmdToggleMonitoring = 32779;
inline constexpr int kCmdCorrectNow = 32780;
inline constexpr int kCmdHelp = 32781;
inline constexpr int kCmdReadme = 32782;

// Private messages of the main window (WM_USER + n).
inline constexpr unsigned kWmUser = 0x0400;
inline constexpr unsigned kSaveRequest = kWmUser + 20;         // 1044
inline constexpr unsigned kSecondStartMessage = kWmUser + 30;  // 1054
inline constexpr unsigned kTrayCallbackMessage = kWmUser + 100;  // 1124
// Shows the notice that zrk.ini could not be read, once the window runs.
inline constexpr unsigned kUnreadableSettingsMessage = 0x8000 + 1;  // WM_APP + 1

// Platform numbers the decisions use.
inline constexpr unsigned kWmCommand = 0x0111;
inline constexpr unsigned kWmHotkey = 0x0312;
inline constexpr std::intptr_t kWmLButtonDown = 0x0201;
inline constexpr std::intptr_t kWmRButtonDown = 0x0204;
inline constexpr int kTrayIconId = 1;
inline constexpr int kHotkeyId = 0;

struct MenuMarks {
    bool monitoringChecked;  // item 32779
    bool correctNowEnabled;  // item 32780
    friend bool operator==(const MenuMarks&, const MenuMarks&) = default;
};
MenuMarks MarksFor(const SystemConfig& config);

// Flips monitoring; the new marks are returned and a save is due.
MenuMarks ToggleMonitoring(SystemConfig& config);

enum class TrayAction { Nothing, CorrectNow, WarnMonitoringOff, ShowMenu };
TrayAction OnTrayCallback(const SystemConfig& config, std::intptr_t lParam);

// A second start of the program: with the icon shown, only a notice; without
// it, the icon is added, TaskIcon set and the file saved at once.
enum class SecondStartAction { WarnAlreadyRunning, AddIconAndSave };
SecondStartAction OnSecondStart(SystemConfig& config);

struct Hotkey {
    unsigned modifiers;  // MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4, MOD_WIN 8
    unsigned key;        // a virtual-key code
    friend bool operator==(const Hotkey&, const Hotkey&) = default;
};
Hotkey HotkeyFor(const SystemConfig& config);

// Where the hidden main window goes before a dialog opens at its top-left.
struct Origin {
    int x;
    int y;
    friend bool operator==(const Origin&, const Origin&) = default;
};
Origin SettingsDialogOrigin(int screenWidth, int screenHeight);
Origin AboutBoxOrigin(int screenWidth, int screenHeight);

// The message to post back when CorrectNow gave up: the same message with the
// same parameters, except that a tray click comes back as a button-down so
// that monitoring is tested again.
struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    friend bool operator==(const Message&, const Message&) = default;
};
Message RepostOf(const Message& request);

// ShellExecute reports success with a value above 32.
inline bool DocumentOpened(std::intptr_t shellExecuteResult) { return shellExecuteResult > 32; }

// The modal dialogs of the main window. While one is open the tray menu and
// the hotkey still reach the main window: a second settings dialog must not
// open over the first (it would disturb its working copy), and exiting closes
// the open dialog first.
enum class Modal { None, Settings, About };
enum class CommandAction { Run, BringDialogToFront, CloseDialogThenRepost };
CommandAction WhileModal(Modal open, int command);

}  // namespace torvane::shell
