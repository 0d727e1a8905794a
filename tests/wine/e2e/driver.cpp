// Plays end-to-end scenarios against the real torvane.exe under Wine. A
// scenario file (UTF-8, see docs/testing.md) describes, for each scenario, a
// zrk.ini, the windows to open, what the user does and what must then hold;
// this program acts only as another process can: messages to the program's
// hidden main window, real mouse and keyboard input, its dialogs and message
// boxes, its settings file, and windows of its own for the rules to act on.
//
//   torvane_e2e_driver.exe --torvane=<torvane.exe> <scenario file> [name prefix]
//
// Helper modes for scripts (each exits 0 on success):
//   --post <message> <wParam> <lParam>   posts to the running program
//   --tray-point                         prints "x y" of the tray icon
//   --wait-main [ms]                     waits for the program's main window
//   --wait-rect box|about|menu|settings|input [ms]   waits for one to be shown,
//                                        prints "x y width height"
//   --wait-gone box|about|menu [ms]      waits until none is shown
//   --click-ok box|about                 presses its OK button
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string g_torvane;

constexpr DWORD kDeadlineMs = 5000;  // for what must come true
constexpr DWORD kQuietMs = 400;      // for what must not happen: some 40 of the program's cycles
constexpr char kMainClass[] = "ZrkwinMainWindowClass";
constexpr char kTitle[] = "Torvane";
constexpr UINT kCodePage = 932;

struct Failure {
    std::string message;
};
[[noreturn]] void Fail(const std::string& message) { throw Failure{message}; }
void Check(bool ok, const std::string& message) {
    if (!ok) Fail(message);
}

// --- text ---

std::wstring Widen(const std::string& text, UINT codePage) {
    std::wstring out(text.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                        static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
    std::string out(text.size() * 4 + 1, '\0');
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                        static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? n : 0);
    return out;
}

