// The real torvane.exe under Wine, as a scenario's platform: it acts only as
// another process can, through messages to the program's hidden main window
// and its dialogs, real mouse and keyboard input, the settings file, and
// windows of its own for the rules to act on. The end-to-end test plays the
// scenario files with it; the tool that takes the documents' pictures too.
//
// From the environment: TORVANE_EXE, the program (default: the one built
// beside the test); TORVANE_FOLDER, a folder to run it in, kept as it is
// (default: a fresh one per scenario, removed).
#pragma once

#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/scenario.h"
#include "support/win32_wait.h"

namespace {

using namespace scenario;

// "/a/b" as "Z:\a\b"; a path with a drive letter as it is.
std::string WinePath(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path;
    std::string out = "Z:";
    for (char c : path) out += c == '/' ? '\\' : c;
    return out;
}

// A setting from the environment, as a Windows path; `fallback` without one.
std::string PathSetting(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? WinePath(value) : fallback[0] ? WinePath(fallback) : std::string();
}
const std::string g_torvane = PathSetting("TORVANE_EXE", TORVANE_EXE_BUILT);
const std::string g_folder = PathSetting("TORVANE_FOLDER", "");

// For what must come true: long, so that a busy machine does not fail a
// test; a test that passes waits only as long as the program takes.
constexpr DWORD kDeadlineMs = 15000;
constexpr char kMainClass[] = "ZrkwinMainWindowClass";
constexpr UINT kCodePage = 932;

// --- text ---

std::wstring Widen(const std::string& text, UINT codePage) {
    std::wstring out(text.size() + 1, L'\0');
    out.resize(std::max(0, ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                                 out.data(), static_cast<int>(out.size()))));
    return out;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
    std::string out(text.size() * 4 + 1, '\0');
    out.resize(std::max(0, ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                                 out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

// --- waiting while this thread's messages are handled ---

ULONGLONG Now() { return ::GetTickCount64(); }

template <class Condition>
bool WaitFor(Condition condition, DWORD limitMs = kDeadlineMs) {
    return torvane::testing::PumpUntil(condition, limitMs);
}

void PumpFor(DWORD ms) { WaitFor([] { return false; }, ms); }

// --- files and processes ---

std::optional<std::string> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    Check(static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()),
          "cannot write " + path);
}

// A fresh folder under the temporary folder, removed with its files; or,
// with TORVANE_FOLDER, that folder as it is, kept.
class WorkFolder {
public:
    WorkFolder() : path_(g_folder) {
        static int counter = 0;
        if (!path_.empty()) return;
        path_ = (std::filesystem::temp_directory_path() /
                 ("torvane-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter))).string();
        Check(std::filesystem::create_directory(path_), "cannot create " + path_);
    }
    ~WorkFolder() {
        std::error_code ignored;
        if (g_folder.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            if (entry.is_regular_file()) out.push_back(entry.path().filename().string());
        return out;
    }

private:
    std::string path_;
};

// A process in a job that ends it when the driver ends, however it ends.
class Child {
public:
    ~Child() { Kill(); }
    bool Start(const std::string& application, const std::string& folder) {
        static HANDLE job = [] {
            HANDLE created = ::CreateJobObjectA(nullptr, nullptr);
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            ::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
            return created;
        }();
        Kill();
        std::string commandLine = "\"" + application + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // Wine's CreateProcess fails now and then on a busy machine: a few more tries.
        for (int tries = 1; !::CreateProcessA(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                              CREATE_SUSPENDED, nullptr, folder.empty() ? nullptr : folder.c_str(),
                                              &startup, &info_);
             ++tries) {
            info_ = {};
            if (tries == 5) return (lastError_ = ::GetLastError(), false);
            ::Sleep(200);
        }
        ::AssignProcessToJobObject(job, info_.hProcess);
        ::ResumeThread(info_.hThread);
        return true;
    }
    bool Running() const { return info_.hProcess && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    void Swap(Child& other) { std::swap(info_, other.info_); }
    DWORD lastError() const { return lastError_; }
    HANDLE handle() const { return info_.hProcess; }
    DWORD pid() const { return info_.dwProcessId; }
    std::optional<DWORD> WaitForExit(DWORD limitMs) {
        DWORD code = 0;
        const bool ended = WaitFor([&] { return !Running(); }, limitMs) && ::GetExitCodeProcess(info_.hProcess, &code);
        return ended ? std::optional<DWORD>(code) : std::nullopt;
    }
    void Kill() {
        if (!info_.hProcess) return;
        if (Running()) ::TerminateProcess(info_.hProcess, 0xE2E);
        ::WaitForSingleObject(info_.hProcess, 5000);
        ::CloseHandle(info_.hThread);
        ::CloseHandle(info_.hProcess);
        info_ = {};
    }

private:
    PROCESS_INFORMATION info_{};
    DWORD lastError_ = 0;
};

// --- windows of any process ---

std::string ClassOf(HWND window) {
    char text[256] = "";
    ::GetClassNameA(window, text, sizeof text);
    return text;
}

std::string TitleOf(HWND window) {
    char text[256] = "";
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

RECT WindowRect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}


// A visible top-level window of process `pid` with that class and, if given, that title.
HWND FindShown(DWORD pid, const std::string& className, const std::string* title) {
    for (HWND w = nullptr; (w = ::FindWindowExA(nullptr, w, className.c_str(), title ? title->c_str() : nullptr));) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(w, &process);
        if (process == pid && ::IsWindowVisible(w)) return w;
    }
    return nullptr;
}

// A message to a window of another process, which must answer within 2 s.
// In UTF-16: Wine hands list texts across processes as such.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    Check(::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result) != 0,
          "no answer to message " + std::to_string(message));
    return static_cast<LRESULT>(result);
}

std::string TextOf(HWND control) {
    wchar_t text[1024] = L"";
    return Narrow(std::wstring(text, Send(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text))), kCodePage);
}

// --- real input ---

bool MouseAt(POINT at, DWORD buttons = 0, DWORD wheel = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>(at.x * 65535LL / (::GetSystemMetrics(SM_CXSCREEN) - 1));
    input.mi.dy = static_cast<LONG>(at.y * 65535LL / (::GetSystemMetrics(SM_CYSCREEN) - 1));
    input.mi.mouseData = wheel;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    return ::SendInput(1, &input, sizeof input) == 1;
}

POINT Centre(HWND window) {
    const RECT r = WindowRect(window);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}


// A chord such as "ctrl+alt+shift+space" or "shift+f9", pressed and released.
void PressChord(const std::string& chord) {
    std::vector<INPUT> input;
    for (const std::string& name : ChordKeys(chord)) {
        INPUT key{};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = static_cast<WORD>(KeyCode(name));
        input.push_back(key);
    }
    for (std::size_t i = input.size(); i-- > 0;) {
        input.push_back(input[i]);
        input.back().ki.dwFlags = KEYEVENTF_KEYUP;
    }
    Check(::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) == input.size(), "SendInput");
}

