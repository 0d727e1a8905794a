// Plays the scenario files on the portable core: the real Shell, settings
// file, workers and dialog models over a fake ShellPort, desktop and dialogs.
#include <gtest/gtest.h>

#include <iconv.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <semaphore>
#include <thread>
#include <optional>

#include "engine/corrections.h"
#include "engine/scan.h"
#include "engine/workers.h"
#include "resource.h"
#include "settings/settings_file.h"
#include "settings/settings_format.h"
#include "settings/settings_dialog.h"
#include "shell/shell.h"
#include "shell/texts.h"
#include "support/fake_desktop.h"
#include "support/fake_dialog.h"
#include "support/memory_file_ops.h"
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

namespace torvane {
namespace {

using namespace scenario;
using testing::FakeDesktop;
using testing::FakeDialog;
using settings::SettingsDialog;

// Runs the steps of one kind of worker, so that the answers come back to it.
class StepThread {
public:
    ~StepThread() { Run(nullptr); }
    // Runs `job` on the thread and waits for it; no job ends the thread.
    void Run(std::function<void()> job) {
        const bool last = !job;
        job_ = std::move(job);
        go_.release();
        last ? thread_.join() : done_.acquire();
    }

private:
    std::function<void()> job_;
    std::binary_semaphore go_{0}, done_{0};
    std::thread thread_{[this] {
        while (go_.acquire(), job_) {
            job_();
            done_.release();
        }
    }};
};

Rect RectFrom(Box b) { return Rect{b.x, b.y, b.x + b.w, b.y + b.h}; }

// Check boxes: a click turns them over.
bool IsCheckBox(int id) {
    return (id >= IDC_MOVEX && id <= IDC_FSTFORCE && id != IDC_TOP && id != IDC_WIDTH && id != IDC_HEIGHT) ||
           (id >= IDC_CTRL && id <= IDC_WIN) || id == IDC_TRAY || id == IDC_KEEP_ON_SCREEN;
}


// The core on a fake platform. The main window's posted messages wait in a
// queue that every step lets run; each open dialog is a window of the desktop.
class Core final : public Platform, public shell::ShellPort {
public:
    Core() {
        quietMs = 60;  // some 20 cycles of the workers
        deadlineMs = 2000;
    }
    ~Core() override {
        // The desktop must outlive the workers and the calls to the shell.
        closing_ = true;
        desktop_.stall(false);
        testing::WaitUntil([&] { return shellCalls_ == 0; });
        End();
    }

    bool WaitFor(const std::function<bool()>& done, int ms) override {
        return testing::WaitUntil([&] { return AfterStep(), done(); }, std::chrono::milliseconds(ms));
    }
    void Pause(int ms) override {
        const std::uint64_t until = program_->shared.lockThread.cycles + std::min(ms, quietMs) / 2;
        if (AnyWorkerAlive(program_->shared)) WaitFor([&] { return program_->shared.lockThread.cycles >= until; }, deadlineMs);
        AfterStep();
    }
    // Time passes: the windows run, the workers take in their answers, the
    // main window's queue is handled, the dialogs' own posts take effect.
    void AfterStep() override {
        desktop_.settle();
        if (refusalsPosted_.exchange(false)) queue_.push_back({shell::kRefusalsMessage, 0, 0});
        for (auto& [kind, thread] : stepThreads_) thread->Run([this] { desktop_.CollectAnswers(); });
        // A bounded number at a time: a request waiting for a held flag comes back.
        for (int n = 0; n < 20 && !queue_.empty(); ++n) {
            const shell::Message m = queue_.front();
            queue_.pop_front();
            program_->shell.Handle(m);
        }
        if (inputOpen_ && inputView_->ended >= 0) InputClosed();
        if (settingsView_ && settingsView_->ended < 0 && !settingsView_->reposted.empty()) {
            const int id = settingsView_->reposted.front();  // in the order posted, as a queue delivers them
            settingsView_->reposted.erase(settingsView_->reposted.begin());
            settingsModel_->Command(id, 0);
        }
        Closed(settingsView_, dialogWindow_, shell::Dialog::Settings);
        Closed(aboutView_, aboutWindow_, shell::Dialog::About);
    }

