#include "shell/shell.h"

#include <utility>

#include "engine/corrections.h"
#include "resource.h"
#include "settings/hotkey_keys.h"
#include "shell/texts.h"

namespace torvane::shell {
namespace {

// Why a save failed, in the program's own words (the system's texts are in
// its own language, and English under Wine).
std::string SaveCause(const SaveResult& result, const std::string& backupPath) {
    if (result.outcome == SaveResult::Protected) return texts::kCauseProtected;
    std::string cause;
    switch (result.failure.error) {
        case FileError::Denied: cause = texts::kCauseDenied; break;
        case FileError::InUse: cause = texts::kCauseInUse; break;
        case FileError::Full: cause = texts::kCauseFull; break;
        case FileError::Folder: cause = texts::kCauseFolder; break;
        default: cause = texts::CauseOther(result.failure.code); break;
    }
    return result.outcome == SaveResult::BackupFailed ? texts::CauseBackup(backupPath, cause) : cause;
}

MenuMarks MarksFor(const SystemConfig& config) {
    const bool on = config.monitoring;
    return MenuMarks{on, on};
}

// Every way out ends within a second, whatever other programs do: the end
// waits at most this long for the workers.
constexpr std::chrono::milliseconds kWorkersEnd{500};

}  // namespace

Hotkey HotkeyFor(const SystemConfig& config) {
    unsigned modifiers = 0;
    if (config.hotkeyAlt) modifiers |= kModAlt;
    if (config.hotkeyCtrl) modifiers |= kModControl;
    if (config.hotkeyShift) modifiers |= kModShift;
    if (config.hotkeyWin) modifiers |= kModWin;
    return Hotkey{modifiers, static_cast<unsigned>(config.hotkeyKey)};
}

std::string ChordName(const Hotkey& hotkey) {
    std::string name;
    // In the order of the dialog's toggles.
    for (const auto& [bit, label] : {std::pair{kModControl, "Ctrl"}, {kModShift, "Shift"}, {kModAlt, "Alt"}, {kModWin, "Win"}}) {
        if (hotkey.modifiers & bit) name.append(label).append("+");
    }
    const int entry = settings::KeyEntryOf(static_cast<std::int32_t>(hotkey.key));
    std::string key = entry >= 0 ? settings::HotkeyKeyTable()[static_cast<std::size_t>(entry)].text : "";
    if (key.empty()) key.append("#").append(std::to_string(hotkey.key));  // a blank entry, or a code no entry has
    for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);  // as the list shows it
    return name + key;
}

std::optional<std::intptr_t> Shell::Handle(const Message& m) {
    // Once the end has begun nothing new starts. A message may still come:
    // removing the tray icon waits for the taskbar, and a click on the icon
    // that the taskbar sends meanwhile would open a notice inside the end.
    if (ending_ && m.message != kWmDestroy && m.message != kWmQueryEndSession && m.message != kWmEndSession) return 0;
    switch (m.message) {
        case kWmCreate: Start(); return 0;
        case kWmDestroy: Destroyed(); return 0;
        case kWmClose:
            // Closing the hidden window from outside ends the program as the exit command does.
            port_.Post(Message{kWmCommand, IDM_EXIT, m.lParam});
            return 0;
        case kWmCommand: Command(m); return 0;
        case kWmHotkey:
            // Whether monitoring is on or not: the marks wait until it is.
            CorrectNow(m);
            return 0;
        case kWmQueryEndSession: return 1;
        case kWmEndSession:
            if (m.wParam != 0) SessionEnds();
            return 0;
        case kSaveRequest: Save(); return 0;
        case kSecondStartMessage: SecondStart(); return 0;
        case kTrayCallbackMessage: Tray(m); return 0;
        case kRefusalsMessage: TellRefusals(); return 0;
        case kShowNoticesMessage:
            for (const std::string& text : std::exchange(notices_, {})) Tell(text);
            return 0;
        default: return std::nullopt;
    }
}

