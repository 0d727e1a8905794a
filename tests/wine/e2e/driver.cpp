// Plays end-to-end scenarios against the real torvane.exe under Wine. A
// scenario file (UTF-8, format in docs/testing.md) gives, for each scenario,
// a zrk.ini, the windows to open, what the user does and what must then
// hold. This program acts only as another process can: messages to the
// program's hidden main window and its dialogs, real mouse and keyboard
// input, the settings file, and windows of its own for the rules to act on.
//
//   torvane_e2e_driver.exe --torvane=<torvane.exe> [--shots=<folder>] <scenario file> [name prefix]
//
// With --shots, the "shot" steps save pictures (BMP) there.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::string g_torvane, g_shots;

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

// A scenario's text as code page 932 bytes. Escapes give bytes that UTF-8
// cannot: \xNN, \r, \n; \z stands for nothing (a file line without a line
// end); \\ and \" for themselves. They are decoded before the conversion, so
// that a converted second byte 0x5C never starts one.
std::string Decode(const std::string& utf8) {
    std::string out, run;
    auto flush = [&] { out += Narrow(Widen(std::exchange(run, {}), CP_UTF8), kCodePage); };
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
        } else if (e != 'z') {
            out += e == 'r' ? '\r' : e == 'n' ? '\n' : e;
        }
    }
    flush();
    return out;
}

// Bytes as readable C escapes, for failure messages.
std::string Escaped(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c == '\r' ? "\\r" : c == '\n' ? "\\n\n    " : (c >= 0x20 && c < 0x7F && c != '\\') ? std::string(1, c) : hex;
    }
    return out;
}

int Number(const std::string& word) {
    char* end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 0);
    Check(!word.empty() && *end == '\0', "not a number: " + word);
    return static_cast<int>(value);
}