// A scenario's text as the program's code page 932 bytes. Escapes give bytes
// that UTF-8 cannot: \xNN, and \r, \n, \\, \"; \z stands for nothing (it marks
// a file line without a line end). They are decoded before the conversion, so
// that a converted second byte 0x5C never starts an escape.
std::string Decode(const std::string& utf8) {
    std::string out, run;
    auto flush = [&] {
        out += Narrow(Widen(run, CP_UTF8), kCodePage);
        run.clear();
    };
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\\' || i + 1 == utf8.size()) {
            run += utf8[i];
            continue;
        }
        flush();
        const char e = utf8[++i];
        if (e == 'x' && i + 2 < utf8.size()) {
            out += static_cast<char>(std::strtoul(utf8.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else if (e == 'r') {
            out += '\r';
        } else if (e == 'n') {
            out += '\n';
        } else if (e != 'z') {
            out += e;
        }
    }
    flush();
    return out;
}

// Bytes as readable C escapes, for failure messages.
std::string Escaped(const std::string& bytes) {
    std::string out;
    char hex[8];
    for (unsigned char c : bytes) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n\n    ";
        else if (c >= 0x20 && c < 0x7F && c != '\\') out += static_cast<char>(c);
        else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

int Number(const std::string& word) {
    char* end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 0);
    Check(end != word.c_str() && *end == '\0', "not a number: " + word);
    return static_cast<int>(value);
}

// "x,y,w,h" as a rectangle.
RECT Box(const std::string& word) {
    int v[4] = {};
    Check(std::sscanf(word.c_str(), "%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]) == 4, "not x,y,w,h: " + word);
    return RECT{v[0], v[1], v[0] + v[2], v[1] + v[3]};
}

std::string Describe(const RECT& r) {
    char text[96];
    std::snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

// --- waiting while this thread's messages are handled ---

ULONGLONG Now() { return ::GetTickCount64(); }

void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

template <class Condition>
bool WaitFor(Condition condition, DWORD limitMs = kDeadlineMs) {
    const ULONGLONG deadline = Now() + limitMs;
    for (;;) {
        PumpMessages();
        if (condition()) return true;
        if (Now() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    WaitFor([] { return false; }, ms);
}

bool WaitForObject(HANDLE object, DWORD limitMs) {
    return WaitFor([&] { return ::WaitForSingleObject(object, 0) == WAIT_OBJECT_0; }, limitMs);
}

// --- files ---

std::optional<std::string> ReadFileBytes(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    return ::CloseHandle(file) && ok;
}

// A fresh folder under the temporary folder, removed with its files.
class WorkFolder {
public:
    WorkFolder() {
        static int counter = 0;
        char temp[MAX_PATH];
        const DWORD length = ::GetTempPathA(sizeof temp, temp);
        Check(length > 0 && length < sizeof temp, "no temporary folder");
        path_ = std::string(temp) + "torvane-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        Check(::CreateDirectoryA(path_.c_str(), nullptr) != 0, "cannot create " + path_);
    }
    ~WorkFolder() {
        WIN32_FIND_DATAA found;
        HANDLE search = ::FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileA(file(found.cFileName).c_str());
            } while (::FindNextFileA(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryA(path_.c_str());
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// --- processes: each in a job that ends it when the driver ends ---

HANDLE DriverJob() {
    static HANDLE job = [] {
        HANDLE created = ::CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created) ::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    return job;
}

class Child {
public:
    ~Child() { Kill(); }
    bool Start(const std::string& application, const std::string& folder) {
        Kill();
        std::string commandLine = "\"" + application + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!::CreateProcessA(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                              nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info_)) {
            info_ = {};
            return false;
        }
        if (HANDLE job = DriverJob()) ::AssignProcessToJobObject(job, info_.hProcess);
        ::ResumeThread(info_.hThread);
        return true;
    }
    bool Running() const { return info_.hProcess && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    HANDLE handle() const { return info_.hProcess; }
    DWORD pid() const { return info_.dwProcessId; }
    std::optional<DWORD> WaitForExit(DWORD limitMs) {
        DWORD code = 0;
        if (!info_.hProcess || !WaitForObject(info_.hProcess, limitMs) || !::GetExitCodeProcess(info_.hProcess, &code))
            return std::nullopt;
        return code;
    }
    void Kill() {
        if (!info_.hProcess) return;
        if (Running()) {
            ::TerminateProcess(info_.hProcess, 0xE2E);
            WaitForObject(info_.hProcess, 5000);
        }
        ::CloseHandle(info_.hThread);
        ::CloseHandle(info_.hProcess);
        info_ = {};
    }

private:
    PROCESS_INFORMATION info_{};
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

RECT RectOf(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

UINT ShowCmdOf(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    return ::GetWindowPlacement(window, &placement) ? placement.showCmd : 0;
}

bool SameRect(const RECT& a, const RECT& b) { return ::EqualRect(&a, &b) != FALSE; }

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// A visible top-level window of process `pid` (any process when 0) with
// that class and, if given, that title.
HWND FindShown(DWORD pid, const std::string& className, const std::string* title) {
    for (HWND window : TopLevelWindows()) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if ((pid != 0 && process != pid) || !::IsWindowVisible(window) || ClassOf(window) != className) continue;
        if (title == nullptr || TitleOf(window) == *title) return window;
    }
    return nullptr;
}

// A control's text, through WM_GETTEXT in UTF-16 (another process's edit
// control gives nothing to GetWindowTextA).
std::string ControlText(HWND control) {
    wchar_t text[1024] = L"";
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                               &copied))
        return {};
    return Narrow(std::wstring(text, copied < 1024 ? copied : 1023), kCodePage);
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    Check(::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result) != 0,
          "no answer to message " + std::to_string(message));
    return static_cast<LRESULT>(result);
}

// --- real input ---

// A chord such as "ctrl+alt+shift+space" or "shift+f9", pressed and released.
bool PressChord(const std::string& chord) {
    static const std::map<std::string, WORD> named = {
        {"ctrl", VK_CONTROL}, {"alt", VK_MENU},    {"shift", VK_SHIFT},   {"win", VK_LWIN},
        {"space", VK_SPACE},  {"return", VK_RETURN}, {"escape", VK_ESCAPE}, {"tab", VK_TAB},
        {"f1", VK_F1},        {"f9", VK_F9},       {"f12", VK_F12},
    };
    std::vector<WORD> keys;
    for (std::size_t at = 0; at <= chord.size();) {
        std::size_t end = chord.find('+', at);
        if (end == std::string::npos) end = chord.size();
        const std::string name = chord.substr(at, end - at);
        const auto it = named.find(name);
        if (it != named.end()) keys.push_back(it->second);
        else if (name.size() == 1) keys.push_back(static_cast<WORD>(::toupper(name[0])));
        else Fail("unknown key " + name);
        at = end + 1;
    }
    std::vector<INPUT> input;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            INPUT k{};
            k.type = INPUT_KEYBOARD;
            k.ki.wVk = keys[pass == 0 ? i : keys.size() - 1 - i];
            k.ki.dwFlags = pass == 0 ? 0 : KEYEVENTF_KEYUP;
            input.push_back(k);
        }
    }
    return ::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) == input.size();
}

// The middle of the notification area's rightmost icon slot, where Wine's
// taskbar puts the first icon.
std::optional<POINT> TrayIconPoint() {
    HWND taskbar = ::FindWindowA("Shell_TrayWnd", nullptr);
    if (taskbar == nullptr || !::IsWindowVisible(taskbar)) return std::nullopt;
    const RECT r = RectOf(taskbar);
    if (r.right <= r.left || r.bottom <= r.top) return std::nullopt;
    return POINT{r.right - 10, (r.top + r.bottom) / 2};
}

// --- the menu marks ---

// Windows answers GetMenuState across processes; Wine only inside the process
// that owns the menu. There the probe library, loaded into the program, reads
// it on a thread of its own.
constexpr char kProbeName[] = "torvane_e2e_probe.dll";

std::string DriverFolder() {
    char path[MAX_PATH];
    const std::string full(path, ::GetModuleFileNameA(nullptr, path, sizeof path));
    return full.substr(0, full.find_last_of("\\/"));
}

HMODULE RemoteModule(HANDLE process, const char* name) {
    HMODULE modules[512];
    DWORD needed = 0;
    if (!::EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL)) return nullptr;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        char base[MAX_PATH];
        if (::GetModuleBaseNameA(process, modules[i], base, sizeof base) && ::lstrcmpiA(base, name) == 0)
            return modules[i];
    }
    return nullptr;
}

// Runs the function `name` of `local` (a module of this process) in
// `process`, where the same module is loaded at `remote`; its exit code.
std::optional<DWORD> RunRemote(HANDLE process, HMODULE local, HMODULE remote, const char* name, void* argument) {
    const auto offset =
        reinterpret_cast<std::uintptr_t>(::GetProcAddress(local, name)) - reinterpret_cast<std::uintptr_t>(local);
    auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<std::uintptr_t>(remote) + offset);
    HANDLE thread = ::CreateRemoteThread(process, nullptr, 0, start, argument, 0, nullptr);
    if (thread == nullptr) return std::nullopt;
    DWORD code = 0;
    const bool done = WaitForObject(thread, kDeadlineMs) && ::GetExitCodeThread(thread, &code);
    ::CloseHandle(thread);
    return done ? std::optional<DWORD>(code) : std::nullopt;
}

std::optional<UINT> MenuStateOf(HANDLE process, HWND mainWindow, UINT id) {
    const UINT direct = ::GetMenuState(::GetMenu(mainWindow), id, MF_BYCOMMAND);
    if (direct != static_cast<UINT>(-1)) return direct;
    static HMODULE localProbe = ::LoadLibraryA((DriverFolder() + "\\" + kProbeName).c_str());
    if (localProbe == nullptr) return std::nullopt;
    HMODULE remoteProbe = RemoteModule(process, kProbeName);
    if (remoteProbe == nullptr) {
        const std::string path = DriverFolder() + "\\" + kProbeName;
        void* remotePath = ::VirtualAllocEx(process, nullptr, path.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
        HMODULE remoteKernel = RemoteModule(process, "kernel32.dll");
        if (remotePath && remoteKernel && ::WriteProcessMemory(process, remotePath, path.c_str(), path.size() + 1, nullptr))
            RunRemote(process, kernel, remoteKernel, "LoadLibraryA", remotePath);
        if (remotePath) ::VirtualFreeEx(process, remotePath, 0, MEM_RELEASE);
        remoteProbe = RemoteModule(process, kProbeName);
        if (remoteProbe == nullptr) return std::nullopt;
    }
    const std::optional<DWORD> state = RunRemote(process, localProbe, remoteProbe, "TorvaneMenuState",
                                                 reinterpret_cast<void*>(static_cast<std::uintptr_t>(id)));
    if (!state || *state == 0xFFFFFFFFu) return std::nullopt;
    return static_cast<UINT>(*state);
}

// --- windows of the driver, for the rules to act on ---

// Top-level windows (one, or `count` alike) on a thread of their own, so that
// they can stop answering (hang) while the driver goes on. When they answer
// again, the messages that waited for them are counted.
class TestWindow {
public:
    TestWindow(std::string className, std::string title, RECT r, int count = 1)
        : className_(std::move(className)), title_(std::move(title)), rect_(r), count_(count) {
        resume_ = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
        ready_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this] { Run(); });
        ::WaitForSingleObject(ready_, INFINITE);
        if (window_ == nullptr) {
            thread_.join();
            Fail("cannot create the window of class " + Escaped(className_));
        }
    }
    ~TestWindow() {
        ::SetEvent(resume_);
        if (window_) ::PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
        ::CloseHandle(resume_);
        ::CloseHandle(ready_);
    }
    HWND handle() const { return window_; }
    // The window's thread stops handling messages until Resume().
    void Hang() {
        ::ResetEvent(resume_);
        ::PostMessageA(window_, kHang, 0, 0);
    }
    void Resume() { ::SetEvent(resume_); }
    // The messages that waited while the window did not answer, once handled.
    long backlog() const { return backlog_; }

private:
    static constexpr UINT kHang = WM_APP + 1;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr) {
            if (self->draining_) ++self->backlog_;
            if (message == kHang) {
                ::WaitForSingleObject(self->resume_, INFINITE);
                // Everything that waited is handled before the first look
                // finds the queue empty.
                self->backlog_ = 0;
                self->draining_ = true;
                MSG msg;
                while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    if (msg.message == WM_QUIT) {
                        ::PostQuitMessage(0);  // for the thread's own loop
                        break;
                    }
                    ::DispatchMessageA(&msg);
                }
                self->draining_ = false;
            }
            if (message == WM_DESTROY && window == self->window_) {
                for (HWND other : self->all_) {
                    if (other != window) ::DestroyWindow(other);
                }
                ::PostQuitMessage(0);
            }
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    }

    void Run() {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = className_.c_str();
        ::RegisterClassExA(&wc);
        HWND window = nullptr;
        for (int i = 0; i < count_; ++i) {
            // Many windows come without taskbar buttons, which would keep the
            // taskbar busy long after they are gone.
            HWND made = ::CreateWindowExA(count_ > 1 ? WS_EX_TOOLWINDOW : 0, className_.c_str(), title_.c_str(),
                                          WS_OVERLAPPEDWINDOW, rect_.left,
                                          rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, nullptr,
                                          nullptr, ::GetModuleHandleA(nullptr), nullptr);
            if (made == nullptr) break;
            ::SetWindowLongPtrA(made, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            // An edit field inside, for picks that land on a child window.
            if (count_ == 1)
                ::CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 120, 24, made, nullptr,
                                  nullptr, nullptr);
            ::ShowWindow(made, SW_SHOWNORMAL);
            if (window == nullptr) window = made;
            all_.push_back(made);
        }
        window_ = window;
        ::SetEvent(ready_);
        MSG msg;
        while (window != nullptr && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::UnregisterClassA(className_.c_str(), ::GetModuleHandleA(nullptr));
    }

    std::string className_, title_;
    RECT rect_;
    int count_;
    HANDLE resume_ = nullptr, ready_ = nullptr;
    std::thread thread_;
    HWND window_ = nullptr;
    std::vector<HWND> all_;
    bool draining_ = false;
    std::atomic<long> backlog_{0};
};