// --- the menu marks ---

// Windows answers GetMenuState across processes; Wine only inside the process
// that owns the menu. There the probe library, loaded into the program, reads
// it on a thread of its own.
std::optional<UINT> MenuStateOf(HANDLE process, HWND mainWindow, UINT id) {
    const UINT direct = ::GetMenuState(::GetMenu(mainWindow), id, MF_BYCOMMAND);
    if (direct != static_cast<UINT>(-1)) return direct;
    char self[MAX_PATH];
    std::string path(self, ::GetModuleFileNameA(nullptr, self, sizeof self));
    path = path.substr(0, path.find_last_of("\\/")) + "\\torvane_e2e_probe.dll";
    auto remote = [&](const char* name) -> HMODULE {
        HMODULE modules[512];
        DWORD needed = 0;
        ::EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL);
        for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
            char base[MAX_PATH];
            if (::GetModuleBaseNameA(process, modules[i], base, sizeof base) && ::lstrcmpiA(base, name) == 0)
                return modules[i];
        }
        return nullptr;
    };
    // Runs `function` of `local`, loaded in `process` at `there`.
    auto run = [&](HMODULE local, HMODULE there, const char* function, void* argument) -> std::optional<DWORD> {
        const auto offset = reinterpret_cast<std::uintptr_t>(::GetProcAddress(local, function)) -
                            reinterpret_cast<std::uintptr_t>(local);
        HANDLE thread = ::CreateRemoteThread(
            process, nullptr, 0,
            reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<std::uintptr_t>(there) + offset), argument, 0,
            nullptr);
        DWORD code = 0;
        const bool done = thread && ::WaitForSingleObject(thread, kDeadlineMs) == WAIT_OBJECT_0 &&
                          ::GetExitCodeThread(thread, &code);
        if (thread) ::CloseHandle(thread);
        return done ? std::optional<DWORD>(code) : std::nullopt;
    };
    static HMODULE probe = ::LoadLibraryA(path.c_str());
    if (!remote("torvane_e2e_probe.dll")) {
        void* name = ::VirtualAllocEx(process, nullptr, path.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        ::WriteProcessMemory(process, name, path.c_str(), path.size() + 1, nullptr);
        run(::GetModuleHandleA("kernel32.dll"), remote("kernel32.dll"), "LoadLibraryA", name);
        ::VirtualFreeEx(process, name, 0, MEM_RELEASE);
    }
    HMODULE there = remote("torvane_e2e_probe.dll");
    if (!probe || !there) return std::nullopt;
    const std::optional<DWORD> state = run(probe, there, "TorvaneMenuState", reinterpret_cast<void*>(std::uintptr_t{id}));
    return state && *state != 0xFFFFFFFFu ? std::optional<UINT>(*state) : std::nullopt;
}

