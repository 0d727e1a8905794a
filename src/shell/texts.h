// The shell's own texts, as the code page 932 bytes that reach the 8-bit
// platform functions. texts.cpp holds them as plain literals and is compiled
// to code page 932 in every build; a unit test checks the bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace torvane::texts {

extern const char kProductName[];       // "Torvane", the main window's title
extern const char kMainWindowClass[];
extern const char kHelpDocument[];
extern const char kReadmeDocument[];
extern const char kMonitoringOff[];      // the tray was clicked while monitoring is off
extern const char kAlreadyRunning[];     // a second start with the tray icon shown
extern const char kNoHelpFile[];
extern const char kNoReadmeFile[];
extern const char kNoPdfViewer[];        // HowtoUse.pdf is there, no program opens PDF files
// The document `path` is there but could not be opened.
std::string CannotOpen(const std::string& path);
extern const char kSettingsUnreadable[]; // zrk.ini exists but could not be read at start
// The hotkey `chord` (such as "Ctrl+Shift+Alt+space") could not be registered.
std::string HotkeyRefused(const std::string& chord);
// The settings could not be saved to the file `path`, for `cause` (one of
// the sentences below); the change is kept while the program runs.
std::string SaveFailed(const std::string& path, const std::string& cause);
extern const char kCauseDenied[];     // no right to write: a read-only file, a folder one may not write in
extern const char kCauseInUse[];      // another program holds the file
extern const char kCauseFull[];       // the disk is full
extern const char kCauseFolder[];     // a folder of that name stands there
extern const char kCauseProtected[];  // the file could not be read at start and is kept
std::string CauseOther(unsigned long code);
// The old file could not be kept as `backupPath` first, for `cause`.
std::string CauseBackup(const std::string& backupPath, const std::string& cause);

// The tray icon's balloon when a rule's window refuses to be moved: the
// rule's name (its class when it has none) and the window's title (its
// class when it has none). The title fits in 63 bytes, the text in 255.
extern const char kRefusedTitle[];
std::string Refused(std::string_view rule, std::string_view window);
// The first `most` bytes of `text` at most, never half a double-byte character.
std::string_view Cut(std::string_view text, std::size_t most);

}  // namespace torvane::texts