// --- scenarios ---

// One step of a scenario: its words, the lines of its block (a file's lines,
// already bytes), or the steps of its body (repeat).
struct Step {
    std::string file;
    int line = 0;
    std::vector<std::string> words;
    std::vector<std::string> block;
    std::vector<Step> body;
};

struct Scenario {
    std::string name;
    std::vector<Step> steps;
};

std::string Trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// Words separated by blanks; "quoted words" may hold blanks. Each word is decoded.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        std::string raw;
        bool quoted = false;
        for (; i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t')); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                raw += line[i];
                raw += line[++i];
            } else if (line[i] == '"') {
                quoted = !quoted;
            } else {
                raw += line[i];
            }
        }
        words.push_back(Decode(raw));
    }
    return words;
}

// The lines that the writer writes for the options, or for one rule, with
// the defaults where the macro names no value: "@system Enabled=0" and
// "@rule <name> class=X left=10".
std::vector<std::string> ExpandMacro(const std::vector<std::string>& words) {
    std::vector<std::pair<std::string, std::string>> lines;
    if (words[0] == "@system") {
        lines = {{"[!SystemConfig]", ""}, {"Enabled", "1"},  {"TaskIcon", "1"}, {"ShcutCtrl", "1"},
                 {"ShcutAlt", "1"},       {"ShcutShift", "1"}, {"ShcutWin", "0"}, {"ShcutKey", "32"}};
    } else {
        Check(words.size() >= 2, "@rule needs a name");
        lines = {{"[" + words[1] + "]", ""}, {"class", words[1]}, {"title", ""}, {"usclsttle", "2"},
                 {"movex", "0"}, {"movey", "0"}, {"sizex", "0"}, {"sizey", "0"}, {"lmovex", "0"}, {"lmovey", "0"},
                 {"lsizex", "0"}, {"lsizey", "0"}, {"left", "0"}, {"top", "0"}, {"width", "0"}, {"height", "0"},
                 {"msfstt", "0"}, {"state", "-1"}, {"forcestt", "0"}, {"fstforce", "1"}};
    }
    for (std::size_t i = words[0] == "@system" ? 1 : 2; i < words.size(); ++i) {
        const std::size_t eq = words[i].find('=');
        bool found = false;
        for (auto& line : lines) {
            if (eq != std::string::npos && line.first[0] != '[' && line.first == words[i].substr(0, eq)) {
                line.second = words[i].substr(eq + 1);
                found = true;
            }
        }
        Check(found, "no key " + words[i] + " in " + words[0]);
    }
    std::vector<std::string> out;
    for (const auto& [key, value] : lines) out.push_back(key[0] == '[' ? key + "\r\n" : key + "=" + value + "\r\n");
    return out;
}