// --- windows of the driver, for the rules to act on ---

// Top-level windows (one, or `count` alike without taskbar buttons) on a
// thread of their own, so that they can stop answering while the driver goes
// on. When they answer again, the messages that waited are counted.
class TestWindows {
public:
    TestWindows(std::string className, std::string title, RECT r, int count, HWND owner = nullptr)
        : className_(std::move(className)), title_(std::move(title)), rect_(r), count_(count), owner_(owner),
          resume_(::CreateEventA(nullptr, TRUE, TRUE, nullptr)) {
        HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, ready] { Run(ready); });
        ::WaitForSingleObject(ready, INFINITE);
        ::CloseHandle(ready);
        if (all_.empty()) {
            thread_.join();
            Fail("cannot create a window of class " + Escaped(className_));
        }
    }
    ~TestWindows() {
        Resume();
        ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
        ::CloseHandle(resume_);
    }
    HWND handle() const { return all_.front(); }
    void Hang() {
        ::ResetEvent(resume_);
        ::PostMessageA(handle(), kHang, 0, 0);
    }
    void Resume() { ::SetEvent(resume_); }
    long backlog() const { return backlog_; }

private:
    static constexpr UINT kHang = WM_APP + 1;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestWindows*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && self->draining_) ++self->backlog_;
        if (self != nullptr && message == kHang) {
            ::WaitForSingleObject(self->resume_, INFINITE);
            // What waited is handled before a look finds the queue empty.
            self->backlog_ = 0;
            self->draining_ = true;
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) ::DispatchMessageA(&msg);
            self->draining_ = false;
            if (msg.message == WM_QUIT) ::PostQuitMessage(0);
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    }

    void Run(HANDLE ready) {
        threadId_ = ::GetCurrentThreadId();
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = className_.c_str();
        ::RegisterClassExA(&wc);
        for (int i = 0; i < count_; ++i) {
            // With an owner: a dialog box of pop-up style, as programs show them.
            HWND made = ::CreateWindowExA(count_ > 1 ? WS_EX_TOOLWINDOW : 0, className_.c_str(), title_.c_str(),
                                          owner_ ? WS_POPUP | WS_CAPTION | WS_SYSMENU : WS_OVERLAPPEDWINDOW,
                                          rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top,
                                          owner_, nullptr, wc.hInstance, nullptr);
            if (made == nullptr) break;
            ::SetWindowLongPtrA(made, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            // An edit field inside, for picks that land on a child window.
            if (count_ == 1)
                ::CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 120, 24, made, nullptr,
                                  nullptr, nullptr);
            ::ShowWindow(made, SW_SHOWNORMAL);
            all_.push_back(made);
        }
        ::SetEvent(ready);
        MSG msg;
        while (!all_.empty() && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
        for (HWND window : all_) ::DestroyWindow(window);
        ::UnregisterClassA(className_.c_str(), wc.hInstance);
    }

    std::string className_, title_;
    RECT rect_;
    int count_;
    HWND owner_;
    HANDLE resume_;
    std::thread thread_;
    DWORD threadId_ = 0;
    std::vector<HWND> all_;
    bool draining_ = false;
    std::atomic<long> backlog_{0};
};

