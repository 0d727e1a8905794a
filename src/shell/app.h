// The Windows program: the hidden main window that carries the engine, its
// tray icon, menu, hotkey and dialogs.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "engine/win32_window_system.h"
#include "engine/workers.h"
#include "rules/rule_table.h"
#include "rules/settings_file.h"
#include "shell/shell_model.h"

namespace torvane {

// The tray icon record, rebuilt before every add; removal passes the same.
class TrayIcon final : public TrayIconHost {
public:
    void attach(HINSTANCE instance, HWND window);
    void AddTrayIcon() override;     // also called by the scan worker
    void RemoveTrayIcon() override;  // also called by the scan worker

private:
    NOTIFYICONDATAA record() const;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
};

class App {
public:
    explicit App(HINSTANCE instance) : instance_(instance), settings_(PlatformFileOps()) {}

    // Starts the program; returns the process's exit code.
    int Run(int showCommand);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void OnCreate(HWND window);
    void OnDestroy();
    // Posts a save request and notes it: a save still due when the program
    // ends is written before it ends.
    void RequestSave();
    void Save();
    // The end: the workers stop, then the window goes, and with it the rest.
    void Exit();
    void OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTray(HWND window, WPARAM wParam, LPARAM lParam);
    void OnSecondStart(HWND window);
    void RequestCorrection(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowMenu(HWND window);
    void ApplyMenuMarks(HWND window);
    void RegisterHotkey(HWND window);
    void OpenDocument(HWND window, const char* document, const char* missingText);
    void RunDialog(HWND window, int dialog, shell::Modal kind, shell::Origin origin, DLGPROC proc, LPARAM param);
    void LowerPriority(HWND window);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    Shared shared_;
    Win32WindowSystem windows_;
    SettingsFile settings_;
    TrayIcon tray_;
    shell::Modal modal_ = shell::Modal::None;
    HWND modalDialog_ = nullptr;
    bool savePending_ = false;
};

// Shows one of the shell's notices: no owner, always on top, the
// exclamation icon, caption "Torvane".
void ShowNotice(const char* text);

}  // namespace torvane