// A block line: its bytes with CR LF, unless it ends in \n or \z (a line end of
// its own, or none); or the lines of a macro.
std::vector<std::string> BlockLine(const std::string& raw) {
    if (raw.rfind("@system", 0) == 0 || raw.rfind("@rule ", 0) == 0) return ExpandMacro(Words(raw));
    const bool ownEnd = raw.size() >= 2 && raw[raw.size() - 2] == '\\' &&
                        (raw.back() == 'n' || raw.back() == 'z');
    return {Decode(raw) + (ownEnd ? "" : "\r\n")};
}

// Commands that take the following lines up to "end" as a block of file lines.
bool TakesBlock(const std::string& command) { return command == "zrk.ini" || command == "file"; }

std::vector<Step> ParseSteps(const std::string& file, const std::vector<std::string>& lines, std::size_t& i,
                             bool nested) {
    std::vector<Step> steps;
    for (; i < lines.size(); ++i) {
        const std::string text = Trim(lines[i]);
        if (text.empty() || text[0] == '#') continue;
        if (text.rfind("scenario ", 0) == 0 && !nested) break;
        if (text == "end") {
            Check(nested, file + ":" + std::to_string(i + 1) + ": an end without a block");
            return steps;
        }
        Step step;
        step.file = file;
        step.line = static_cast<int>(i + 1);
        step.words = Words(text);
        if (TakesBlock(step.words[0])) {
            for (++i; i < lines.size() && Trim(lines[i]) != "end"; ++i) {
                for (const std::string& bytes : BlockLine(Trim(lines[i]))) step.block.push_back(bytes);
            }
        } else if (step.words[0] == "repeat") {
            ++i;
            step.body = ParseSteps(file, lines, i, true);
        }
        steps.push_back(std::move(step));
    }
    Check(!nested, file + ": a block without end");
    return steps;
}

