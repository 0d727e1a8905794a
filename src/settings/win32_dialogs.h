// The settings dialog (104) and its input dialog (105) on Windows: thin
// dialog procedures that hand every event to the models of
// settings_dialog.h and input_dialog.h.
#pragma once

#include <windows.h>

#include "engine/window_system.h"
#include "engine/shared_state.h"
#include "settings/settings_dialog.h"

namespace torvane::settings {

// Runs the settings dialog modally, owned by `owner`, until it closes.
void RunSettingsDialog(HWND owner, Shared& shared, WindowSystem& windows, SettingsHost& host);

// The dialog's small icon: icon resource 130 of the program.
void SetSmallIcon(HWND dialog);

}  // namespace torvane::settings
