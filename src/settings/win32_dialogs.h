// The settings dialog (104) and its input dialog (105) on Windows: thin
// dialog procedures over the models of settings_model.h.
#pragma once

#include <windows.h>

#include "engine/window_system.h"
#include "rules/rule_table.h"
#include "settings/settings_model.h"

namespace torvane::settings {

// What the shell hands the settings dialog as its creation parameter.
struct SettingsDialogParams {
    Shared& shared;
    WindowSystem& windows;
    SettingsHost& host;
};

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog's small icon: icon resource 130 of the program.
void SetSmallIcon(HWND dialog);

}  // namespace torvane::settings