std::vector<Scenario> ParseScenarios(const std::string& file) {
    const std::optional<std::string> text = ReadFileBytes(file);
    Check(text.has_value(), "cannot read " + file);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= text->size()) {
        std::size_t end = text->find('\n', at);
        if (end == std::string::npos) end = text->size();
        lines.push_back(text->substr(at, end - at));
        at = end + 1;
    }
    std::vector<Scenario> scenarios;
    for (std::size_t i = 0; i < lines.size();) {
        const std::string text = Trim(lines[i]);
        if (text.rfind("scenario ", 0) != 0) {
            Check(text.empty() || text[0] == '#', file + ":" + std::to_string(i + 1) + ": outside a scenario");
            ++i;
            continue;
        }
        Scenario scenario;
        scenario.name = Trim(text.substr(9));
        ++i;
        scenario.steps = ParseSteps(file, lines, i, false);
        scenarios.push_back(std::move(scenario));
    }
    return scenarios;
}

// --- playing a scenario ---

int CommandId(const std::string& word) {
    static const std::map<std::string, int> named = {
        {"correct", 32780}, {"toggle", 32779}, {"settings", 32772}, {"help", 32781},
        {"readme", 32782},  {"about", 104},    {"exit", 105},
    };
    const auto it = named.find(word);
    return it != named.end() ? it->second : Number(word);
}

UINT MessageId(const std::string& word) {
    static const std::map<std::string, UINT> named = {
        {"save", WM_USER + 20},         {"second-start", WM_USER + 30}, {"tray", WM_USER + 100},
        {"hotkey", WM_HOTKEY},          {"close", WM_CLOSE},            {"queryendsession", WM_QUERYENDSESSION},
        {"endsession", WM_ENDSESSION},
    };
    const auto it = named.find(word);
    return it != named.end() ? it->second : static_cast<UINT>(Number(word));
}

int ShowCommand(const std::string& word) {
    static const std::map<std::string, int> named = {
        {"normal", SW_SHOWNORMAL}, {"min", SW_MINIMIZE}, {"max", SW_SHOWMAXIMIZED}, {"restore", SW_RESTORE}};
    const auto it = named.find(word);
    Check(it != named.end(), "unknown show command " + word);
    return it->second;
}

UINT ShowState(const std::string& word) {
    return word == "min" ? SW_SHOWMINIMIZED : word == "max" ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
}

class Player {
public:
    void Play(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            current_ = &step;
            Do(step);
        }
    }

    // Ends what the scenario left running; the program as the platform ends
    // it, with WM_CLOSE and exit code 0 within 2 s.
    void Finish() {
        if (!torvane_.Running()) return;
        if (HWND box = FindShown(torvane_.pid(), "#32770", nullptr)) {
            const std::string text = TitleOf(box);
            ::PostMessageA(box, WM_CLOSE, 0, 0);
            Fail("a window of the program is still open: " + Escaped(text));
        }
        ::PostMessageA(main_, WM_CLOSE, 0, 0);
        const std::optional<DWORD> code = torvane_.WaitForExit(2000);
        Check(code.has_value(), "the program did not end within 2 s of WM_CLOSE");
        Check(*code == 0, "exit code " + std::to_string(*code));
    }

