// What the end-to-end tests use to drive torvane.exe from outside: working
// folders, processes that cannot outlive the driver, waiting with a deadline
// while this thread's windows keep answering, finding and reading another
// process's windows and message boxes, its menu marks, and the tray.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "../support.h"

namespace e2e {

using torvane::wine_test::Now;
using torvane::wine_test::PumpMessages;
using torvane::wine_test::WaitFor;

// How long a condition that must come true may take. The program reacts
// within a few 10 ms cycles; this leaves room for a loaded machine.
constexpr DWORD kDeadlineMs = 5000;
// How long a negative check ("nothing happens") watches: some 40 cycles of
// the program's workers.
constexpr DWORD kQuietMs = 400;

// Lets `ms` pass while handling this thread's messages.
void PumpFor(DWORD ms);

// The Windows form of a path given to the driver: "/a/b" becomes "Z:\a\b";
// a path that already has a drive letter is kept.
std::string WinePath(const std::string& path);

// The whole file, or nothing when it cannot be opened.
std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Bytes as C escapes, for failure messages about code page 932 text.
std::string Escaped(const std::string& bytes);

// A fresh, empty folder under the temporary folder, removed with its files.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
    bool ok_ = false;
};

// A process the driver started. It belongs to a job that ends it when the
// driver ends, so that a driver killed by a timeout leaves nothing behind;
// the destructor ends it if it still runs.
class Child {
public:
    Child() = default;
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // `application` is a full Windows path; the process starts in `folder`
    // (the driver's own folder when empty).
    bool Start(const std::string& application, const std::string& arguments, const std::string& folder);
    bool started() const { return info_.hProcess != nullptr; }
    DWORD pid() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }
    bool Running() const;
    // The exit code once the process has ended, or nothing after `limitMs`.
    std::optional<DWORD> WaitForExit(DWORD limitMs);
    // Ends the process if it still runs, and forgets it.
    void Kill();

private:
    PROCESS_INFORMATION info_{};
};

// --- windows of any process ---

std::string ClassOf(HWND window);
std::string TitleOf(HWND window);
DWORD ProcessOf(HWND window);
RECT RectOf(HWND window);
// The show command of the window's placement: 1 normal, 2 minimized, 3 maximized.
UINT ShowCmdOf(HWND window);
std::string Describe(const RECT& r);
bool SameRect(const RECT& a, const RECT& b);
RECT MakeRect(int x, int y, int width, int height);

// The first top-level window of process `pid` with that class and, if given,
// that title; only visible ones when `visibleOnly`.
HWND FindTopLevel(DWORD pid, const std::string& className, const char* title, bool visibleOnly);
std::vector<HWND> TopLevelWindows();

// A control's text, read with WM_GETTEXT across processes.
std::string ControlText(HWND control);

// A visible dialog (class "#32770") of process `pid` with that caption.
HWND FindDialog(DWORD pid, const std::string& caption);
// The text of a message box: its static control with id 0xFFFF.
std::string MessageBoxText(HWND box);
// Presses a dialog's button by BM_CLICK.
bool ClickButton(HWND dialog, int id);

// --- the tray and the mouse ---

// The middle of the notification area's rightmost icon slot, where Wine's
// taskbar puts the first icon; nothing when there is no visible taskbar.
std::optional<POINT> TrayIconPoint();
// A real click (SendInput) at a screen point.
bool ClickAt(POINT at, bool rightButton);

// --- menus ---

// GetMenuState of command `id` in the menu of `mainWindow`, which belongs to
// `process`. Windows answers across processes; Wine only inside the owning
// process, where the probe library is loaded and asked on a thread of its own.
std::optional<UINT> MenuStateOf(HANDLE process, HWND mainWindow, UINT id);

}  // namespace e2e