// "x,y,w,h" as a rectangle.
RECT Box(const std::string& word) {
    int v[4] = {};
    Check(std::sscanf(word.c_str(), "%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]) == 4, "not x,y,w,h: " + word);
    return RECT{v[0], v[1], v[0] + v[2], v[1] + v[3]};
}

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
           std::to_string(r.bottom - r.top);
}

// --- waiting while this thread's messages are handled ---

ULONGLONG Now() { return ::GetTickCount64(); }

template <class Condition>
bool WaitFor(Condition condition, DWORD limitMs = kDeadlineMs) {
    const ULONGLONG deadline = Now() + limitMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        if (condition()) return true;
        if (Now() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) { WaitFor([] { return false; }, ms); }

// --- files and processes ---

std::optional<std::string> ReadFileBytes(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    Check(ok && written == bytes.size(), "cannot write " + path);
}

// A fresh folder under the temporary folder, removed with its files.
class WorkFolder {
public:
    WorkFolder() {
        static int counter = 0;
        char temp[MAX_PATH];
        ::GetTempPathA(sizeof temp, temp);
        path_ = std::string(temp) + "torvane-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        Check(::CreateDirectoryA(path_.c_str(), nullptr) != 0, "cannot create " + path_);
    }
    ~WorkFolder() {
        WIN32_FIND_DATAA found;
        HANDLE search = ::FindFirstFileA(file("*").c_str(), &found);
        for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(search, &found))
            ::DeleteFileA(file(found.cFileName).c_str());
        if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
        ::RemoveDirectoryA(path_.c_str());
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

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
        if (!::CreateProcessA(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                              nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info_))
            return (info_ = {}, false);
        ::AssignProcessToJobObject(job, info_.hProcess);
        ::ResumeThread(info_.hThread);
        return true;
    }
    bool Running() const { return info_.hProcess && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    HANDLE handle() const { return info_.hProcess; }
    DWORD pid() const { return info_.dwProcessId; }
    std::optional<DWORD> WaitForExit(DWORD limitMs) {
        DWORD code = 0;
        if (!WaitFor([&] { return !Running(); }, limitMs) || !::GetExitCodeProcess(info_.hProcess, &code))
            return std::nullopt;
        return code;
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

// A visible top-level window of process `pid` with that class and, if given, that title.
HWND FindShown(DWORD pid, const std::string& className, const std::string* title) {
    struct Search {
        DWORD pid;
        const std::string& className;
        const std::string* title;
        HWND found = nullptr;
    } search{pid, className, title};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            if (process == s.pid && ::IsWindowVisible(window) && ClassOf(window) == s.className &&
                (s.title == nullptr || TitleOf(window) == *s.title))
                s.found = window;
            return s.found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
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
    const RECT r = RectOf(window);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A chord such as "ctrl+alt+shift+space" or "shift+f9", pressed and released.
void PressChord(const std::string& chord) {
    static const std::map<std::string, WORD> named = {
        {"ctrl", VK_CONTROL}, {"alt", VK_MENU},      {"shift", VK_SHIFT},   {"win", VK_LWIN}, {"space", VK_SPACE},
        {"return", VK_RETURN}, {"escape", VK_ESCAPE}, {"f1", VK_F1},        {"f9", VK_F9},    {"f12", VK_F12}};
    std::vector<INPUT> input;
    for (std::size_t at = 0; at <= chord.size();) {
        const std::size_t end = std::min(chord.find('+', at), chord.size());
        const std::string name = chord.substr(at, end - at);
        INPUT key{};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = named.count(name) ? named.at(name) : static_cast<WORD>(::toupper(name[0]));
        input.push_back(key);
        at = end + 1;
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

// Saves the screen's part under `r` as a 24-bit BMP file, with `cursor`
// drawn in at `at` (the screen holds no cursor).
void SaveShot(const RECT& r, const std::string& path, HCURSOR cursor = nullptr, POINT at = {}) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr), memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ICONINFO hot{};
    if (cursor != nullptr && ::GetIconInfo(cursor, &hot)) {
        ::DrawIconEx(memory, at.x - static_cast<int>(hot.xHotspot) - r.left, at.y - static_cast<int>(hot.yHotspot) - r.top,
                     cursor, 0, 0, 0, nullptr, DI_NORMAL);
        ::DeleteObject(hot.hbmMask);
        if (hot.hbmColor) ::DeleteObject(hot.hbmColor);
    }
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string pixels(static_cast<std::size_t>((w * 3 + 3) / 4 * 4) * h, '\0');
    ::GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    WriteFileBytes(path, std::string(reinterpret_cast<char*>(&file), sizeof file) +
                             std::string(reinterpret_cast<char*>(&info), sizeof info) + pixels);
}

// --- scenarios ---

// One step: its words, the lines of its block (a file's lines, as bytes), or
// the steps of its body (repeat).
struct Step {
    std::string where;  // file:line
    std::vector<std::string> words;
    std::vector<std::string> block;
    std::vector<Step> body;
};

std::string Trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// Words separated by blanks; "quoted words" may hold blanks. Each word is decoded.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string raw;
        for (bool quoted = false; i < line.size() && (quoted || line[i] != ' '); ++i) {
            if (line[i] == '"') quoted = !quoted;
            else raw += line[i] == '\\' && i + 1 < line.size() ? line.substr(i++, 2) : line.substr(i, 1);
        }
        words.push_back(Decode(raw));
    }
    return words;
}

// A block line's bytes: with CR LF, unless it ends in \n or \z. "@system k=v"
// and "@rule <name> k=v" give the section as the writer writes it, with the
// defaults where no value is named.
std::string BlockLine(const std::string& raw) {
    const std::vector<std::string> w = Words(raw);
    if (w.empty() || (w[0] != "@system" && w[0] != "@rule")) {
        const bool ownEnd = raw.size() >= 2 && raw[raw.size() - 2] == '\\' && (raw.back() == 'n' || raw.back() == 'z');
        return Decode(raw) + (ownEnd ? "" : "\r\n");
    }
    const bool system = w[0] == "@system";
    Check(system || w.size() >= 2, "@rule needs a name");
    std::vector<std::pair<std::string, std::string>> keys =
        system ? std::vector<std::pair<std::string, std::string>>{{"Enabled", "1"},    {"TaskIcon", "1"},
                                                                  {"ShcutCtrl", "1"},  {"ShcutAlt", "1"},
                                                                  {"ShcutShift", "1"}, {"ShcutWin", "0"},
                                                                  {"ShcutKey", "32"}}
               : std::vector<std::pair<std::string, std::string>>{
                     {"class", w[1]}, {"title", ""},   {"usclsttle", "2"}, {"movex", "0"},   {"movey", "0"},
                     {"sizex", "0"},  {"sizey", "0"},  {"lmovex", "0"},    {"lmovey", "0"},  {"lsizex", "0"},
                     {"lsizey", "0"}, {"left", "0"},   {"top", "0"},       {"width", "0"},   {"height", "0"},
                     {"msfstt", "0"}, {"state", "-1"}, {"forcestt", "0"},  {"fstforce", "1"}};
    for (std::size_t i = system ? 1 : 2; i < w.size(); ++i) {
        const std::string key = w[i].substr(0, w[i].find('='));
        bool found = false;
        for (auto& [k, v] : keys) {
            if (k == key && key.size() < w[i].size()) v = w[i].substr(key.size() + 1), found = true;
        }
        Check(found, "no key " + w[i] + " in " + w[0]);
    }
    std::string out = system ? "[!SystemConfig]\r\n" : "[" + w[1] + "]\r\n";
    for (const auto& [k, v] : keys) out += k + "=" + v + "\r\n";
    return out;
}

// The steps up to "end" (nested) or the next scenario.
std::vector<Step> ParseSteps(const std::string& file, const std::vector<std::string>& lines, std::size_t& i,
                             bool nested) {
    std::vector<Step> steps;
    for (; i < lines.size(); ++i) {
        const std::string text = Trim(lines[i]);
        if (text.empty() || text[0] == '#') continue;
        if (text.rfind("scenario ", 0) == 0 || text == "end") break;
        Step step{file + ":" + std::to_string(i + 1), Words(text), {}, {}};
        if (step.words[0] == "zrk.ini" || step.words[0] == "file") {
            while (++i < lines.size() && Trim(lines[i]) != "end") step.block.push_back(BlockLine(Trim(lines[i])));
        } else if (step.words[0] == "repeat") {
            step.body = ParseSteps(file, lines, ++i, true);
        }
        steps.push_back(std::move(step));
    }
    Check(nested == (i < lines.size() && Trim(lines[i]) == "end"), file + ":" + std::to_string(i + 1) + ": end?");
    return steps;
}

// --- playing a scenario ---

int CommandId(const std::string& word) {
    static const std::map<std::string, int> named = {{"correct", 32780}, {"toggle", 32779}, {"settings", 32772},
                                                     {"help", 32781},    {"readme", 32782}, {"about", 104},
                                                     {"exit", 105}};
    return named.count(word) ? named.at(word) : Number(word);
}

UINT MessageId(const std::string& word) {
    static const std::map<std::string, UINT> named = {
        {"save", WM_USER + 20}, {"tray", WM_USER + 100},          {"hotkey", WM_HOTKEY},
        {"close", WM_CLOSE},    {"queryendsession", WM_QUERYENDSESSION}, {"endsession", WM_ENDSESSION}};
    return named.count(word) ? named.at(word) : static_cast<UINT>(Number(word));
}

class Player {
public:
    ~Player() {
        if (locked_ != INVALID_HANDLE_VALUE) ::CloseHandle(locked_);
        for (auto& [name, window] : foreign_) ::PostMessageA(window, WM_CLOSE, 0, 0);
        for (auto& notepad : notepads_) notepad->WaitForExit(3000);
    }

    void Play(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            where_ = step.where;
            if (step.words[0] == "repeat") {
                for (int n = Number(step.words.at(1)); n > 0; --n) Play(step.body);
            } else {
                Do(step);
            }
        }
    }

    // Ends what the scenario left running: the program as the platform ends
    // it, with WM_CLOSE, and exit code 0 within 2 s.
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

    const std::string& where() const { return where_; }

private:
    void Do(const Step& step) {
        const std::vector<std::string>& w = step.words;
        const std::string& c = w[0];
        auto arg = [&](std::size_t i) -> const std::string& {
            Check(i < w.size(), c + ": too few words");
            return w[i];
        };
        auto all = [&](std::size_t from) { return std::vector<std::string>(w.begin() + std::min(from, w.size()), w.end()); };
        std::string joined;
        for (const std::string& line : step.block) joined += line;
        if (c == "zrk.ini") {
            WriteFileBytes(folder_.file("zrk.ini"), joined);
        } else if (c == "start") {
            Check(WaitFor([] { return !::FindWindowA(kMainClass, kTitle); }), "another Torvane runs on this desktop");
            Check(torvane_.Start(g_torvane, folder_.path()), "cannot start " + g_torvane);
            // Ready once its thread first waits for input, in its message loop.
            WaitFor([&] { return ::WaitForInputIdle(torvane_.handle(), 0) == 0 || !torvane_.Running(); });
            Check(WaitFor([&] { return (main_ = ::FindWindowA(kMainClass, kTitle)) != nullptr; }), "no main window");
        } else if (c == "command") {
            Post(main_, WM_COMMAND, CommandId(arg(1)));
        } else if (c == "post") {
            Post(main_, MessageId(arg(1)), w.size() > 2 ? Number(w[2]) : 0, w.size() > 3 ? Number(w[3]) : 0);
        } else if (c == "keys") {
            PressChord(arg(1));
        } else if (c == "tray") {
            // A click given to whatever the taskbar shows at the first icon's
            // place: mouse input through X reaches Wine's taskbar late or
            // twice when the machine is busy.
            HWND taskbar = ::FindWindowA("Shell_TrayWnd", nullptr);
            Check(taskbar && ::IsWindowVisible(taskbar), "no taskbar");
            const RECT r = RectOf(taskbar);
            POINT at{r.right - 10, (r.top + r.bottom) / 2};
            const bool right = arg(1) == "right";
            if (right) MouseAt(at);  // where the program reads the cursor for its menu
            HWND under = ::WindowFromPoint(at);
            ::ScreenToClient(under, &at);
            Post(under, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(at.x, at.y));
            Post(under, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        } else if (c == "tray-icon") {
            // tray-icon shown|gone: by the pixels at the first icon's place,
            // against the taskbar's own colour beside them. (A click where
            // no icon is would reach the next icon shown there.)
            HWND taskbar = ::FindWindowA("Shell_TrayWnd", nullptr);
            const RECT r = RectOf(taskbar);
            const int y = (r.top + r.bottom) / 2;
            auto shown = [&] {
                HDC screen = ::GetDC(nullptr);
                const COLORREF background = ::GetPixel(screen, r.right - 40, y);
                bool differs = false;
                for (int dx = 2; dx < 18 && !differs; ++dx)
                    for (int dy = -7; dy <= 7 && !differs; ++dy) differs = ::GetPixel(screen, r.right - dx, y + dy) != background;
                ::ReleaseDC(nullptr, screen);
                return differs;
            };
            Check(WaitFor([&] { return shown() == (arg(1) == "shown"); }), "the tray icon is not " + arg(1));
        } else if (c == "second-start") {
            Child second;
            Check(second.Start(g_torvane, folder_.path()), "cannot start a second copy");
            Check(second.WaitForExit(3000) == std::optional<DWORD>(0), "the second start did not end with 0");
        } else if (c == "ends") {
            const ULONGLONG from = Now();
            const std::optional<DWORD> code = torvane_.WaitForExit(w.size() > 3 ? Number(w[3]) : 2000);
            Check(code.has_value(), "still running");
            Check(*code == static_cast<DWORD>(Number(arg(1))), "exit code " + std::to_string(*code));
            std::printf("    ended after %llu ms\n", Now() - from);
        } else if (c == "running") {
            Check(torvane_.Running() && ::IsWindow(main_), "the program has ended");
        } else if (c == "marks") {
            const std::optional<UINT> toggle = MenuStateOf(torvane_.handle(), main_, 32779);
            const std::optional<UINT> correct = MenuStateOf(torvane_.handle(), main_, 32780);
            Check(toggle && correct, "cannot read the menu");
            Check(((*toggle & MF_CHECKED) != 0) == (arg(1) == "on"), "monitoring mark");
            Check(((*correct & (MF_GRAYED | MF_DISABLED)) == 0) == (arg(1) == "on"), "correct-now mark");
        } else if (c == "notice") {
            ExpectNotice(arg(1), w.size() > 3 && w[2] == "caption" ? w[3] : kTitle);
        } else if (c == "no-notice") {
            PumpFor(kQuietMs);
            const std::string caption = w.size() > 1 ? w[1] : kTitle;
            Check(FindShown(torvane_.pid(), "#32770", &caption) == nullptr, "a message box is shown");
        } else if (c == "file") {
            std::optional<std::string> last;
            if (!WaitFor([&] { return (last = ReadFileBytes(folder_.file("zrk.ini"))) == joined; }))
                Fail("zrk.ini is\n    " + (last ? Escaped(*last) : "(missing)") + "\nexpected\n    " + Escaped(joined));
        } else if (c == "no-file") {
            PumpFor(kQuietMs);
            Check(!ReadFileBytes(folder_.file("zrk.ini")), "zrk.ini exists");
        } else if (c == "lock-file") {
            locked_ = ::CreateFileA(folder_.file("zrk.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            Check(locked_ != INVALID_HANDLE_VALUE, "cannot lock zrk.ini");
        } else if (c == "unlock-file") {
            ::CloseHandle(std::exchange(locked_, INVALID_HANDLE_VALUE));
        } else if (c == "delete-file") {
            Check(::DeleteFileA(folder_.file("zrk.ini").c_str()) != 0, "cannot delete zrk.ini");
        } else if (c == "window" || c == "windows") {
            // window <name> class=<class> [title=<title>] [owner=<window>] [x,y,w,h]
            // windows <count> <class> x,y,w,h
            std::string className = c == "windows" ? arg(2) : "", title;
            RECT r{480, 360, 740, 540};
            HWND owner = nullptr;
            for (const std::string& word : all(2)) {
                if (word.rfind("class=", 0) == 0) className = word.substr(6);
                else if (word.rfind("title=", 0) == 0) title = word.substr(6);
                else if (word.rfind("owner=", 0) == 0) owner = Window(word.substr(6));
                else if (word != className) r = Box(word);
            }
            own_[arg(1)] =
                std::make_unique<TestWindows>(className, title, r, c == "windows" ? Number(arg(1)) : 1, owner);
        } else if (c == "notepad") {
            char system[MAX_PATH];
            auto child = std::make_unique<Child>();
            Check(child->Start(std::string(system, ::GetSystemDirectoryA(system, MAX_PATH)) + "\\notepad.exe", ""),
                  "cannot start Notepad");
            HWND window = nullptr;
            Check(WaitFor([&] { return (window = FindShown(child->pid(), "Notepad", nullptr)) != nullptr; }), "no Notepad");
            notepads_.push_back(std::move(child));
            foreign_[arg(1)] = window;
        } else if (c == "move" || c == "move-async") {
            const RECT r = Box(arg(2));
            ::SetWindowPos(Window(arg(1)), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           SWP_NOZORDER | SWP_NOACTIVATE | (c == "move" ? 0 : SWP_ASYNCWINDOWPOS));
        } else if (c == "show" || c == "minimize-until-seen") {
            // The program may put the window back at once: the command is
            // given again until its state has been seen once.
            const std::string state = c == "show" ? arg(2) : "min";
            const int command = state == "min" ? SW_MINIMIZE : state == "max" ? SW_SHOWMAXIMIZED
                                : state == "restore"            ? SW_RESTORE : SW_SHOWNORMAL;
            Check(WaitFor([&] { return ::ShowWindow(Window(arg(1)), command), ShowCmdOf(Window(arg(1))) == ShowState(state); }),
                  "never seen " + state);
        } else if (c == "hang" || c == "resume") {
            c == "hang" ? Own(arg(1)).Hang() : Own(arg(1)).Resume();
        } else if (c == "backlog-below") {
            PumpFor(100);
            Check(Own(arg(1)).backlog() < Number(arg(2)), std::to_string(Own(arg(1)).backlog()) + " messages waited");
        } else if (c == "rect" || c == "stays") {
            HWND window = Window(arg(1));
            const RECT r = Box(arg(2));
            auto there = [&] {
                const RECT now = RectOf(window);
                return ::EqualRect(&r, &now) != FALSE;
            };
            const bool holds = c == "rect" ? WaitFor(there) : !WaitFor([&] { return !there(); }, kQuietMs);
            Check(holds, "at " + Describe(RectOf(window)));
        } else if (c == "state") {
            Check(WaitFor([&] { return ShowCmdOf(Window(arg(1))) == ShowState(arg(2)); }),
                  "show command " + std::to_string(ShowCmdOf(Window(arg(1)))));
        } else if (c == "wait") {
            PumpFor(Number(arg(1)));
        } else if (c == "dialog") {
            // The program's dialog with that caption becomes the one the steps act on.
            const std::string caption = arg(1) == "settings" ? Decode("Torvane - 設定")
                                        : arg(1) == "input"  ? Decode("Torvane - 入力して追加")
                                        : arg(1) == "about"  ? Decode("Torvane - バージョン情報") : arg(1);
            Check(WaitFor([&] { return (dialog_ = FindShown(torvane_.pid(), "#32770", &caption)) != nullptr; }),
                  "no dialog " + Escaped(caption));
        } else if (c == "closed") {
            Check(WaitFor([&] { return !::IsWindow(dialog_); }), "the dialog stays open");
        } else if (c == "owner") {
            Check(::GetWindow(dialog_, GW_OWNER) == (arg(1) == "main" ? main_ : nullptr), "another owner");
        } else if (c == "click") {
            // Posted, as a click comes: a button may open a dialog of its own.
            // Then the program's thread waits for input again.
            for (const std::string& id : all(1)) {
                Post(Control(id), BM_CLICK);
                ::WaitForInputIdle(torvane_.handle(), 2000);
            }
        } else if (c == "close-box") {
            Post(dialog_, WM_SYSCOMMAND, SC_CLOSE);
        } else if (c == "press") {
            ::SetForegroundWindow(dialog_);
            Check(WaitFor([&] { return ::GetForegroundWindow() == dialog_; }), "the dialog has no focus");
            PressChord(arg(1));
        } else if (c == "focus" || c == "type") {
            // As a click into the control: the focus moves, and a field that
            // loses it says so. "type" then sets the field's text.
            Send(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(arg(1))), TRUE);
            if (c == "type") Send(Control(arg(1)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(arg(2), kCodePage).c_str()));
        } else if (c == "select") {
            // A user's choice in a list or a drop-down list: the focus, the
            // selection, and the notification of the change.
            HWND control = Control(arg(1));
            const bool combo = ClassOf(control) == "ComboBox";
            Send(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
            Send(control, combo ? CB_SETCURSEL : LB_SETCURSEL, Number(arg(2)));
            Send(dialog_, WM_COMMAND, MAKEWPARAM(Number(arg(1)), combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control));
        } else if (c == "scroll") {
            // scroll <bar> <code> [position]: the bar's notification to the dialog.
            Send(dialog_, WM_VSCROLL, MAKEWPARAM(Number(arg(2)), w.size() > 3 ? Number(w[3]) : 0),
                 reinterpret_cast<LPARAM>(Control(arg(1))));
        } else if (c == "wheel") {
            MouseAt(Centre(Control(arg(1))), MOUSEEVENTF_WHEEL, static_cast<DWORD>(Number(arg(2))));
            PumpFor(100);
        } else if (c == "help") {
            Post(Control(arg(1)), 0x4D /* WM_KEYF1: the dialog gets WM_HELP for this control */);
        } else if (c == "enabled" || c == "disabled") {
            for (const std::string& id : all(1))
                Check(WaitFor([&] { return (::IsWindowEnabled(Control(id)) != 0) == (c == "enabled"); }), id + " is not " + c);
        } else if (c == "checked" || c == "unchecked") {
            for (const std::string& id : all(1))
                Check(WaitFor([&] { return (Send(Control(id), BM_GETCHECK) == BST_CHECKED) == (c == "checked"); }),
                      id + " is not " + c);
        } else if (c == "visible" || c == "hidden") {
            for (const std::string& id : all(1))
                Check(WaitFor([&] { return (::IsWindowVisible(Control(id)) != 0) == (c == "visible"); }), id + " is not " + c);
        } else if (c == "text") {
            std::string shown;
            Check(WaitFor([&] { return (shown = TextOf(Control(arg(1)))) == arg(2); }), "the text is " + Escaped(shown));
        } else if (c == "rows") {
            ExpectRows(Control(arg(1)), all(2));
        } else if (c == "contains" || c == "selected-text") {
            // contains <list> <row text>: some row; selected-text: the selected one
            HWND list = Control(arg(1));
            std::string seen;
            Check(WaitFor([&] {
                      const LRESULT count = Send(list, LB_GETCOUNT), selected = Send(list, LB_GETCURSEL);
                      for (LRESULT i = c == "contains" ? 0 : selected; i >= 0 && i < count; ++i) {
                          wchar_t text[512] = L"";
                          seen = Narrow(std::wstring(text, std::max<LRESULT>(0, Send(list, LB_GETTEXT, i,
                                                                                       reinterpret_cast<LPARAM>(text)))),
                                        kCodePage);
                          if (seen == arg(2)) return true;
                          if (c != "contains") break;
                      }
                      return false;
                  }),
                  c == "contains" ? "no row " + Escaped(arg(2)) : "the selected row is " + Escaped(seen));
        } else if (c == "aligned") {
            // aligned <left list> <right list> <bar>: same selection and top row, and the bar there
            HWND left = Control(arg(1)), right = Control(arg(2));
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_POS;
            Check(WaitFor([&] {
                      ::GetScrollInfo(Control(arg(3)), SB_CTL, &info);
                      return Send(left, LB_GETCURSEL) == Send(right, LB_GETCURSEL) &&
                             Send(left, LB_GETTOPINDEX) == Send(right, LB_GETTOPINDEX) &&
                             info.nPos == Send(left, LB_GETTOPINDEX);
                  }),
                  "the lists or the bar do not agree");
        } else if (c == "selected" || c == "top") {
            // selected <list or drop-down list> <row, -1 for none>; top <list> <row>
            HWND control = Control(arg(1));
            const UINT query = c == "top" ? LB_GETTOPINDEX : ClassOf(control) == "ComboBox" ? CB_GETCURSEL : LB_GETCURSEL;
            Check(WaitFor([&] { return Send(control, query) == Number(arg(2)); }),
                  c + " is " + std::to_string(Send(control, query)));
        } else if (c == "bar") {
            // bar <scroll bar> <min> <max> <page> <position>, and enabled or not
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_ALL;
            ::GetScrollInfo(Control(arg(1)), SB_CTL, &info);
            const std::string seen = std::to_string(info.nMin) + " " + std::to_string(info.nMax) + " " +
                                     std::to_string(info.nPage) + " " + std::to_string(info.nPos);
            Check(seen == arg(2) + " " + arg(3) + " " + arg(4) + " " + arg(5), "the bar is " + seen);
        } else if (c == "drag-to") {
            Drag(w);
        } else if (c == "shot") {
            // shot <name> [screen]: the dialog (or the whole screen), if --shots was given.
            if (!g_shots.empty()) {
                RECT r = RectOf(dialog_);
                ::InflateRect(&r, 12, 12);
                if (w.size() > 2) ::GetWindowRect(::GetDesktopWindow(), &r);
                SaveShot(r, g_shots + "\\" + arg(1) + ".bmp");
            }
        } else {
            Fail("unknown step " + c);
        }
    }

    static UINT ShowState(const std::string& state) {
        return state == "min" ? SW_SHOWMINIMIZED : state == "max" ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    }

    void Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        Check(::PostMessageA(window, message, wParam, lParam) != 0, "cannot post to the program");
    }

    HWND Control(const std::string& id) {
        HWND control = ::GetDlgItem(dialog_, Number(id));
        Check(control != nullptr, "no control " + id);
        return control;
    }

    // A message box of the program with that text and caption: no owner, an
    // OK button that closes it.
    void ExpectNotice(const std::string& text, const std::string& caption) {
        HWND box = nullptr;
        Check(WaitFor([&] { return (box = FindShown(torvane_.pid(), "#32770", &caption)) != nullptr; }),
              "no message box " + Escaped(caption));
        HWND label = ::GetDlgItem(box, 0xFFFF);
        const std::string shown = label ? TextOf(label) : "";
        Check(shown == text, "the message box says " + Escaped(shown));
        Check(::GetWindow(box, GW_OWNER) == nullptr, "the message box has an owner");
        Send(::GetDlgItem(box, IDOK), BM_CLICK);
        Check(WaitFor([&] { return !::IsWindow(box); }), "the message box stays after OK");
    }

    void ExpectRows(HWND list, const std::vector<std::string>& rows) {
        std::string seen, expected;
        for (const std::string& row : rows) {
            expected += '[';
            expected += row;
            expected += ']';
        }
        const bool combo = ClassOf(list) == "ComboBox";
        WaitFor([&] {
            seen.clear();
            const LRESULT count = Send(list, combo ? CB_GETCOUNT : LB_GETCOUNT);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t text[512] = L"";
                const LRESULT n = Send(list, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
                seen += '[';
                seen += Narrow(std::wstring(text, n > 0 ? n : 0), kCodePage);
                seen += ']';
            }
            return seen == expected;
        });
        Check(seen == expected, "the rows are " + Escaped(seen));
    }

    // drag-to <window> [edit] [shot <name>]: a real drag from the dialog's
    // cursor icon onto the window (or the edit field inside it).
    void Drag(const std::vector<std::string>& w) {
        HWND icon = Control("1033");
        HWND target = w.at(1) == "dialog" ? dialog_ : Window(w.at(1));
        if (w.size() > 2 && w[2] == "edit") target = ::FindWindowExA(target, nullptr, "Edit", nullptr);
        const POINT from = Centre(icon), to = Centre(target);
        // A click on the caption first, as a user's hand would: a dialog
        // that is not active may take the press as its activation.
        const RECT d = RectOf(dialog_);
        const POINT caption{(d.left + d.right) / 2, d.top + ::GetSystemMetrics(SM_CYCAPTION) / 2 + 2};
        MouseAt(caption, MOUSEEVENTF_LEFTDOWN);
        MouseAt(caption, MOUSEEVENTF_LEFTUP);
        Check(WaitFor([&] { return ::GetForegroundWindow() == dialog_; }), "the dialog is not active");
        MouseAt(from);
        PumpFor(50);
        MouseAt(from, MOUSEEVENTF_LEFTDOWN);
        for (int step = 1; step <= 10; ++step) {
            MouseAt(POINT{from.x + (to.x - from.x) * step / 10, from.y + (to.y - from.y) * step / 10});
            PumpFor(20);
        }
        Check(WaitFor([&] { return !::IsWindowVisible(icon); }), "the icon is shown while dragging");
        if (w.size() > 3 && w[w.size() - 2] == "shot" && !g_shots.empty()) {
            // With the program's own pick cursor, which it shows meanwhile.
            HMODULE program = ::LoadLibraryExA(g_torvane.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
            SaveShot(RECT{std::min(from.x, to.x) - 60, std::min(from.y, to.y) - 60, std::max(from.x, to.x) + 60,
                          std::max(from.y, to.y) + 60},
                     g_shots + "\\" + w.back() + ".bmp", ::LoadCursorA(program, "IDC_POINTER"), to);
            ::FreeLibrary(program);
        }
        MouseAt(to, MOUSEEVENTF_LEFTUP);
        Check(WaitFor([&] { return ::IsWindowVisible(icon) != 0; }), "the icon is not back after the drop");
    }

    TestWindows& Own(const std::string& name) {
        Check(own_.count(name) != 0, "no window " + name + " of the driver");
        return *own_.at(name);
    }

    HWND Window(const std::string& name) { return foreign_.count(name) ? foreign_.at(name) : Own(name).handle(); }

    WorkFolder folder_;
    Child torvane_;
    HWND main_ = nullptr;
    HWND dialog_ = nullptr;
    HANDLE locked_ = INVALID_HANDLE_VALUE;
    std::map<std::string, std::unique_ptr<TestWindows>> own_;
    std::vector<std::unique_ptr<Child>> notepads_;
    std::map<std::string, HWND> foreign_;
    std::string where_;
};

int PlayAll(const std::string& file, const std::string& only) {
    const std::optional<std::string> text = ReadFileBytes(file);
    Check(text.has_value(), "cannot read " + file);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at <= text->size();) {
        const std::size_t end = std::min(text->find('\n', at), text->size());
        lines.push_back(text->substr(at, end - at));
        at = end + 1;
    }
    int passed = 0, failed = 0;
    for (std::size_t i = 0; i < lines.size();) {
        const std::string line = Trim(lines[i++]);
        if (line.rfind("scenario ", 0) != 0) {
            Check(line.empty() || line[0] == '#', file + ":" + std::to_string(i) + ": outside a scenario");
            continue;
        }
        const std::string name = Trim(line.substr(9));
        const std::vector<Step> steps = ParseSteps(file, lines, i, false);
        if (name.rfind(only, 0) != 0) continue;
        std::printf("[ RUN      ] %s\n", name.c_str());
        std::fflush(stdout);
        const ULONGLONG from = Now();
        std::string failure;
        {
            Player player;
            try {
                player.Play(steps);
                player.Finish();
            } catch (const Failure& f) {
                failure = player.where() + ": " + f.message;
                if (!g_shots.empty()) {  // the screen as it was, beside the pictures
                    RECT screen;
                    ::GetWindowRect(::GetDesktopWindow(), &screen);
                    SaveShot(screen, g_shots + "\\failed-" + name + ".bmp");
                }
                try {
                    player.Finish();
                } catch (const Failure&) {
                }
            }
        }
        ++(failure.empty() ? passed : failed);
        if (failure.empty()) std::printf("[       OK ] %s (%llu ms)\n", name.c_str(), Now() - from);
        else std::printf("%s\n[  FAILED  ] %s\n", failure.c_str(), name.c_str());
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

// "/a/b" as "Z:\a\b"; a path with a drive letter as it is.
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
        if (arg.rfind("--torvane=", 0) == 0) g_torvane = WinePath(arg.substr(10));
        else if (arg.rfind("--shots=", 0) == 0) g_shots = WinePath(arg.substr(8));
        else rest.push_back(arg);
    }
    if (g_torvane.empty() || rest.empty()) {
        std::fprintf(stderr, "usage: %s --torvane=<torvane.exe> [--shots=<folder>] <scenario file> [name prefix]\n",
                     argv[0]);
        return 2;
    }
    try {
        return PlayAll(WinePath(rest[0]), rest.size() > 1 ? rest[1] : "");
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.message.c_str());
        return 2;
    }
}
