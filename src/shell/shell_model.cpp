#include "shell/shell_model.h"

namespace torvane::shell {

MenuMarks MarksFor(const SystemConfig& config) {
    const bool on = config.Enabled;
    return MenuMarks{on, on};
}

MenuMarks ToggleMonitoring(SystemConfig& config) {
    config.Enabled = !config.Enabled;
    return MarksFor(config);
}

TrayAction OnTrayCallback(const SystemConfig& config, std::intptr_t lParam) {
    if (lParam == kWmLButtonDown) return config.Enabled ? TrayAction::CorrectNow : TrayAction::WarnMonitoringOff;
    if (lParam == kWmRButtonDown) return TrayAction::ShowMenu;
    return TrayAction::Nothing;
}

SecondStartAction OnSecondStart(SystemConfig& config) {
    if (config.TaskIcon) return SecondStartAction::WarnAlreadyRunning;
    config.TaskIcon = true;
    return SecondStartAction::AddIconAndSave;
}

Hotkey HotkeyFor(const SystemConfig& config) {
    unsigned modifiers = 0;
    if (config.ShcutAlt) modifiers |= 1;
    if (config.ShcutCtrl) modifiers |= 2;
    if (config.ShcutShift) modifiers |= 4;
    if (config.ShcutWin) modifiers |= 8;
    return Hotkey{modifiers, static_cast<unsigned>(config.ShcutKey)};
}

Origin SettingsDialogOrigin(int screenWidth, int screenHeight) {
    return Origin{screenWidth / 2 - 350, screenHeight / 2 - 400};
}

Origin AboutBoxOrigin(int screenWidth, int screenHeight) {
    return Origin{screenWidth / 2 - 120, screenHeight / 2 - 150};
}

Message RepostOf(const Message& request) {
    Message again = request;
    if (request.message == kTrayCallbackMessage) again.lParam = kWmLButtonDown;
    return again;
}

CommandAction WhileModal(Modal open, int command) {
    if (open == Modal::None) return CommandAction::Run;
    switch (command) {
        case kCmdSettings:
            return open == Modal::Settings ? CommandAction::BringDialogToFront : CommandAction::CloseDialogThenRepost;
        case kCmdAbout:
            return open == Modal::About ? CommandAction::BringDialogToFront : CommandAction::Run;
        case kCmdExit:
            return CommandAction::CloseDialogThenRepost;
        default:
            return CommandAction::Run;
    }
}

}  // namespace torvane::shell