// --- the program under Wine ---

class Wine : public Platform {
public:
    Wine() { deadlineMs = static_cast<int>(kDeadlineMs); }
    ~Wine() override {
        if (locked_ != INVALID_HANDLE_VALUE) ::CloseHandle(locked_);
        for (; hotkeys_ > 0; --hotkeys_) ::UnregisterHotKey(nullptr, hotkeys_);
        for (auto& [name, window] : foreign_) ::PostMessageA(window, WM_CLOSE, 0, 0);
        for (auto& notepad : notepads_) notepad->WaitForExit(3000);
        // The next scenario finds the screen at its size, also after a failure.
        if (screenChanged_) ::ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
    }

    // Ends what the scenario left running: the program as the platform ends
    // it, with WM_CLOSE, and exit code 0.
    void Finish() {
        if (!torvane_.Running()) return;
        if (HWND box = FindShown(torvane_.pid(), "#32770", nullptr)) {
            const std::string text = TitleOf(box);
            ::PostMessageA(box, WM_CLOSE, 0, 0);
            Fail("a window of the program is still open: " + Escaped(text));
        }
        ::PostMessageA(main_, WM_CLOSE, 0, 0);
        const std::optional<DWORD> code = torvane_.WaitForExit(kDeadlineMs);
        Check(code.has_value(), "the program did not end after WM_CLOSE");
        Check(*code == 0, "exit code " + std::to_string(*code));
    }

    bool WaitFor(const std::function<bool()>& done, int ms) override { return ::WaitFor(done, static_cast<DWORD>(ms)); }

