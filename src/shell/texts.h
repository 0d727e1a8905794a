// The shell's own texts, as the code page 932 bytes that reach the 8-bit
// platform functions. texts.cpp holds them as plain literals and is compiled
// to code page 932 in every build; a unit test checks the bytes.
#pragma once

#include <string>

namespace torvane::texts {

extern const char kProductName[];       // "Torvane", the main window's title
extern const char kMainWindowClass[];
extern const char kHelpDocument[];
extern const char kReadmeDocument[];
extern const char kMonitoringOff[];      // the tray was clicked while monitoring is off
extern const char kAlreadyRunning[];     // a second start with the tray icon shown
extern const char kNoHelpFile[];
extern const char kNoReadmeFile[];
extern const char kSettingsUnreadable[]; // zrk.ini exists but could not be read at start
// The hotkey `chord` (such as "Ctrl+Shift+Alt+space") could not be registered.
std::string HotkeyRefused(const std::string& chord);

}  // namespace torvane::texts