void Shell::Start() {
    shared_.PollInterval = kPollInterval;
    shared_.busy.release();
    settings_.Load(shared_);
    // Notices wait until the message loop runs: the window is still being made.
    if (settings_.keepsExistingFile()) notices_.push_back(texts::kSettingsUnreadable);
    SetMarks();
    if (shared_.config.trayIcon) port_.AddTrayIcon();
    RegisterHotkey();
    port_.LowerPriority();
    StartWorkers(shared_, windows_, port_);
    started_ = true;
    if (!notices_.empty()) port_.Post(Message{kShowNoticesMessage, 0, 0});
}

bool Shell::WorkersStopped() {
    StopWorkers(shared_);
    // One wait for the whole end, however many ways it goes through here.
    const auto now = std::chrono::steady_clock::now();
    if (!workersEndBy_) workersEndBy_ = now + kWorkersEnd;
    return WaitForWorkers(shared_, std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::max(*workersEndBy_ - now, std::chrono::steady_clock::duration{})));
}

void Shell::Destroyed() {
    ending_ = true;
    const bool stopped = WorkersStopped();
    // No worker is left that could hold the flag: a save still due goes through.
    if (savePending_) Save();
    port_.UnregisterHotkey();
    // Removing the icon waits for the taskbar: one that does not answer now
    // keeps it until the system sees that the window has gone.
    if (port_.TaskbarAnswers()) port_.RemoveTrayIcon();
    if (!stopped) {
        // A worker that has not ended may still use the rules and the
        // shared state: the process ends at once, freeing nothing.
        port_.EndNow(0);
        return;
    }
    {
        BusyGuard guard = BusyGuard::tryTake(shared_.busy);
        shared_.table.release();
    }
    port_.Quit(0);
}

void Shell::SessionEnds() {
    // The process ends once this returns: a save still due is written now,
    // whatever is open.
    ending_ = true;
    WorkersStopped();
    if (savePending_) Save();
    Exit();
}

void Shell::LoopFailed() {
    Exit();
}

bool Shell::Opened(Dialog dialog) const {
    for (Dialog d : open_) {
        if (d == dialog) return true;
    }
    return false;
}

void Shell::Exit() {
    ending_ = true;
    StopWorkers(shared_);
    if (!open_.empty() || telling_ > 0) {
        // What is open goes first, inner boxes before the dialogs under them;
        // the end follows once the last has closed.
        exiting_ = true;
        port_.CloseDialogs();
        return;
    }
    exiting_ = false;
    port_.DestroyMainWindow();
}

void Shell::Command(const Message& m) {
    const int command = static_cast<int>(m.wParam & 0xFFFF);
    // While a dialog is open the tray menu still works. A dialog that is
    // open already comes to the front: a second settings dialog would
    // disturb the first one's working copy. The settings dialog over the
    // about box waits for it to close; exiting closes what is open first.
    if ((command == IDM_SETTINGS && Opened(Dialog::Settings)) || (command == IDM_ABOUT && Opened(Dialog::About))) {
        port_.BringDialogToFront();
        return;
    }
    if (command == IDM_SETTINGS && !open_.empty()) {
        afterDialog_ = m;
        port_.CloseDialogs();
        return;
    }
    switch (command) {
        case IDM_CORRECT_NOW: CorrectNow(m); break;
        case IDM_MONITORING:
            shared_.config.monitoring = !shared_.config.monitoring;
            SetMarks();
            Save();
            break;
        case IDM_SETTINGS: OpenDialog(Dialog::Settings); break;
        case IDM_ABOUT: OpenDialog(Dialog::About); break;
        case IDM_HELP: OpenDocument(texts::kHelpDocument, false); break;
        case IDM_README: OpenDocument(texts::kReadmeDocument, true); break;
        case IDM_EXIT: Exit(); break;
        default: break;
    }
}

void Shell::Tray(const Message& m) {
    if (m.lParam == kWmLButtonDown) {
        if (shared_.config.monitoring) CorrectNow(m);
        else Tell(texts::kMonitoringOff);
    } else if (m.lParam == kWmRButtonDown) {
        port_.ShowMenu();
    }
    // Button ups, double clicks and moves do nothing.
}

void Shell::SecondStart() {
    if (shared_.config.trayIcon) {
        Tell(texts::kAlreadyRunning);
        return;
    }
    port_.AddTrayIcon();
    shared_.config.trayIcon = true;
    Save();
}