    void WriteSettings(const std::string& bytes) override { WriteFileBytes(folder_.file("zrk.ini"), bytes); }
    std::optional<std::string> ReadFile(const std::string& name) override { return ReadFileBytes(folder_.file(name)); }
    void Folder(const std::string& name, bool there) override {
        Check(there ? ::CreateDirectoryA(folder_.file(name).c_str(), nullptr) != 0
                    : ::RemoveDirectoryA(folder_.file(name).c_str()) != 0, "cannot make or remove the folder " + name);
    }
    std::string FullPath(const std::string& name) override { return folder_.file(name); }
    void PutFile(const std::string& name, const std::string& bytes) override { WriteFileBytes(folder_.file(name), bytes); }
    std::vector<std::string> Files() override { return folder_.names(); }
    void HoldFile(bool hold) override {
        if (!hold) {
            ::CloseHandle(std::exchange(locked_, INVALID_HANDLE_VALUE));
            return;
        }
        locked_ = ::CreateFileA(folder_.file("zrk.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        Check(locked_ != INVALID_HANDLE_VALUE, "cannot lock zrk.ini");
    }
    void DeleteFile() override { Check(::DeleteFileA(folder_.file("zrk.ini").c_str()) != 0, "cannot delete zrk.ini"); }
    void SecondStart() override {
        Child second;
        Check(second.Start(g_torvane, folder_.path()), "cannot start a second copy");
        Check(second.WaitForExit(kDeadlineMs) == std::optional<DWORD>(0), "the second start did not end with 0");
    }
    std::optional<int> Ended(int ms) override {
        if (ms == 0) return torvane_.Running() && ::IsWindow(main_) ? std::nullopt : std::optional<int>(-1);
        const ULONGLONG from = Now();
        const std::optional<DWORD> code = torvane_.WaitForExit(static_cast<DWORD>(ms));
        if (code) std::printf("    ended after %llu ms\n", Now() - from);
        return code ? std::optional<int>(static_cast<int>(*code)) : std::nullopt;
    }
    void Start() override { StartCopies(1); }
    // Wine's virtual desktop takes the new size; every top-level window hears of it.
    void Screen(int width, int height) override {
        DEVMODEA mode{};
        mode.dmSize = sizeof mode;
        mode.dmPelsWidth = static_cast<DWORD>(width);
        mode.dmPelsHeight = static_cast<DWORD>(height);
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        screenChanged_ = true;
        Check(::ChangeDisplaySettingsExA(nullptr, &mode, nullptr, 0, nullptr) == DISP_CHANGE_SUCCESSFUL,
              "the screen does not change its size");
        Check(::WaitFor([&] { return ::GetSystemMetrics(SM_CXSCREEN) == width; }), "the screen keeps its size");
    }
    // Two copies at once: one ends, having told the other, which runs on.
    void StartTwice() override { StartCopies(2); }
    void StartCopies(int copies) {
        Check(::WaitFor([] { return !::FindWindowA(kMainClass, "Torvane"); }), "another Torvane runs on this desktop");
        Child other;
        Check(torvane_.Start(g_torvane, folder_.path()) && (copies == 1 || other.Start(g_torvane, folder_.path())),
              "cannot start " + g_torvane + " (error " + std::to_string(torvane_.lastError()) + ")");
        if (copies == 2) {
            Check(::WaitFor([&] { return !torvane_.Running() || !other.Running(); }), "two copies run");
            if (!torvane_.Running()) torvane_.Swap(other);
            Check(other.WaitForExit(0) == std::optional<DWORD>(0), "the second copy did not end with 0");
        }
        // Ready once its thread first waits for input, in its message loop.
        ::WaitFor([&] { return ::WaitForInputIdle(torvane_.handle(), 0) == 0 || !torvane_.Running(); });
        Check(::WaitFor([&] { return (main_ = ::FindWindowA(kMainClass, "Torvane")) != nullptr; }), "no main window");
    }
    void Command(int id) override { Post(main_, WM_COMMAND, id); }
    void Post(unsigned message, long long wParam, long long lParam) override {
        Post(main_, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    }
    void Tray(bool right) override {
        // A click given to the taskbar at the first icon's place: mouse input
        // through X reaches Wine's taskbar late or twice when the machine is busy.
        HWND taskbar = ::FindWindowA("Shell_TrayWnd", nullptr);
        Check(taskbar && ::IsWindowVisible(taskbar), "no taskbar");
        const RECT r = WindowRect(taskbar);
        POINT at{r.right - 10, (r.top + r.bottom) / 2};
        if (right) MouseAt(at);  // where the program reads the cursor for its menu
        HWND under = ::WindowFromPoint(at);
        ::ScreenToClient(under, &at);
        Post(under, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(at.x, at.y));
        Post(under, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    }
    void Keys(const std::string& chord) override { PressChord(chord); }
    std::optional<std::string> TakeNotice(const std::string& caption, bool) override {  // (the icon is not read)
        HWND box = FindShown(torvane_.pid(), "#32770", &caption);
        HWND label = box ? ::GetDlgItem(box, 0xFFFF) : nullptr;
        if (label == nullptr) return std::nullopt;  // not a message box
        const std::string text = TextOf(label);
        Check(::GetWindow(box, GW_OWNER) == nullptr, "the message box has an owner");
        Send(::GetDlgItem(box, IDOK), BM_CLICK);
        Check(::WaitFor([&] { return !::IsWindow(box); }), "the message box stays after OK");
        return text;
    }

    void OpenWindows(const std::string& name, const std::string& className, const std::string& title, Box at,
                     const std::string& owner, int count) override {
        if (className == "Shell_TrayWnd" && title.empty()) {  // the session's own taskbar; a titled one stands in for it
            foreign_[name] = ::FindWindowA("Shell_TrayWnd", nullptr);
            Check(foreign_[name] != nullptr, "no taskbar");
            return;
        }
        // Wine's own programs, by their window class: Notepad, WineMine.
        static const std::map<std::string, std::string> programs = {{"Notepad", "notepad.exe"}, {"WineMine", "winemine.exe"}};
        if (programs.count(className) && title.empty() && owner.empty()) {
            char system[MAX_PATH];
            auto child = std::make_unique<Child>();
            Check(child->Start(std::string(system, ::GetSystemDirectoryA(system, MAX_PATH)) + "\\" + programs.at(className), ""),
                  "cannot start " + className);
            HWND window = nullptr;
            Check(::WaitFor([&] { return (window = FindShown(child->pid(), className, nullptr)) != nullptr; }), "no " + className);
            notepads_.push_back(std::move(child));
            foreign_[name] = window;
            return;
        }
        own_[name] = std::make_unique<TestWindows>(className, title, RECT{at.x, at.y, at.x + at.w, at.y + at.h}, count,
                                                   owner.empty() ? nullptr : Window(owner));
    }
    void Move(const std::string& window, Box to, bool async) override {
        ::SetWindowPos(Window(window), nullptr, to.x, to.y, to.w, to.h,
                       SWP_NOZORDER | SWP_NOACTIVATE | (async ? SWP_ASYNCWINDOWPOS : 0));
    }
    void Show(const std::string& window, const std::string& state) override {
        ::ShowWindow(Window(window), state == "min" ? SW_MINIMIZE : state == "max" ? SW_SHOWMAXIMIZED
                                     : state == "restore"           ? SW_RESTORE : SW_SHOWNORMAL);
    }
    Box RectOf(const std::string& window) override {
        const RECT r = WindowRect(Window(window));
        return Box{r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    int StateOf(const std::string& window) override {
        WINDOWPLACEMENT placement{sizeof placement, 0, 0, {}, {}, {}};
        return ::GetWindowPlacement(Window(window), &placement) ? static_cast<int>(placement.showCmd) : 0;
    }
    void Hang(const std::string& window, bool hang) override { hang ? Own(window).Hang() : Own(window).Resume(); }
    void Hide(const std::string& window) override { ::ShowWindow(Window(window), SW_HIDE); }
    bool Shown(const std::string& window) override { return ::IsWindowVisible(Window(window)) != FALSE; }

    bool OpenDialog(const std::string& which) override {
        const std::string caption = which == "settings" ? Decode("Torvane - 設定")
                                    : which == "input"  ? Decode("Torvane - 入力して追加")
                                    : which == "about"  ? Decode("Torvane - バージョン情報") : which;
        return (dialog_ = FindShown(torvane_.pid(), "#32770", &caption)) != nullptr;
    }
    bool DialogClosed() override { return !::IsWindow(dialog_); }
    void Click(int id) override {
        // Sent without waiting for the answer: a button may open a dialog of
        // its own. The next message sent is answered once the click has been
        // handled or that dialog's loop runs. (A posted click could still be
        // queued when the next step's messages, sent ones, are handled.)
        Check(::SendNotifyMessageW(Item(id), BM_CLICK, 0, 0) != 0, "cannot click " + std::to_string(id));
        Send(main_, WM_NULL);
    }
    void Press(const std::string& key) override {
        ::SetForegroundWindow(dialog_);
        Check(::WaitFor([&] { return ::GetForegroundWindow() == dialog_; }), "the dialog has no focus");
        PressChord(key);
    }
    void CloseBox() override { Post(dialog_, WM_SYSCOMMAND, SC_CLOSE); }
    void Focus(int id) override { Send(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE); }
    void Type(int id, const std::string& text) override {
        Focus(id);
        Send(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(text, kCodePage).c_str()));
    }
    void Select(int id, int row) override {
        HWND control = Item(id);
        const bool combo = ClassOf(control) == "ComboBox";
        Focus(id);
        Send(control, combo ? CB_SETCURSEL : LB_SETCURSEL, row);
        Send(dialog_, WM_COMMAND, MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
    }
    void Scroll(int bar, int code, int position) override {
        Send(dialog_, WM_VSCROLL, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(Item(bar)));
    }
    void Wheel(int list, int delta) override {
        MouseAt(Centre(Item(list)), MOUSEEVENTF_WHEEL, static_cast<DWORD>(delta));
        PumpFor(100);
    }
    // WM_KEYF1: the dialog gets WM_HELP for this control.
    void Help(int id) override { Post(Item(id), 0x4D); }
    void Drag(const std::string& window, bool edit, const std::string& shot) override;
    ControlState Control(int id) override {
        HWND control = Item(id);
        ControlState s;
        s.enabled = ::IsWindowEnabled(control);
        s.visible = ::IsWindowVisible(control);
        s.checked = Send(control, BM_GETCHECK) == BST_CHECKED;
        s.text = TextOf(control);
        const std::string cls = ClassOf(control);
        const bool combo = cls == "ComboBox";
        if (combo || cls == "ListBox") {
            const LRESULT count = Send(control, combo ? CB_GETCOUNT : LB_GETCOUNT);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t text[512] = L"";
                const LRESULT n = Send(control, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
                s.rows.push_back(Narrow(std::wstring(text, n > 0 ? n : 0), kCodePage));
                if (!combo) s.marks.push_back(static_cast<int>(Send(control, LB_GETITEMDATA, i)));
            }
            s.selected = static_cast<int>(Send(control, combo ? CB_GETCURSEL : LB_GETCURSEL));
            s.top = combo ? 0 : static_cast<int>(Send(control, LB_GETTOPINDEX));
        }
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        if (cls == "ScrollBar" && ::GetScrollInfo(control, SB_CTL, &info))
            s.bar = std::to_string(info.nMin) + " " + std::to_string(info.nMax) + " " + std::to_string(info.nPage) + " " +
                    std::to_string(info.nPos);
        return s;
    }

    std::pair<bool, bool> Marks() override {
        const std::optional<UINT> toggle = MenuStateOf(torvane_.handle(), main_, 32779);
        const std::optional<UINT> correct = MenuStateOf(torvane_.handle(), main_, 32780);
        Check(toggle && correct, "cannot read the menu");
        return {(*toggle & MF_CHECKED) != 0, (*correct & (MF_GRAYED | MF_DISABLED)) == 0};
    }
    // By the pixels at the first icon's place, against the taskbar's own
    // colour beside them. (A click where no icon is would reach the next
    // icon shown there.)
    bool TrayIconShown() override {
        const RECT r = WindowRect(::FindWindowA("Shell_TrayWnd", nullptr));
        const int y = (r.top + r.bottom) / 2;
        HDC screen = ::GetDC(nullptr);
        const COLORREF background = ::GetPixel(screen, r.right - 40, y);
        bool differs = false;
        for (int dx = 2; dx < 18 && !differs; ++dx)
            for (int dy = -7; dy <= 7 && !differs; ++dy) differs = ::GetPixel(screen, r.right - dx, y + dy) != background;
        ::ReleaseDC(nullptr, screen);
        return differs;
    }
    // This program registers the chord.
    void TakeHotkey(const std::string& chord) override {
        const torvane::shell::Hotkey hotkey = ChordHotkey(chord);
        Check(::RegisterHotKey(nullptr, ++hotkeys_, hotkey.modifiers, hotkey.key) != 0, "cannot take the hotkey " + chord);
    }

    bool Extra(const Step& step) override {
        const std::vector<std::string>& w = step.words;
        const std::string& c = w[0];
        if (c == "owner") {
            Check(::GetWindow(dialog_, GW_OWNER) == (w.at(1) == "main" ? main_ : nullptr), "another owner");
        } else if (c == "has-focus") {  // has-focus <id>: the dialog's control with the keyboard focus
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            Check(::WaitFor([&] {
                return ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog_, nullptr), &info) &&
                       ::GetDlgCtrlID(info.hwndFocus) == Number(w.at(1));
            }), "the focus is on " + std::to_string(::GetDlgCtrlID(info.hwndFocus)));
        } else if (c == "mouse-at") {  // mouse-at <x,y>: the cursor goes there
            const Box at = ParseBox(w.at(1) + ",0,0");
            MouseAt(POINT{at.x, at.y});
        } else if (c == "version") {
            // version <x.y>: the version resource, in Japanese and English, and the about box say so.
            DWORD ignored = 0;
            std::string info(::GetFileVersionInfoSizeA(g_torvane.c_str(), &ignored), '\0');
            Check(!info.empty() && ::GetFileVersionInfoA(g_torvane.c_str(), 0, static_cast<DWORD>(info.size()), info.data()),
                  "no version resource");
            VS_FIXEDFILEINFO* fixed = nullptr;
            UINT size = 0;
            Check(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size) && fixed != nullptr, "no version");
            const std::string quad = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
                                     "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
            Check(quad == w.at(1) + ".0.0", "the file version is " + quad);
            for (const char* block : {"041104B0", "040904B0"}) {
                char* text = nullptr;
                Check(::VerQueryValueA(info.data(), (std::string("\\StringFileInfo\\") + block + "\\ProductVersion").c_str(),
                                       reinterpret_cast<void**>(&text), &size) && std::string(text) == w[1],
                      std::string("no product version ") + w[1] + " in " + block);
                Check(::VerQueryValueA(info.data(), (std::string("\\StringFileInfo\\") + block + "\\FileDescription").c_str(),
                                       reinterpret_cast<void**>(&text), &size) && size > 10,
                      std::string("no file description in ") + block);
            }
            Command(104);
            Check(::WaitFor([&] { return OpenDialog("about"); }), "no about box");
            bool said = false;
            for (HWND child = ::GetWindow(dialog_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
                said = said || TextOf(child) == "Torvane ver" + w[1];
            ::PostMessageA(dialog_, WM_COMMAND, IDOK, 0);
            Check(::WaitFor([&] { return DialogClosed(); }), "the about box stays");
            Check(said, "the about box names another version");
        } else if (c == "backlog-below") {
            PumpFor(100);
            Check(Own(w.at(1)).backlog() < Number(w.at(2)), std::to_string(Own(w.at(1)).backlog()) + " messages waited");
        } else {
            return false;
        }
        return true;
    }

protected:
    // A picture for the documents of the screen's part `area`, with the
    // program's pick cursor at `cursor` when given; the tests take none.
    virtual void Picture(const std::string&, const RECT&, const POINT*) {}
    HWND dialog() const { return dialog_; }

private:
    void Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        Check(::PostMessageA(window, message, wParam, lParam) != 0, "cannot post to the program");
    }

    HWND Item(int id) {
        HWND control = ::GetDlgItem(dialog_, id);
        Check(control != nullptr, "no control " + std::to_string(id));
        return control;
    }

    TestWindows& Own(const std::string& name) {
        Check(own_.count(name) != 0, "no window " + name + " of the driver");
        return *own_.at(name);
    }

    HWND Window(const std::string& name) {
        if (name == "dialog") return dialog_;
        return foreign_.count(name) ? foreign_.at(name) : Own(name).handle();
    }

    WorkFolder folder_;
    Child torvane_;
    HWND main_ = nullptr;
    HWND dialog_ = nullptr;
    HANDLE locked_ = INVALID_HANDLE_VALUE;
    int hotkeys_ = 0;  // taken by this program, ids 1 ...
    bool screenChanged_ = false;
    std::map<std::string, std::unique_ptr<TestWindows>> own_;
    std::vector<std::unique_ptr<Child>> notepads_;
    std::map<std::string, HWND> foreign_;
};

// A real drag from the dialog's cursor icon, with a picture of it under way
// when one is asked for.
void Wine::Drag(const std::string& window, bool edit, const std::string& shot) {
    HWND icon = Item(1033);
    HWND target = Window(window);
    if (edit) target = ::FindWindowExA(target, nullptr, "Edit", nullptr);
    const POINT from = Centre(icon), to = Centre(target);
    // A click on the caption first, as a user's hand would: a dialog that is
    // not active may take the press as its activation.
    const RECT d = WindowRect(dialog_);
    const POINT caption{(d.left + d.right) / 2, d.top + ::GetSystemMetrics(SM_CYCAPTION) / 2 + 2};
    MouseAt(caption, MOUSEEVENTF_LEFTDOWN);
    MouseAt(caption, MOUSEEVENTF_LEFTUP);
    Check(::WaitFor([&] { return ::GetForegroundWindow() == dialog_; }), "the dialog is not active");
    MouseAt(from);
    PumpFor(50);
    MouseAt(from, MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 10; ++step) {
        MouseAt(POINT{from.x + (to.x - from.x) * step / 10, from.y + (to.y - from.y) * step / 10});
        PumpFor(20);
    }
    Check(::WaitFor([&] { return !::IsWindowVisible(icon); }), "the icon is shown while dragging");
    if (!shot.empty()) Picture(shot, RECT{std::min(from.x, to.x) - 60, std::min(from.y, to.y) - 60,
                                          std::max(from.x, to.x) + 60, std::max(from.y, to.y) + 60}, &to);
    MouseAt(to, MOUSEEVENTF_LEFTUP);
    Check(::WaitFor([&] { return ::IsWindowVisible(icon) != 0; }), "the icon is not back after the drop");
}

}  // namespace

// Windows turns UTF-8 into code page 932 itself.
std::string scenario::ToCp932(const std::string& utf8) { return Narrow(Widen(utf8, CP_UTF8), kCodePage); }