    // --- the files ---
    void WriteSettings(const std::string& bytes) override { files_.files[kSettingsFileName] = bytes; }
    std::optional<std::string> ReadFile(const std::string& name) override {
        const auto it = files_.files.find(name);
        return it == files_.files.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void Folder(const std::string& name, bool there) override {
        there ? void(files_.folders.insert(name)) : void(files_.folders.erase(name));
    }
    std::string FullPath(const std::string& name) override { return files_.FullPath(name); }
    void PutFile(const std::string& name, const std::string& bytes) override { files_.files[name] = bytes; }
    std::vector<std::string> Files() override {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : files_.files) names.push_back(name);
        return names;
    }
    void HoldFile(bool hold) override {
        hold ? void(files_.held.insert(kSettingsFileName)) : void(files_.held.erase(kSettingsFileName));
    }
    void DeleteFile() override { files_.files.erase(kSettingsFileName); }

    // --- the program ---
    void Start() override {
        // A start after the end is a new process.
        if (exitCode_) {
            End();
            program_ = std::make_unique<Program>(files_, *this);
            exitCode_.reset();
        }
        if (const std::optional<std::string> file = ReadFile(kSettingsFileName); file && !files_.held.count(kSettingsFileName)) {
            // Every file the scenarios give is written back with the same rules.
            const ParsedSettings parsed = ParseSettings(*file);
            const ParsedSettings again = ParseSettings(FormatSettings(parsed.config, parsed.rules));
            for (std::size_t i = 0; i < parsed.rules.size(); ++i)
                Check(again.rules.at(i).sameSettings(parsed.rules[i]), "a rule changed");
        }
        desktop_.setLive(true);  // the workers look at their queues every cycle
        program_->shell.Handle({shell::kWmCreate, 0, 0});
        program_->shared.PollInterval = 3;  // the least at which a request to correct now pauses between its tests
    }
    void SecondStart() override { queue_.push_back({shell::kSecondStartMessage, 0, 0}); }
    void StartTwice() override { Start(), SecondStart(); }
    void Screen(int width, int height) override { desktop_.setMonitors({Rect{0, 0, width, height}}); }
    std::optional<int> Ended(int ms) override {
        if (ms > 0) WaitFor([&] { return exitCode_.has_value(); }, ms);
        Check(!waitedForShell_ && !desktop_.stalledLong(), "the program waited for a taskbar or a worker");
        return exitCode_;
    }
    void Command(int id) override { queue_.push_back({shell::kWmCommand, static_cast<std::uintptr_t>(id), 0}); }
    void Post(unsigned message, long long wParam, long long lParam) override {
        // A key while the tray menu is shown chooses the item it underlines.
        static const std::map<long long, int> kMenuKeys = {{'X', IDM_CORRECT_NOW}, {'E', IDM_MONITORING},
                                                           {'S', IDM_SETTINGS},    {'H', IDM_HELP},
                                                           {'R', IDM_README},      {'V', IDM_ABOUT},
                                                           {'Q', IDM_EXIT}};
        if (message == 0x100 && menuShown_) {
            menuShown_ = false;
            if (kMenuKeys.count(wParam)) Command(kMenuKeys.at(wParam));
            return;
        }
        queue_.push_back({message, static_cast<std::uintptr_t>(wParam), static_cast<std::intptr_t>(lParam)});
    }
    void Tray(bool right) override { queue_.push_back({shell::kTrayCallbackMessage, 1, right ? 0x204 : 0x201}); }
    // A chord reaches the program when it is its registered hotkey.
    void Keys(const std::string& chord) override {
        if (hotkey_ == ChordHotkey(chord)) queue_.push_back({shell::kWmHotkey, 0, 0});
    }
    std::optional<std::string> TakeNotice(const std::string& caption, bool help) override {
        for (FakeDialog* view : {settingsView_.get(), inputView_.get()}) {
            if (view) notices_.insert(notices_.end(), view->notices.begin(), view->notices.end()), view->notices.clear();
        }
        auto it = std::find_if(notices_.begin(), notices_.end(), [&](const std::string& n) {
            return n.rfind((help ? "help " : "") + caption + ": ", 0) == 0;
        });
        if (it == notices_.end()) return std::nullopt;
        std::string text = it->substr(it->find(": ") + 2);
        notices_.erase(it);
        return text;
    }

