// Plays the scenario files on the portable core. The fake desktop stands for
// the other programs' windows and a fake dialog for each of the program's
// dialogs; the real workers, steps, models and settings format do the rest.
// What only the real program shows (the tray, the menu, real input, a second
// process, the file on disk) is left to the Wine driver, which plays the
// same files; "scan", "step", "log" and "bound" look at the core itself.
#include <gtest/gtest.h>

#include <iconv.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>

#include "engine/corrections.h"
#include "engine/scan.h"
#include "engine/workers.h"
#include "resource.h"
#include "rules/settings_format.h"
#include "settings/settings_model.h"
#include "shell/shell_model.h"
#include "shell/texts.h"
#include "support/engine_helpers.h"
#include "support/fake_desktop.h"
#include "support/fake_dialog.h"
#include "support/scenario.h"
#include "support/wait.h"

std::string scenario::ToCp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
    char *inp = in.data(), *outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

namespace scenario {
void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }
}  // namespace scenario

namespace torvane {
namespace {

using namespace scenario;
using testing::FakeDesktop;
using testing::FakeDialog;
using settings::InputDialog;
using settings::SettingsDialog;

struct Skipped {};

// A thread that runs the steps of one kind of worker, as that worker would:
// the answers to what it sends come back to it.
class StepThread {
public:
    StepThread() : thread_([this] { Loop(); }) {}
    ~StepThread() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    // Runs `job` on the thread and waits until it is done.
    void Run(std::function<void()> job) {
        std::unique_lock<std::mutex> lock(mutex_);
        job_ = std::move(job);
        cv_.notify_all();
        cv_.wait(lock, [this] { return !job_; });
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return quit_ || job_; });
            if (quit_) return;
            job_();
            job_ = nullptr;
            cv_.notify_all();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::function<void()> job_;
    bool quit_ = false;
    std::thread thread_;
};

// The tray icon as the platform keeps it: gone with the taskbar.
class TrayIcon final : public TrayIconHost {
public:
    void AddTrayIcon() override { shown = true, ++adds; }
    void RemoveTrayIcon() override { shown = false; }
    std::atomic<bool> shown{false};
    std::atomic<int> adds{0};
};

Rect RectFrom(Box b) { return Rect{b.x, b.y, b.x + b.w, b.y + b.h}; }

// Check boxes and push-like check boxes: a click turns them over.
bool IsCheckBox(int id) {
    return (id >= IDC_MOVEX && id <= IDC_FSTFORCE && id != IDC_TOP && id != IDC_WIDTH && id != IDC_HEIGHT) ||
           (id >= IDC_CTRL && id <= IDC_WIN) || id == IDC_TRAY;
}
bool IsField(int id) { return id == IDC_NAME || id == IDC_LEFT || id == IDC_TOP || id == IDC_WIDTH || id == IDC_HEIGHT; }

// The core as the main window runs it: the workers on the fake desktop, the
// shell's decisions, and the dialogs' models on fake dialogs. Each dialog
// that opens is also a window of the desktop, as the real ones are.
class Core final : public Platform {
public:
    Core() {
        shared_.config = SystemConfig::Defaults();
        shared_.PollInterval = 3;  // the least at which a request to correct now pauses between its tests
        quietMs = 60;  // some 20 cycles of the workers
        deadlineMs = 2000;
    }
    ~Core() override {  // the desktop must outlive the workers
        StopWorkers(shared_);
        WaitForWorkers(shared_);
    }

    // The main window goes on meanwhile.
    bool WaitFor(const std::function<bool()>& done, int ms) override {
        return testing::WaitUntil([&] { return AfterStep(), done(); }, std::chrono::milliseconds(ms));
    }
    void Pause(int ms) override {
        if (AnyWorkerAlive(shared_)) testing::WaitForCycles(shared_, std::min(ms, quietMs) / 2);
    }
    // Time passes: the windows handle what they were sent, and each worker
    // takes in its answers. The main window writes the file and registers
    // the hotkey when a dialog asks; a command the dialog posted to itself
    // comes back.
    void AfterStep() override {
        desktop_.settle();
        for (auto& [kind, thread] : stepThreads_) thread->Run([this] { desktop_.CollectAnswers(); });
        if (!settingsView_) return;
        if (settingsView_->saves > saves_) saves_ = settingsView_->saves, Save();
        if (!settingsView_->hotkeys.empty()) {
            hotkey_ = {settingsView_->hotkeys.back() >> 16, settingsView_->hotkeys.back() & 0xFFFF};
            settingsView_->hotkeys.clear();
        }
        if (!settingsView_->reposted.empty() && settingsView_->ended < 0) {
            const int id = settingsView_->reposted.front();  // in the order posted, as a queue delivers them
            settingsView_->reposted.erase(settingsView_->reposted.begin());
            settings_->Command(id, 0);
        }
    }

