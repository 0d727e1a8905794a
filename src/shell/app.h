// The Windows program: the hidden main window, which hands its messages to
// the Shell, and the platform the Shell acts on: the tray icon, the hotkey,
// the menu, message boxes and dialogs.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "engine/win32_window_system.h"
#include "engine/shared_state.h"
#include "settings/settings_file.h"
#include "shell/shell.h"

namespace torvane {

class App final : public shell::ShellPort {
public:
    explicit App(HINSTANCE instance)
        : instance_(instance), settings_(PlatformFileOps()), shell_(shared_, windows_, settings_, *this) {}

    // Starts the program; returns the process's exit code.
    int Run(int showCommand);

    // shell::ShellPort
    void AddTrayIcon() override;     // also called by the scan worker
    void RemoveTrayIcon() override;
    bool TaskbarAnswers() override;
    void Post(const shell::Message& message) override;
    void Notice(const std::string& text) override;
    void Balloon(const std::string& title, const std::string& text) override;
    void RefusalsWaiting() override;  // called by the scan worker
    bool RegisterHotkey(const shell::Hotkey& hotkey) override;
    void UnregisterHotkey() override;
    void SetMenuMarks(const shell::MenuMarks& marks) override;
    void ShowMenu() override;
    void LowerPriority() override;
    shell::Point2 ScreenSize() override;
    void RunDialog(shell::Dialog dialog, shell::Point2 origin) override;
    void BringDialogToFront() override;
    void CloseDialogs() override;
    Opening OpenDocument(const char* path) override;
    bool OpenInNotepad(const char* path) override;
    void DestroyMainWindow() override;
    void Quit(int code) override;
    void EndNow(int code) override;

private:
    // Takes the program's mutex; false when another copy runs.
    bool FirstCopy();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    NOTIFYICONDATAA TrayRecord() const;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HANDLE instanceMutex_ = nullptr;  // held for the whole run, released with the process
    Shared shared_;
    Win32WindowSystem windows_;
    SettingsFile settings_;
    shell::Shell shell_;
};

}  // namespace torvane