    // --- the desktop ---
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
    void Hang(const std::string& window, bool hang) override {
        hang ? desktop_.hang(Window(window)) : desktop_.resume(Window(window));
    }
    void Hide(const std::string& window) override { desktop_.hide(Window(window)); }
    bool Shown(const std::string& window) override { return desktop_.window(Window(window)).visible; }

    // --- the dialogs ---
    bool OpenDialog(const std::string& which) override {
        FakeDialog* view = which == "settings" ? settingsView_.get() : which == "input" && inputOpen_ ? inputView_.get()
                         : which == "about"    ? aboutView_.get() : nullptr;
        if (view == nullptr || view->ended >= 0) return false;
        view_ = view;
        return true;
    }
    bool DialogClosed() override { return view_ == nullptr || view_->ended >= 0; }
    void Click(int id) override { Click(id, true); }
    void Press(const std::string& key) override { Click(key == "return" ? 1 : 2, false); }
    void CloseBox() override { Click(2, false); }
    void Focus(int id) override {
        FakeDialog& view = View();
        if (settings::IsField(view.focus) && view.focus != id && view_ == settingsView_.get()) settingsModel_->Command(view.focus, 0x200);
        view.focus = id;
    }
    void Type(int id, const std::string& text) override {
        Focus(id);
        View()[id].text = text;
    }
    void Select(int id, int row) override {
        Focus(id);
        View().Select(id, row);
        SettingsModel().Command(id, 1);
    }
    void Scroll(int bar, int code, int position) override { SettingsModel().Scroll(bar, code, position); }
    void Wheel(int list, int delta) override { SettingsModel().Wheel(list, delta); }
    // The input dialog's help requests go on to the settings dialog.
    void Help(int id) override { settingsModel_->Help(id, View().HandleOf(id)); }
    void Drag(const std::string& window, bool edit, const std::string&) override {
        WindowHandle target = Window(window);
        Rect r = desktop_.window(target).rect;
        if (edit) {  // the edit field inside the window
            r = Rect{r.left + 10, r.top + 30, r.left + 130, r.top + 54};
            desktop_.open("Edit", "", r, true, target);
        }
        desktop_.setCursor(Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        if (InInput()) settingsModel_->input().Press();
        else SettingsModel().Press();
        Check(!View()[IDC_PICK].visible && View().pickCursor, "the icon is shown, or the mouse free, while dragging");
        InInput() ? settingsModel_->input().Release() : settingsModel_->Release();
        Check(!View().captured && View()[IDC_PICK].visible, "the mouse is held, or the icon hidden, after the pick");
    }
    ControlState Control(int id) override {
        const FakeDialog::Control& k = View()[id];
        ControlState state{k.enabled, k.checked, k.visible, k.text, k.rows, k.selected, k.top,
                           std::to_string(k.bar.min) + " " + std::to_string(k.bar.max) + " " +
                               std::to_string(k.bar.page) + " " + std::to_string(k.bar.pos), {}};
        for (settings::RowMark mark : k.marks) state.marks.push_back(static_cast<int>(mark));
        return state;
    }

    std::pair<bool, bool> Marks() override { return {marks_.monitoringChecked, marks_.correctNowEnabled}; }
    bool TrayIconShown() override { return trayShown_; }
    void TakeHotkey(const std::string& chord) override { taken_ = ChordHotkey(chord); }
    bool Extra(const Step& step) override;

    // --- shell::ShellPort ---
    void AddTrayIcon() override { WaitForTaskbar(), trayShown_ = true, ++trayAdds_, --shellCalls_; }
    void RemoveTrayIcon() override { WaitForTaskbar(), trayShown_ = false, --shellCalls_; }
    bool TaskbarAnswers() override { return !desktop_.window(desktop_.frontmost("Shell_TrayWnd")).hung; }
    void Post(const shell::Message& m) override { queue_.push_back(m); }
    void Notice(const std::string& text) override { notices_.push_back(std::string(texts::kProductName) + ": " + text); }
    void Balloon(const std::string& title, const std::string& text) override {
        Check(trayShown_ && title.size() <= 63 && text.size() <= 255, "a balloon without its icon, or too long");
        balloons_.push_back(title + ": " + text);
    }
    // Called by the scan worker: the message waits in the queue.
    void RefusalsWaiting() override { refusalsPosted_ = true; }
    bool RegisterHotkey(const shell::Hotkey& hotkey) override {
        hotkey_.reset();
        if (taken_ == hotkey) return false;
        hotkey_ = hotkey;
        return true;
    }
    void UnregisterHotkey() override { hotkey_.reset(); }
    void SetMenuMarks(const shell::MenuMarks& marks) override { marks_ = marks; }
    void ShowMenu() override { menuShown_ = true; }
    void LowerPriority() override {}
    shell::Point2 ScreenSize() override { return {1280, 1024}; }
    void RunDialog(shell::Dialog dialog, shell::Point2) override {
        if (dialog == shell::Dialog::About) {
            aboutView_ = std::make_unique<FakeDialog>();
            aboutWindow_ = desktop_.open("#32770", ToCp932("Torvane - バージョン情報"), Rect{520, 362, 820, 482});
            return;
        }
        settingsView_ = std::make_unique<FakeDialog>();
        inputView_ = std::make_unique<FakeDialog>();
        settingsModel_ = std::make_unique<SettingsDialog>(program_->shared, desktop_, program_->shell, *settingsView_, *inputView_);
        if (settingsModel_->Open())
            dialogWindow_ = desktop_.open("#32770", ToCp932("Torvane - 設定"), Rect{337, 190, 940, 810});
    }
    void BringDialogToFront() override {}
    void CloseDialogs() override {
        for (FakeDialog* view : {inputView_.get(), settingsView_.get(), aboutView_.get()}) {
            if (view != nullptr && view->ended < 0) view->ended = 2;
        }
    }
    // The folder's documents: no program is associated with any of them.
    Opening OpenDocument(const char* path) override {
        return files_.files.count(std::string(path).substr(2)) ? Opening::NoProgram : Opening::Missing;
    }
    bool OpenInNotepad(const char* path) override { return notices_.push_back(std::string("Notepad: ") + path), true; }
    // The window goes, and what was posted to it with it.
    void DestroyMainWindow() override {
        program_->shell.Handle({shell::kWmDestroy, 0, 0});
        queue_.clear();
    }
    void Quit(int code) override { exitCode_ = code; }
    // Nothing is freed: the program goes with the next start or the test.
    void EndNow(int code) override {
        exitCode_ = code;
        queue_.clear();
    }

private:
    struct Program {
        Program(FileOps& files, shell::ShellPort& port) : file(files), shell(shared, desktop(port), file, port) {}
        static WindowSystem& desktop(shell::ShellPort& port) { return static_cast<Core&>(port).desktop_; }
        Shared shared;
        SettingsFile file;
        shell::Shell shell;
    };
    void End() {
        StopWorkers(program_->shared);
        WaitForWorkers(program_->shared, std::chrono::hours(1));
        desktop_.dropAnswers(&program_->shared.owed);
    }
    // A call to the shell's tray waits while the taskbar does not answer, as
    // on Windows; one that waits 3 s shows a program that waits for it.
    void WaitForTaskbar() {
        ++shellCalls_;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!closing_ && desktop_.window(desktop_.frontmost("Shell_TrayWnd")).hung) {
            if (std::chrono::steady_clock::now() > end) {
                waitedForShell_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    FakeDialog& View() {
        Check(view_ != nullptr, "no dialog is open");
        return *view_;
    }
    SettingsDialog& SettingsModel() {
        Check(settingsModel_ != nullptr && view_ == settingsView_.get(), "the settings dialog is not in front");
        return *settingsModel_;
    }
    StepThread& StepsOf(const std::string& kind) {
        std::unique_ptr<StepThread>& thread = stepThreads_[kind];
        if (!thread) thread = std::make_unique<StepThread>();
        return *thread;
    }
    std::vector<BoundWindow>& Bound(const std::string& rule) {
        return program_->shared.table[static_cast<std::size_t>(Number(rule))].boundWindows;
    }
    WindowHandle Window(const std::string& name) {
        if (name == "dialog") return dialogWindow_;
        Check(windows_.count(name) != 0, "no window " + name);
        return windows_.at(name);
    }

    void Closed(std::unique_ptr<FakeDialog>& view, WindowHandle& window, shell::Dialog dialog) {
        if (!view || view->ended < 0 || window == kNoWindow + 1) return;
        desktop_.close(window);
        window = kNoWindow + 1;  // told
        program_->shell.DialogClosed(dialog);
    }

    bool InInput() const { return inputOpen_ && view_ == inputView_.get(); }
    void InputClosed() {
        inputOpen_ = false;
        desktop_.close(inputWindow_);
        if (view_ == inputView_.get()) view_ = settingsView_.get();
        settingsModel_->InputClosed();
    }

    void Click(int button, bool moveFocus) {
        if (view_ != nullptr && view_ == aboutView_.get()) {
            if (button == 1 || button == 2) aboutView_->ended = button;
            return;
        }
        if (InInput()) {
            settingsModel_->input().Command(button);
            if (inputView_->ended >= 0) InputClosed();
            return;
        }
        if (moveFocus) Focus(button);
        if (IsCheckBox(button)) View()[button].checked = !View()[button].checked;
        SettingsModel().Command(button, 0);
        if (std::exchange(settingsView_->inputShown, false)) {  // the model showed the input dialog
            inputView_->ended = -1;
            settingsModel_->input().Open();
            inputWindow_ = desktop_.open("#32770", ToCp932("Torvane - 入力して追加"), Rect{450, 435, 1040, 545});
            view_ = inputView_.get();
            inputOpen_ = true;
        }
    }

    FakeDesktop desktop_;
    testing::MemoryFileOps files_;
    std::unique_ptr<Program> program_ = std::make_unique<Program>(files_, *this);
    std::deque<shell::Message> queue_;  // the main window's posted messages
    std::map<std::string, WindowHandle> windows_;
    std::vector<std::string> notices_;  // "caption: text", as shown
    std::unique_ptr<FakeDialog> settingsView_, inputView_, aboutView_;
    std::unique_ptr<SettingsDialog> settingsModel_;
    bool inputOpen_ = false;
    FakeDialog* view_ = nullptr;
    WindowHandle dialogWindow_ = kNoWindow, inputWindow_ = kNoWindow, aboutWindow_ = kNoWindow;
    std::atomic<bool> trayShown_{false};
    std::atomic<int> trayAdds_{0};
    std::atomic<int> shellCalls_{0};  // calls to the shell's tray under way
    std::atomic<bool> waitedForShell_{false}, closing_{false}, refusalsPosted_{false};
    std::vector<std::string> balloons_;  // "title: text", as shown
    LockCycle lockCycle_;  // the lock's cycle that "step lock" builds and "step send" ends
    std::optional<shell::Hotkey> hotkey_, taken_;  // registered; held by another program
    shell::MenuMarks marks_{false, false};
    bool menuShown_ = false;
    std::optional<int> exitCode_;
    std::map<std::string, std::unique_ptr<StepThread>> stepThreads_;  // by the worker whose steps they run
};

bool Core::Extra(const Step& step) {
    const std::vector<std::string>& w = step.words;
    const std::string& c = w[0];
    if (c == "load") {  // the file read, the workers not started
        program_->file.Load(program_->shared);
    } else if (c == "scan") {  // scan [the pass's result]
        const bool whole = ScanPass(program_->shared, desktop_);
        Check(w.size() < 2 || whole == (Number(w[1]) != 0), "the pass was not whole");
    } else if (c == "wakeup") {  // wakeup due|idle; a due wakeup is taken
        const auto now = Wakeup::Clock::now();
        Check(program_->shared.correctionThread.wakeup.sleepUntil(now, now) == (w.at(1) == "due"), "the correction worker's wakeup is not " + w[1]);
    } else if (c == "monitors") {  // monitors <x,y,w,h>[@dpi] ...: the first has the taskbar
        std::vector<Rect> areas;
        std::vector<int> dpis;
        for (std::size_t i = 1; i < w.size(); ++i) {
            const std::size_t at = w[i].find('@');
            areas.push_back(RectFrom(ParseBox(w[i].substr(0, at))));
            dpis.push_back(at == std::string::npos ? 96 : Number(w[i].substr(at + 1)));
        }
        desktop_.setMonitors(areas, dpis);
    } else if (c == "nature") {  // nature <window> refusing|elevated|full|dpi-aware|fixed-size|vanishing|answering ...
        using W = FakeDesktop::Window;
        static const std::map<std::string, bool W::*> kNatures = {
            {"refusing", &W::refusing},   {"elevated", &W::elevated},     {"full", &W::full},
            {"dpi-aware", &W::dpiAware}, {"fixed-size", &W::fixedSize}, {"vanishing", &W::vanishing}};
        desktop_.change(Window(w.at(1)), [&](W& win) {
            for (std::size_t i = 2; i < w.size(); ++i)
                w[i] == "answering" ? void(win.refusing = win.elevated = win.full = false) : void(win.*kNatures.at(w[i]) = true);
        });
    } else if (c == "balloons") {  // balloons <text> ...: the balloons shown since the last look, in order
        std::vector<std::string> expected;
        for (std::size_t i = 1; i < w.size(); ++i) expected.push_back(std::string(texts::kRefusedTitle) + ": " + w[i]);
        WaitFor([&] { return balloons_.size() >= expected.size(); }, expected.empty() ? quietMs : deadlineMs);
        Check(std::exchange(balloons_, {}) == expected, "other balloons");
    } else if (c == "owed") {  // owed <count>: windows that owe an answer
        Check(program_->shared.owed.size() == static_cast<std::size_t>(Number(w.at(1))),
              std::to_string(program_->shared.owed.size()) + " windows owe answers");
    } else if (c == "settled") {  // the displays' change has settled, and the workers have acted on it
        Check(WaitFor([&] { return !program_->shared.displayChange.pending(); }, deadlineMs) &&
                  testing::WaitForCycles(program_->shared, 2),
              "the displays never settle");
        AfterStep();
    } else if (c == "stall") {  // the three correction workers get no time from now on
        desktop_.stall(true);
        Check(WaitFor([&] { return desktop_.waiting() == 3; }, deadlineMs), "the workers go on");
    } else if (c == "clear-log") {
        desktop_.clearLog();
    } else if (c == "pick") {  // pick <x,y> [lost]: a drag from the cursor icon dropped there, or its capture lost
        const Box at = ParseBox(w.at(1) + ",0,0");
        desktop_.setCursor(Point{at.x, at.y});
        SettingsModel().Press();
        if (w.size() > 2) SettingsModel().CaptureLost();
        else settingsModel_->Release();
    } else if (c == "step") {
        // step <correction|lock|watch> <rule> | scan | send ...: back to back, each on its
        // worker's thread; "lock" reads for the lock's cycle, "send" sends its moves
        for (std::size_t i = 1; i < w.size(); i += w[i] == "scan" || w[i] == "send" ? 1 : 2) {
            const std::string& kind = w[i];
            const std::int32_t rule = kind == "scan" || kind == "send" ? 0 : Number(w.at(i + 1));
            StepsOf(kind == "send" ? "lock" : kind).Run([&] {
                desktop_.CollectAnswers();
                if (kind == "scan") ScanPass(program_->shared, desktop_);
                else if (kind == "correction") CorrectionStep(program_->shared, desktop_, rule);
                else if (kind == "lock") lockCycle_.Rule(program_->shared, desktop_, rule);
                else if (kind == "send") lockCycle_.Send(program_->shared, desktop_);
                else StateWatchStep(program_->shared, desktop_, rule);
            });
        }
    } else if (c == "log") {
        std::string expected;
        for (std::size_t i = 1; i < w.size(); ++i) expected += (i > 1 ? " " : "") + w[i];
        Check(desktop_.log() == expected, "the calls were " + desktop_.log());
        desktop_.clearLog();
    } else if (c == "sent") {  // sent <window>=<moves and show commands since the last look> ...
        for (std::size_t i = 1; i < w.size(); ++i) {
            const std::size_t eq = w[i].find('=');
            Check(eq != std::string::npos, "sent <window>=<commands>");
            const std::string sent = desktop_.takeSent(Window(w[i].substr(0, eq)));
            Check(sent == w[i].substr(eq + 1), w[i].substr(0, eq) + " was sent " + (sent.empty() ? "nothing" : sent));
        }
    } else if (c == "bound") {  // bound <rule>=<each bound window's name, last show state, * when marked> ...
        for (std::size_t i = 1; i < w.size(); ++i) {
            const std::size_t eq = w[i].find('=');
            Check(eq != std::string::npos, "bound <rule>=<windows>");
            std::string seen;
            auto read = [&] {
                seen.clear();
                testing::WithFlag(program_->shared, [&] {
                    for (const BoundWindow& b : Bound(w[i].substr(0, eq)))
                        seen += FakeDesktop::name(b.handle) + std::to_string(b.lastShowCmd) + (b.pending() ? "*" : "");
                });
                return seen == w[i].substr(eq + 1);
            };
            const bool ok = read() || WaitFor(read, deadlineMs);
            Check(ok, "bound to rule " + w[i].substr(0, eq) + " are " + seen);
        }
    } else if (c == "event") {  // event created|shown|renamed|moved|restored <window>: the platform tells of it
        static const std::map<std::string, WindowEvent> kEvents = {
            {"created", WindowEvent::Created}, {"shown", WindowEvent::Shown}, {"renamed", WindowEvent::Renamed},
            {"moved", WindowEvent::Moved},     {"restored", WindowEvent::Restored}};
        desktop_.fire(kEvents.at(w.at(1)), Window(w.at(2)));
    } else if (c == "poll") {  // poll <ms>: the workers' interval from now on; each is in such a sleep after
        testing::SetInterval(program_->shared, Number(w.at(1)));
    } else if (c == "retitle") {
        desktop_.retitle(Window(w.at(1)), w.size() > 2 ? w[2] : "");
    } else if (c == "close-window") {
        if (desktop_.window(Window(w.at(1))).className == "Shell_TrayWnd") RemoveTrayIcon();
        desktop_.close(Window(w.at(1)));
    } else if (c == "icon-adds") {  // icon-adds <count>: the tray icon was added so often
        Check(trayAdds_ == Number(w.at(1)), "the icon was added " + std::to_string(trayAdds_) + " times");
    } else {
        return false;
    }
    return true;
}

class Scenarios : public ::testing::TestWithParam<Scenario> {};

TEST_P(Scenarios, Play) {
    Core core;
    Player player(core);
    try {
        player.Play(GetParam().steps);
    } catch (const Failure& f) {
        FAIL() << player.where() << ": " << f.message;
    }
}

// Every scenario of the end-to-end and the unit scenario files.
std::vector<Scenario> AllScenarios() {
    std::vector<Scenario> all = LoadScenarios(std::string(TORVANE_TESTS_DIR) + "/wine/e2e/scenarios");
    for (Scenario& s : LoadScenarios(std::string(TORVANE_TESTS_DIR) + "/unit/scenarios")) all.push_back(std::move(s));
    return all;
}
INSTANTIATE_TEST_SUITE_P(, Scenarios, ::testing::ValuesIn(AllScenarios()), [](const auto& i) { return TestName(i.param.name); });

}  // namespace
}  // namespace torvane