    void WriteSettings(const std::string& bytes) override { file_ = bytes; }
    std::optional<std::string> Settings() override { return file_; }
    void Start() override {
        desktop_.setLive(true);  // the workers look at their queues every cycle
        Load();
        if (shared_.config.TaskIcon) tray_.AddTrayIcon();
        StartWorkers(shared_, desktop_, tray_);
    }
    void Command(int id) override {
        if (id == IDM_CORRECT_NOW) CorrectNowAgain();
        if (id == IDM_MONITORING) shell::ToggleMonitoring(shared_.config), Save();
        if (id == IDM_EXIT) StopWorkers(shared_), WaitForWorkers(shared_);  // as the program ends
    }
    void Post(unsigned message, long long, long long lParam) override {
        if (message == MessageId("hotkey")) CorrectNowAgain();
        if (message == MessageId("save")) Save();
        if (message == MessageId("tray")) TrayEvent(lParam);
    }
    void Tray(bool right) override { TrayEvent(right ? 0x204 : 0x201); }
    // A chord such as "ctrl+shift+num5" reaches the program when it is the registered hotkey.
    void Keys(const std::string& chord) override {
        static const std::map<std::string, unsigned> kModifiers = {{"alt", 1}, {"ctrl", 2}, {"shift", 4}, {"win", 8}};
        shell::Hotkey pressed{0, 0};
        for (const std::string& k : ChordKeys(chord)) {
            if (kModifiers.count(k)) pressed.modifiers |= kModifiers.at(k);
            else if (k == "space") pressed.key = 32;
            else if (k[0] == 'f' && k.size() > 1) pressed.key = 111 + static_cast<unsigned>(Number(k.substr(1)));
            else if (k.rfind("num", 0) == 0) pressed.key = 96 + static_cast<unsigned>(Number(k.substr(3)));
            else pressed.key = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(k[0])));
        }
        if (pressed == hotkey_) CorrectNowAgain();
    }
    std::optional<std::string> TakeNotice(const std::string& caption, bool help) override {
        if (view_) notices_.insert(notices_.end(), view_->notices.begin(), view_->notices.end()), view_->notices.clear();
        auto it = std::find_if(notices_.begin(), notices_.end(), [&](const std::string& n) {
            return n.rfind((help ? "help " : "") + caption + ": ", 0) == 0;
        });
        if (it == notices_.end()) return std::nullopt;
        std::string text = it->substr(it->find(": ") + 2);
        notices_.erase(it);
        return text;
    }

    void OpenWindows(const std::string& name, const std::string& className, const std::string& title, Box at,
                     const std::string& owner, int count) override {
        const WindowHandle ownerWindow = owner.empty() ? kNoWindow : Window(owner);
        for (; count > 0; --count)
            windows_[name] = desktop_.open(className, title, RectFrom(at), true, ownerWindow, ownerWindow != kNoWindow);
    }
    void Move(const std::string& window, Box to, bool) override { desktop_.userMove(Window(window), RectFrom(to)); }
    void Show(const std::string& window, const std::string& state) override {
        desktop_.userShow(Window(window), state == "min" ? show::kMinimize : state == "max" ? show::kMaximized : show::kNormal);
    }
    Box RectOf(const std::string& window) override {
        const Rect r = desktop_.window(Window(window)).rect;
        return Box{r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    int StateOf(const std::string& window) override { return desktop_.window(Window(window)).showCmd; }
    void Hide(const std::string& window) override { desktop_.hide(Window(window)); }
    bool Shown(const std::string& window) override { return desktop_.window(Window(window)).visible; }
    void Hang(const std::string& window, bool hang) override {
        hang ? desktop_.hang(Window(window)) : desktop_.resume(Window(window));
    }

    bool OpenDialog(const std::string& which) override {
        if (which == "settings" && (!settings_ || settingsView_->ended >= 0)) {
            settingsView_ = std::make_unique<FakeDialog>();
            settings_ = std::make_unique<SettingsDialog>(shared_, desktop_, *settingsView_);
            if (!settings_->Open()) return false;
            saves_ = 0;
            dialogWindow_ = desktop_.open("#32770", ToCp932("Torvane - 設定"), Rect{337, 190, 940, 810});
        }
        if (which == "settings") view_ = settingsView_.get();
        return (which == "settings" || which == "input") && view_ != nullptr &&
               (which == "settings") == (view_ == settingsView_.get());
    }
    bool DialogClosed() override {
        if (view_ == nullptr || view_->ended < 0) return false;
        desktop_.close(dialogWindow_);
        if (!shared_.config.TaskIcon) tray_.RemoveTrayIcon();
        return true;
    }
    void Click(int id) override { Click(id, true); }
    void Press(const std::string& key) override { Click(key == "return" ? 1 : 2, false); }
    void CloseBox() override { Click(2, false); }
    void Focus(int id) override {
        FakeDialog& view = View();
        if (IsField(view.focus) && view.focus != id && view_ == settingsView_.get()) settings_->Command(view.focus, 0x200);
        view.focus = id;
    }
    void Type(int id, const std::string& text) override {
        Focus(id);
        View()[id].text = text;
    }
    void Select(int id, int row) override {
        Focus(id);
        View().Select(id, row);
        settings_->Command(id, 1);
    }
    void Scroll(int bar, int code, int position) override { Settings_().Scroll(bar, code, position); }
    void Wheel(int list, int delta) override { Settings_().Wheel(list, delta); }
    void Help(int id) override { Settings_().Help(id); }
    void Drag(const std::string& window, bool edit, const std::string&) override {
        WindowHandle target = Window(window);
        Rect r = desktop_.window(target).rect;
        if (edit) {  // the edit field inside the window
            r = Rect{r.left + 10, r.top + 30, r.left + 130, r.top + 54};
            desktop_.open("Edit", "", r, true, target);
        }
        desktop_.setCursor(Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        if (input_ && view_ == inputView_.get()) input_->Press();
        else Settings_().Press();
        Check(!View()[IDC_PICK].visible && View().pickCursor, "the icon is shown, or the mouse free, while dragging");
        input_ && view_ == inputView_.get() ? input_->Release() : settings_->Release();
        Check(!View().captured && View()[IDC_PICK].visible, "the mouse is held, or the icon hidden, after the pick");
    }
    ControlState Control(int id) override {
        const FakeDialog::Control& k = View()[id];
        return ControlState{k.enabled, k.checked, k.visible, k.text, k.rows, k.selected, k.top,
                            std::to_string(k.bar.min) + " " + std::to_string(k.bar.max) + " " +
                                std::to_string(k.bar.page) + " " + std::to_string(k.bar.pos)};
    }

    bool Extra(const Step& step) override {
        const std::vector<std::string>& w = step.words;
        const std::string& c = w[0];
        if (c == "program-only") {  // a scenario that only the real program can play
            throw Skipped{};
        } else if (c == "marks") {  // marks on|off: the menu's two marks
            const shell::MenuMarks marks = shell::MarksFor(shared_.config);
            Check(marks.monitoringChecked == (w.at(1) == "on") && marks.correctNowEnabled == (w[1] == "on"), "other marks");
        } else if (c == "second-start") {
            if (shell::OnSecondStart(shared_.config) == shell::SecondStartAction::AddIconAndSave) tray_.AddTrayIcon(), Save();
            else notices_.push_back(std::string(texts::kProductName) + ": " + texts::kAlreadyRunning);
        } else if (c == "load") {  // the file read, the workers not started
            Load();
        } else if (c == "scan") {  // scan [the pass's result]
            const int result = ScanPass(shared_, desktop_);
            Check(w.size() < 2 || result == Number(w[1]), "the pass gave " + std::to_string(result));
        } else if (c == "flag") {  // flag hold|release|release-soon|held|free
            if (w.at(1) == "hold") Check(holding_ = WaitFor([&] { return shared_.busy.tryTake(); }, deadlineMs), "the flag stays held");
            if (w[1] == "release") shared_.busy.release(), holding_ = false;
            if (w[1] == "release-soon")  // by another thread, 20 ms later
                releaser_ = std::jthread([this] { std::this_thread::sleep_for(std::chrono::milliseconds(20)), shared_.busy.release(); }), holding_ = false;
            if (w[1] == "held" || w[1] == "free") Check(shared_.busy.isHeld() == (w[1] == "held"), "the flag is not " + w[1]);
        } else if (c == "mark") {  // mark <rule> <index in its list> on|off
            WithFlag([&] { Bound(w.at(1)).at(static_cast<std::size_t>(Number(w.at(2)))).setPending(w.at(3) == "on"); });
        } else if (c == "wakeup") {  // wakeup due|idle; a due wakeup is taken
            Check(shared_.correctionWakeup.isDue() == (w.at(1) == "due"), "the correction worker's wakeup is not " + w[1]);
            shared_.correctionWakeup.sleepFor(0);
        } else if (c == "close-on") {  // close-on <call letter> <window>: the window goes during that call
            desktop_.setHook([this, op = w.at(1)[0], target = Window(w.at(2))](char call, WindowHandle window) {
                if (call == op && window == target) desktop_.close(target);
            });
        } else if (c == "correct-now") {  // correct-now marked|gave-up: one request, as the hotkey makes it
            const CorrectNowResult result = CorrectNow(shared_);
            Check((result == CorrectNowResult::Marked) == (w.at(1) == "marked"), "the request did not end " + w[1]);
        } else if (c == "clear-log") {
            desktop_.clearLog();
        } else if (c == "pick") {  // pick <x,y> [lost]: a drag from the cursor icon dropped there, or its capture lost
            const Box at = ParseBox(w.at(1) + ",0,0");
            desktop_.setCursor(Point{at.x, at.y});
            Settings_().Press();
            if (w.size() > 2) Settings_().CaptureLost();
            else settings_->Release();
        } else if (c == "step") {
            // step <correction|lock|watch> <rule> | scan ...: the steps back to
            // back, each on its worker's thread, with no time for the windows
            // between them
            for (std::size_t i = 1; i < w.size(); i += w[i] == "scan" ? 1 : 2) {
                const std::string& kind = w[i];
                const std::int32_t rule = kind == "scan" ? 0 : Number(w.at(i + 1));
                StepsOf(kind).Run([&] {
                    desktop_.CollectAnswers();
                    if (kind == "scan") ScanPass(shared_, desktop_);
                    else if (kind == "correction") CorrectionStep(shared_, desktop_, rule);
                    else if (kind == "lock") LockStep(shared_, desktop_, rule);
                    else StateWatchStep(shared_, desktop_, rule);
                });
            }
        } else if (c == "log") {
            std::string expected;
            for (std::size_t i = 1; i < w.size(); ++i) expected += (i > 1 ? " " : "") + w[i];
            Check(desktop_.log() == expected, "the calls were " + desktop_.log());
            desktop_.clearLog();
        } else if (c == "bound") {
            // bound <rule> <windows, in list order: each name, the show state
            // last seen, and * when marked>, as "b1*a3"
            std::string seen;
            WithFlag([&] {
                for (const BoundWindow& b : Bound(w.at(1)))
                    seen += FakeDesktop::name(b.handle) + std::to_string(b.lastPlacement.showCmd) + (b.pending() ? "*" : "");
            });
            Check(seen == (w.size() > 2 ? w[2] : ""), "bound are " + seen);
        } else if (c == "sent") {  // sent <window> [commands]: the moves and show commands since the last look
            std::string expected;
            for (std::size_t i = 2; i < w.size(); ++i) expected += (i > 2 ? " " : "") + w[i];
            const std::string sent = desktop_.takeSent(Window(w.at(1)));
            Check(sent == expected, w[1] + " was sent " + (sent.empty() ? "nothing" : sent));
        } else if (c == "retitle") {
            desktop_.retitle(Window(w.at(1)), w.size() > 2 ? w[2] : "");
        } else if (c == "close-window") {
            if (desktop_.window(Window(w.at(1))).className == "Shell_TrayWnd") tray_.RemoveTrayIcon();
            desktop_.close(Window(w.at(1)));
        } else if (c == "tray-icon") {  // tray-icon shown|gone [<adds so far>]
            Check(WaitFor([&] { return tray_.shown == (w.at(1) == "shown"); }, deadlineMs), "the icon is not " + w[1]);
            Check(w.size() < 3 || tray_.adds == Number(w[2]), "the icon was added " + std::to_string(tray_.adds) + " times");
        } else {
            return false;
        }
        return true;
    }

private:
    FakeDialog& View() {
        Check(view_ != nullptr, "no dialog is open");
        return *view_;
    }
    SettingsDialog& Settings_() {
        Check(settings_ != nullptr && view_ == settingsView_.get(), "the settings dialog is not in front");
        return *settings_;
    }

    StepThread& StepsOf(const std::string& kind) {
        std::unique_ptr<StepThread>& thread = stepThreads_[kind];
        if (!thread) thread = std::make_unique<StepThread>();
        return *thread;
    }

    std::vector<BoundWindow>& Bound(const std::string& rule) {
        return shared_.table[static_cast<std::size_t>(Number(rule))].boundWindows;
    }

    // Runs `body` with the flag, which the scenario may hold already.
    template <class Body>
    void WithFlag(Body body) {
        if (holding_) body();
        else testing::WithFlag(shared_, body);
    }

    void Load() {
        if (!file_) return;
        ParsedSettings parsed = ParseSettings(*file_);
        const ParsedSettings again = ParseSettings(FormatSettings(parsed.config, parsed.rules));  // reads back the same
        for (std::size_t i = 0; i < parsed.rules.size(); ++i) Check(again.rules.at(i).sameSettings(parsed.rules[i]), "a rule changed");
        shared_.config = parsed.config;
        WithFlag([&] { shared_.table.install(std::move(parsed.rules)); });
        hotkey_ = shell::HotkeyFor(shared_.config);
    }

    void TrayEvent(long long event) {
        const shell::TrayAction action = shell::OnTrayCallback(shared_.config, static_cast<std::intptr_t>(event));
        if (action == shell::TrayAction::CorrectNow) CorrectNowAgain();
        if (action == shell::TrayAction::WarnMonitoringOff)
            notices_.push_back(std::string(texts::kProductName) + ": " + texts::kMonitoringOff);
    }

    // As the main window does: a request that gave up comes again.
    void CorrectNowAgain() {
        while (CorrectNow(shared_) == CorrectNowResult::GaveUp) {
        }
    }

    void Save() {
        WithFlag([&] { file_ = FormatSettings(shared_.config, shared_.table.rules()); });
    }

    WindowHandle Window(const std::string& name) {
        if (name == "dialog") return dialogWindow_;
        Check(windows_.count(name) != 0, "no window " + name);
        return windows_.at(name);
    }

    void Click(int button, bool moveFocus) {
        if (view_ != nullptr && view_ == inputView_.get()) {
            input_->Command(button);
            if (inputView_->ended < 0) return;
            // The input dialog is closed: the add it was opened for goes on.
            settingsView_->askAnswer = input_->accepted();
            settingsView_->askClass = input_->className();
            settingsView_->askTitle = input_->title();
            desktop_.close(inputWindow_);
            view_ = settingsView_.get();
            input_.reset();
            settings_->Command(IDC_ADD_INPUT, 0);
            return;
        }
        if (moveFocus) Focus(button);
        if (IsCheckBox(button)) View()[button].checked = !View()[button].checked;
        if (button == IDC_ADD_INPUT) {
            // The input dialog opens; the add waits for it to close.
            inputView_ = std::make_unique<FakeDialog>();
            input_ = std::make_unique<InputDialog>(desktop_, *inputView_);
            input_->Open();
            inputWindow_ = desktop_.open("#32770", ToCp932("Torvane - 入力して追加"), Rect{450, 435, 1040, 545});
            view_ = inputView_.get();
            return;
        }
        Settings_().Command(button, 0);
    }

    Shared shared_;
    FakeDesktop desktop_;
    TrayIcon tray_;
    std::map<std::string, WindowHandle> windows_;
    std::optional<std::string> file_;
    std::vector<std::string> notices_;  // "caption: text", as shown
    std::unique_ptr<FakeDialog> settingsView_, inputView_;
    std::unique_ptr<SettingsDialog> settings_;
    std::unique_ptr<InputDialog> input_;
    FakeDialog* view_ = nullptr;
    WindowHandle dialogWindow_ = kNoWindow, inputWindow_ = kNoWindow;
    int saves_ = 0;
    bool holding_ = false;
    shell::Hotkey hotkey_ = shell::HotkeyFor(SystemConfig::Defaults());
    std::jthread releaser_;  // ends before the flag it releases
    std::map<std::string, std::unique_ptr<StepThread>> stepThreads_;  // by the worker whose steps they run
};

// Every scenario of the end-to-end and the unit scenario files.
std::vector<Scenario> AllScenarios() {
    std::vector<Scenario> all;
    for (const char* folder : {"/wine/e2e/scenarios", "/unit/scenarios"}) {
        for (const auto& file : std::filesystem::directory_iterator(std::string(TORVANE_TESTS_DIR) + folder)) {
            std::ifstream in(file.path(), std::ios::binary);
            for (Scenario& s : ParseScenarios(file.path().filename().string(), std::string(std::istreambuf_iterator<char>(in), {})))
                all.push_back(std::move(s));
        }
    }
    return all;
}

class Scenarios : public ::testing::TestWithParam<Scenario> {};

TEST_P(Scenarios, Play) {
    Core core;
    Player player(core);
    try {
        player.Play(GetParam().steps);
    } catch (const Failure& f) {
        FAIL() << player.where() << ": " << f.message;
    } catch (const Skipped&) {
        GTEST_SKIP() << "played by the Wine driver only";
    }
}

INSTANTIATE_TEST_SUITE_P(, Scenarios, ::testing::ValuesIn(AllScenarios()), [](const auto& info) {
    std::string name = info.param.name;
    std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
});

}  // namespace
}  // namespace torvane