private:
    using Words = std::vector<std::string>;

    void Do(const Step& step) {
        const Words& w = step.words;
        const std::string& c = w[0];
        auto arg = [&](std::size_t i) -> const std::string& {
            Check(i < w.size(), c + ": too few words");
            return w[i];
        };
        if (c == "zrk.ini") {
            Check(WriteFileBytes(SettingsPath(), Joined(step.block)), "cannot write zrk.ini");
        } else if (c == "start") {
            Start();
        } else if (c == "repeat") {
            for (int n = Number(arg(1)); n > 0; --n) Play(step.body);
        } else if (c == "command") {
            Post(WM_COMMAND, CommandId(arg(1)), 0);
        } else if (c == "post") {
            Post(MessageId(arg(1)), w.size() > 2 ? Number(w[2]) : 0, w.size() > 3 ? Number(w[3]) : 0);
        } else if (c == "keys") {
            Check(PressChord(arg(1)), "SendInput failed");
        } else if (c == "tray") {
            const std::optional<POINT> icon = TrayIconPoint();
            Check(icon.has_value(), "no taskbar");
            // A click on whatever the taskbar shows at the icon's place, given
            // to that window itself: mouse input through X reaches Wine's
            // taskbar late or twice when the machine is busy.
            HWND under = ::WindowFromPoint(*icon);
            POINT local = *icon;
            ::ScreenToClient(under, &local);
            const bool right = arg(1) == "right";
            ::PostMessageA(under, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON,
                           MAKELPARAM(local.x, local.y));
            ::PostMessageA(under, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, MAKELPARAM(local.x, local.y));
        } else if (c == "second-start") {
            Child second;
            Check(second.Start(g_torvane, folder_.path()), "cannot start a second copy");
            const std::optional<DWORD> code = second.WaitForExit(3000);
            Check(code == std::optional<DWORD>(0), "the second start did not end with 0 within 3 s");
        } else if (c == "ends") {
            const DWORD limit = w.size() > 3 ? Number(w[3]) : 2000;
            const ULONGLONG from = Now();
            const std::optional<DWORD> code = torvane_.WaitForExit(limit);
            Check(code.has_value(), "still running " + std::to_string(limit) + " ms later");
            Check(*code == static_cast<DWORD>(Number(arg(1))), "exit code " + std::to_string(*code));
            std::printf("    ended after %llu ms\n", Now() - from);
        } else if (c == "running") {
            Check(torvane_.Running() && ::IsWindow(main_), "the program has ended");
        } else if (c == "marks") {
            ExpectMarks(arg(1) == "on");
        } else if (c == "notice") {
            ExpectNotice(arg(1), w.size() > 3 && w[2] == "caption" ? w[3] : kTitle);
        } else if (c == "no-notice") {
            PumpFor(kQuietMs);
            Check(FindShown(torvane_.pid(), "#32770", nullptr) == nullptr, "a window of the program is shown");
        } else if (c == "file") {
            ExpectFile(Joined(step.block));
        } else if (c == "no-file") {
            PumpFor(kQuietMs);
            Check(!ReadFileBytes(SettingsPath()).has_value(), "zrk.ini exists");
        } else if (c == "lock-file") {
            locked_ = ::CreateFileA(SettingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            Check(locked_ != INVALID_HANDLE_VALUE, "cannot lock zrk.ini");
        } else if (c == "unlock-file") {
            ::CloseHandle(locked_);
            locked_ = INVALID_HANDLE_VALUE;
        } else if (c == "delete-file") {
            Check(::DeleteFileA(SettingsPath().c_str()) != 0, "cannot delete zrk.ini");
        } else if (c == "window") {
            OpenWindow(w);
        } else if (c == "windows") {
            many_.push_back(std::make_unique<TestWindow>(arg(2), "", Box(arg(3)), Number(arg(1))));
        } else if (c == "notepad") {
            OpenNotepad(arg(1));
        } else if (c == "move") {
            const RECT r = Box(arg(2));
            ::MoveWindow(Window(arg(1)), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        } else if (c == "move-async") {
            const RECT r = Box(arg(2));
            ::SetWindowPos(Window(arg(1)), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           SWP_ASYNCWINDOWPOS | SWP_NOZORDER | SWP_NOACTIVATE);
        } else if (c == "show") {
            ::ShowWindow(Window(arg(1)), ShowCommand(arg(2)));
            Check(WaitFor([&] { return ShowCmdOf(Window(arg(1))) == ShowState(arg(2)); }), "not shown " + arg(2));
        } else if (c == "hang") {
            Own(arg(1)).Hang();
        } else if (c == "resume") {
            Own(arg(1)).Resume();
        } else if (c == "backlog-below") {
            PumpFor(100);
            const long backlog = Own(arg(1)).backlog();
            Check(backlog < Number(arg(2)), std::to_string(backlog) + " messages waited for the window");
        } else if (c == "rect") {
            HWND window = Window(arg(1));
            const RECT r = Box(arg(2));
            Check(WaitFor([&] { return SameRect(RectOf(window), r); }), "at " + Describe(RectOf(window)));
        } else if (c == "stays") {
            HWND window = Window(arg(1));
            const RECT r = Box(arg(2));
            Check(!WaitFor([&] { return !SameRect(RectOf(window), r); }, kQuietMs),
                  "moved to " + Describe(RectOf(window)));
        } else if (c == "state") {
            HWND window = Window(arg(1));
            Check(WaitFor([&] { return ShowCmdOf(window) == ShowState(arg(2)); }),
                  "show command " + std::to_string(ShowCmdOf(window)));
        } else if (c == "minimize-until-seen") {
            // The program may put the window back before its state is read
            // here; minimize again until it is seen minimized once.
            HWND window = Window(arg(1));
            Check(WaitFor([&] {
                      ::ShowWindow(window, SW_MINIMIZE);
                      return ShowCmdOf(window) == SW_SHOWMINIMIZED;
                  }),
                  "never seen minimized");
        } else if (c == "wait") {
            PumpFor(Number(arg(1)));
        } else if (c == "about") {
            ExpectAboutBox(arg(1));
        } else {
            Fail("unknown step " + c);
        }
    }

    std::string SettingsPath() const { return folder_.file("zrk.ini"); }

    static std::string Joined(const std::vector<std::string>& lines) {
        std::string all;
        for (const std::string& line : lines) all += line;
        return all;
    }

    void Start() {
        Check(::FindWindowA(kMainClass, kTitle) == nullptr || WaitFor([] { return !::FindWindowA(kMainClass, kTitle); }),
              "another Torvane runs on this desktop");
        Check(torvane_.Start(g_torvane, folder_.path()), "cannot start " + g_torvane);
        // Ready once its thread first waits for input, in its message loop.
        WaitFor([&] { return ::WaitForInputIdle(torvane_.handle(), 0) == 0 || !torvane_.Running(); });
        Check(WaitFor([&] { return (main_ = ::FindWindowA(kMainClass, kTitle)) != nullptr; }), "no main window");
    }

    void Post(UINT message, WPARAM wParam, LPARAM lParam) {
        Check(::PostMessageA(main_, message, wParam, lParam) != 0, "cannot post to the program");
    }

    void ExpectFile(const std::string& expected) {
        std::optional<std::string> last;
        if (WaitFor([&] { return (last = ReadFileBytes(SettingsPath())) == expected; })) return;
        Fail("zrk.ini is\n    " + (last ? Escaped(*last) : std::string("(missing)")) + "\nexpected\n    " +
             Escaped(expected));
    }

    void ExpectMarks(bool on) {
        const std::optional<UINT> toggle = MenuStateOf(torvane_.handle(), main_, 32779);
        const std::optional<UINT> correct = MenuStateOf(torvane_.handle(), main_, 32780);
        Check(toggle && correct, "cannot read the menu");
        Check(((*toggle & MF_CHECKED) != 0) == on, "monitoring mark");
        Check(((*correct & (MF_GRAYED | MF_DISABLED)) == 0) == on, "correct-now mark");
    }

    // A message box of the program with that text and caption: no owner, an
    // OK button that closes it.
    void ExpectNotice(const std::string& text, const std::string& caption) {
        HWND box = nullptr;
        Check(WaitFor([&] { return (box = FindShown(torvane_.pid(), "#32770", &caption)) != nullptr; }),
              "no message box " + Escaped(caption));
        HWND label = ::GetDlgItem(box, 0xFFFF);
        const std::string shown = label ? ControlText(label) : "";
        Check(shown == text, "the message box says " + Escaped(shown));
        Check(::GetWindow(box, GW_OWNER) == nullptr, "the message box has an owner");
        Send(::GetDlgItem(box, IDOK), BM_CLICK);
        if (!WaitFor([&] { return !::IsWindow(box); })) {
            for (HWND w : TopLevelWindows()) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(w, &pid);
                if (pid == torvane_.pid()) std::printf("  %p %s %s visible %d enabled %d\n", (void*)w, ClassOf(w).c_str(), Escaped(TitleOf(w)).c_str(), ::IsWindowVisible(w), ::IsWindowEnabled(w));
            }
            HWND ok = ::GetDlgItem(box, IDOK);
            std::printf("  box %p ok %p enabled %d\n", (void*)box, (void*)ok, ::IsWindowEnabled(ok));
            Fail("the message box stays after OK");
        }
    }

    void ExpectAboutBox(const std::string& closer) {
        const std::string caption = Decode("Torvane - バージョン情報");
        HWND about = nullptr;
        Check(WaitFor([&] { return (about = FindShown(torvane_.pid(), "#32770", &caption)) != nullptr; }),
              "no about box");
        Check(::GetWindow(about, GW_OWNER) == main_, "the about box is not owned by the main window");
        bool version = false;
        for (HWND child = ::GetWindow(about, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            version = version || ControlText(child) == "Torvane ver5.23";
        Check(version, "no version line");
        if (closer == "open") return;
        if (closer == "ok") {
            Send(::GetDlgItem(about, IDOK), BM_CLICK);
        } else if (closer == "close-box") {
            ::PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            ::SetForegroundWindow(about);
            Check(WaitFor([&] { return ::GetForegroundWindow() == about; }), "the about box has no focus");
            Check(PressChord(closer), "SendInput failed");
        }
        Check(WaitFor([&] { return !::IsWindow(about); }), "the about box stays open");
    }

    void OpenWindow(const Words& w) {
        std::string className, title;
        RECT r{480, 360, 740, 540};
        for (std::size_t i = 2; i < w.size(); ++i) {
            if (w[i].rfind("class=", 0) == 0) className = w[i].substr(6);
            else if (w[i].rfind("title=", 0) == 0) title = w[i].substr(6);
            else r = Box(w[i]);
        }
        Check(!className.empty(), "window " + w[1] + " needs a class");
        own_[w[1]] = std::make_unique<TestWindow>(className, title, r);
    }

    void OpenNotepad(const std::string& name) {
        char system[MAX_PATH];
        const UINT length = ::GetSystemDirectoryA(system, sizeof system);
        auto child = std::make_unique<Child>();
        Check(child->Start(std::string(system, length) + "\\notepad.exe", ""), "cannot start Notepad");
        const std::string cls = "Notepad";
        HWND window = nullptr;
        Check(WaitFor([&] { return (window = FindShown(child->pid(), cls, nullptr)) != nullptr; }), "no Notepad");
        notepads_.push_back(std::move(child));
        foreign_[name] = window;
    }

    TestWindow& Own(const std::string& name) {
        const auto it = own_.find(name);
        Check(it != own_.end(), "no window " + name + " of the driver");
        return *it->second;
    }

    HWND Window(const std::string& name) {
        if (const auto it = foreign_.find(name); it != foreign_.end()) return it->second;
        return Own(name).handle();
    }

    WorkFolder folder_;
    Child torvane_;
    HWND main_ = nullptr;
    HANDLE locked_ = INVALID_HANDLE_VALUE;
    std::map<std::string, std::unique_ptr<TestWindow>> own_;
    std::vector<std::unique_ptr<TestWindow>> many_;
    std::vector<std::unique_ptr<Child>> notepads_;
    std::map<std::string, HWND> foreign_;
    const Step* current_ = nullptr;

public:
    ~Player() {
        if (locked_ != INVALID_HANDLE_VALUE) ::CloseHandle(locked_);
        for (auto& [name, window] : foreign_) ::PostMessageA(window, WM_CLOSE, 0, 0);
        for (auto& notepad : notepads_) notepad->WaitForExit(3000);
    }
    const Step* current() const { return current_; }
};

int PlayAll(const std::string& file, const std::string& only) {
    int passed = 0, failed = 0;
    for (const Scenario& scenario : ParseScenarios(file)) {
        if (!only.empty() && scenario.name.rfind(only, 0) != 0) continue;
        std::printf("[ RUN      ] %s\n", scenario.name.c_str());
        std::fflush(stdout);
        const ULONGLONG from = Now();
        std::string failure;
        {
            Player player;
            try {
                player.Play(scenario.steps);
                player.Finish();
            } catch (const Failure& f) {
                const Step* at = player.current();
                failure = (at ? at->file + ":" + std::to_string(at->line) + ": " : std::string()) + f.message;
                try {
                    player.Finish();
                } catch (const Failure&) {
                }
            }
        }
        if (failure.empty()) {
            ++passed;
            std::printf("[       OK ] %s (%llu ms)\n", scenario.name.c_str(), Now() - from);
        } else {
            ++failed;
            std::printf("%s\n[  FAILED  ] %s\n", failure.c_str(), scenario.name.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

// --- helper modes for scripts ---

HWND FindKind(const std::string& what) {
    const std::string box = kTitle, about = Decode("Torvane - バージョン情報"),
                      settings = Decode("Torvane - 設定"), input = Decode("Torvane - 入力して追加");
    if (what == "menu") return FindShown(0, "#32768", nullptr);
    const std::string* caption = what == "box" ? &box : what == "about" ? &about : what == "settings" ? &settings
                                                                                                       : &input;
    return FindShown(0, "#32770", caption);
}

int ScriptMode(const std::string& mode, const std::vector<std::string>& args) {
    const DWORD limit = args.size() > 1 ? std::strtoul(args[1].c_str(), nullptr, 10) : kDeadlineMs;
    if (mode == "--post" && args.size() == 3) {
        HWND window = ::FindWindowA(kMainClass, kTitle);
        return window && ::PostMessageA(window, std::strtoul(args[0].c_str(), nullptr, 0),
                                        std::strtoull(args[1].c_str(), nullptr, 0),
                                        std::strtoll(args[2].c_str(), nullptr, 0))
                   ? 0
                   : 1;
    }
    if (mode == "--tray-point") {
        const std::optional<POINT> at = TrayIconPoint();
        if (at) std::printf("%ld %ld\n", at->x, at->y);
        return at ? 0 : 1;
    }
    if (mode == "--wait-main") {
        const DWORD ms = args.empty() ? kDeadlineMs : std::strtoul(args[0].c_str(), nullptr, 10);
        return WaitFor([] { return ::FindWindowA(kMainClass, kTitle) != nullptr; }, ms) ? 0 : 1;
    }
    if (args.empty()) return 2;
    HWND found = nullptr;
    if (mode == "--wait-rect") {
        if (!WaitFor([&] { return (found = FindKind(args[0])) != nullptr; }, limit)) return 1;
        const RECT r = RectOf(found);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (mode == "--wait-gone") return WaitFor([&] { return FindKind(args[0]) == nullptr; }, limit) ? 0 : 1;
    if (mode == "--click-ok") {
        found = FindKind(args[0]);
        return found && ::PostMessageA(::GetDlgItem(found, IDOK), BM_CLICK, 0, 0) ? 0 : 1;
    }
    return 2;
}

std::string WinePath(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path;
    std::string out = "Z:";
    for (char c : path) out += c == '/' ? '\\' : c;
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--torvane=", 0) == 0) {
            g_torvane = WinePath(arg.substr(10));
        } else if (arg.rfind("--", 0) == 0) {
            return ScriptMode(arg, std::vector<std::string>(argv + i + 1, argv + argc));
        } else {
            rest.push_back(arg);
        }
    }
    if (g_torvane.empty() || rest.empty()) {
        std::fprintf(stderr, "usage: %s --torvane=<torvane.exe> <scenario file> [name prefix]\n", argv[0]);
        return 2;
    }
    try {
        return PlayAll(WinePath(rest[0]), rest.size() > 1 ? rest[1] : "");
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.message.c_str());
        return 2;
    }
}