void Shell::CorrectNow(const Message& m) {
    if (torvane::CorrectNow(shared_) == CorrectNowResult::Marked) return;
    // The flag stayed held: the same request comes again later. A tray
    // click comes back as a button-down, so that monitoring is tested again.
    Message again = m;
    if (m.message == kTrayCallbackMessage) again.lParam = kWmLButtonDown;
    port_.Post(again);
}

void Shell::SetMarks() { port_.SetMenuMarks(MarksFor(shared_.config)); }

void Shell::RegisterHotkey() {
    const Hotkey hotkey = HotkeyFor(shared_.config);
    if (port_.RegisterHotkey(hotkey)) {
        refused_.reset();
        return;
    }
    // Told once: the same chord refused again (an Apply that left it as it
    // was) is not told again.
    if (refused_ == hotkey) return;
    refused_ = hotkey;
    const std::string text = texts::HotkeyRefused(ChordName(hotkey));
    if (started_) Tell(text);
    else notices_.push_back(text);
}

void Shell::Save() {
    savePending_ = false;
    const SaveResult result = settings_.Save(shared_, [this] {
        // Re-posted while a worker holds the flag: still due.
        savePending_ = true;
        port_.Post(Message{kSaveRequest, 0, 0});
    });
    if (result.outcome == SaveResult::Postponed) return;
    // One notice for the failed saves in a row, before a balloon the system
    // may hide: a change may be lost. None during the end, which nothing
    // may hold up.
    const bool failing = result.outcome != SaveResult::Written;
    const bool tell = failing && !saveFailing_ && !ending_;
    saveFailing_ = failing;
    if (tell) Tell(texts::SaveFailed(settings_.fullPath(), SaveCause(result, settings_.backupPath())));
}

void Shell::Committed() {
    // The file first: a notice that the hotkey was refused waits for the user.
    Save();
    RegisterHotkey();
}

void Shell::OpenDialog(Dialog dialog) {
    open_.push_back(dialog);
    const Point2 screen = port_.ScreenSize();
    // The dialogs open at the top-left corner of the hidden main window.
    const Point2 origin = dialog == Dialog::Settings ? Point2{screen.x / 2 - 350, screen.y / 2 - 400}
                                                     : Point2{screen.x / 2 - 120, screen.y / 2 - 150};
    port_.RunDialog(dialog, origin);
}

void Shell::DialogClosed(Dialog dialog) {
    if (dialog == Dialog::Settings && !shared_.config.trayIcon) port_.RemoveTrayIcon();
    // A dialog's loop drops the message it takes after its end was asked for
    // inside a message sent from another program (an automation tool's click
    // on OK): a save request re-posted then may be that one.
    if (savePending_) Save();
    std::erase(open_, dialog);
    if (!open_.empty() || telling_ > 0) return;
    if (exiting_) Exit();
    else if (afterDialog_) Command(*std::exchange(afterDialog_, std::nullopt));
}

// A missing document is told as such; a text that no program is associated
// with opens in Notepad; a PDF without a viewer asks for one.
void Shell::OpenDocument(const char* path, bool text) {
    switch (port_.OpenDocument(path)) {
        case ShellPort::Opening::Opened: return;
        case ShellPort::Opening::Missing: return Tell(text ? texts::kNoReadmeFile : texts::kNoHelpFile);
        case ShellPort::Opening::NoProgram:
            if (text && port_.OpenInNotepad(path)) return;
            return Tell(text ? texts::CannotOpen(path) : texts::kNoPdfViewer);
        case ShellPort::Opening::Failed: return Tell(texts::CannotOpen(path));
    }
}

// Once per rule and run (the scan sees to that), over the tray icon. With the
// icon hidden the notice is dropped: it never becomes a box that waits.
void Shell::TellRefusals() {
    shared_.refusals.Take([this](const Refusals::Refusal& r) {
        if (shared_.config.trayIcon) port_.Balloon(texts::kRefusedTitle, texts::Refused(r.rule.view(), r.window.view()));
    });
}

void Shell::Tell(const std::string& text) {
    ++telling_;
    port_.Notice(text);
    --telling_;
    if (exiting_ && telling_ == 0 && open_.empty()) Exit();
}

}  // namespace torvane::shell
