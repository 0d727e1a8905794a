#include "harness.h"

#include <psapi.h>

#include <cstdint>
#include <cstdio>

namespace e2e {

void PumpFor(DWORD ms) {
    const ULONGLONG end = Now() + ms;
    for (;;) {
        PumpMessages();
        const ULONGLONG now = Now();
        if (now >= end) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

std::string WinePath(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path;
    std::string out = "Z:";
    for (char c : path) out += c == '/' ? '\\' : c;
    return out;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    // Shares writing and deleting: the program may be replacing the file.
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

bool FileExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Escaped(const std::string& bytes) {
    std::string out;
    char hex[8];
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// --- working folders ---

WorkFolder::WorkFolder() {
    static int counter = 0;
    char temp[MAX_PATH];
    const DWORD length = ::GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return;
    for (int attempt = 0; attempt < 100 && !ok_; ++attempt) {
        char name[96];
        std::snprintf(name, sizeof name, "torvane-e2e-%lu-%d", ::GetCurrentProcessId(), ++counter);
        path_ = std::string(temp) + name;
        ok_ = ::CreateDirectoryA(path_.c_str(), nullptr) != 0;
    }
}

WorkFolder::~WorkFolder() {
    if (!ok_) return;
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

// --- processes ---

namespace {

// The job that holds every process the driver starts. Closing its last
// handle, which the system does when the driver ends in any way, ends them.
HANDLE DriverJob() {
    static HANDLE job = [] {
        HANDLE created = ::CreateJobObjectA(nullptr, nullptr);
        if (created != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            ::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return created;
    }();
    return job;
}

// Waits for `object`, handling this thread's messages meanwhile.
bool WaitForObject(HANDLE object, DWORD limitMs) {
    const ULONGLONG deadline = Now() + limitMs;
    for (;;) {
        const ULONGLONG now = Now();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD result = ::MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;  // timeout or failure
        PumpMessages();
    }
}

}  // namespace

bool Child::Start(const std::string& application, const std::string& arguments, const std::string& folder) {
    Kill();
    std::string commandLine = "\"" + application + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Suspended until it is in the job, so that nothing it starts escapes.
    if (!::CreateProcessA(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info_)) {
        info_ = {};
        return false;
    }
    if (HANDLE job = DriverJob()) ::AssignProcessToJobObject(job, info_.hProcess);
    ::ResumeThread(info_.hThread);
    return true;
}

bool Child::Running() const {
    return info_.hProcess != nullptr && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Child::WaitForExit(DWORD limitMs) {
    if (info_.hProcess == nullptr || !WaitForObject(info_.hProcess, limitMs)) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(info_.hProcess, &code)) return std::nullopt;
    return code;
}

void Child::Kill() {
    if (info_.hProcess == nullptr) return;
    if (Running()) {
        ::TerminateProcess(info_.hProcess, 0xE2E);
        WaitForObject(info_.hProcess, 5000);
    }
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
    info_ = {};
}

// --- windows ---

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

DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process;
}

RECT RectOf(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

UINT ShowCmdOf(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(window, &placement)) return 0;
    return placement.showCmd;
}

std::string Describe(const RECT& r) {
    char text[96];
    std::snprintf(text, sizeof text, "(%ld,%ld) %ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

RECT MakeRect(int x, int y, int width, int height) { return RECT{x, y, x + width, y + height}; }

namespace {

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindTopLevel(DWORD pid, const std::string& className, const char* title, bool visibleOnly) {
    for (HWND window : TopLevelWindows()) {
        if (ProcessOf(window) != pid || ClassOf(window) != className) continue;
        if (visibleOnly && !::IsWindowVisible(window)) continue;
        if (title != nullptr && TitleOf(window) != title) continue;
        return window;
    }
    return nullptr;
}

std::string ControlText(HWND control) {
    char text[512] = "";
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                               2000, &copied))
        return {};
    return std::string(text, copied < sizeof text ? copied : sizeof text - 1);
}

HWND FindDialog(DWORD pid, const std::string& caption) {
    return FindTopLevel(pid, "#32770", caption.c_str(), true);
}

std::string MessageBoxText(HWND box) {
    HWND text = ::GetDlgItem(box, 0xFFFF);
    return text == nullptr ? std::string() : ControlText(text);
}

bool ClickButton(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    if (button == nullptr) return false;
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) != 0;
}

// --- the tray and the mouse ---

std::optional<POINT> TrayIconPoint() {
    HWND taskbar = ::FindWindowA("Shell_TrayWnd", nullptr);
    if (taskbar == nullptr || !::IsWindowVisible(taskbar)) return std::nullopt;
    const RECT r = RectOf(taskbar);
    if (r.right <= r.left || r.bottom <= r.top) return std::nullopt;
    // Icons are 16 pixels with a 2-pixel border each side, laid out from
    // the right edge.
    return POINT{r.right - 10, (r.top + r.bottom) / 2};
}

bool ClickAt(POINT at, bool rightButton) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    if (width < 2 || height < 2) return false;
    INPUT input[3]{};
    for (INPUT& i : input) i.type = INPUT_MOUSE;
    input[0].mi.dx = static_cast<LONG>(at.x * 65535LL / (width - 1));
    input[0].mi.dy = static_cast<LONG>(at.y * 65535LL / (height - 1));
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    return ::SendInput(3, input, sizeof(INPUT)) == 3;
}

// --- menus ---

namespace {

constexpr char kProbeName[] = "torvane_e2e_probe.dll";

std::string DriverFolder() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/"));
}

// The base address of the module called `name` in `process`.
HMODULE RemoteModule(HANDLE process, const char* name) {
    HMODULE modules[512];
    DWORD needed = 0;
    if (!::EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL)) return nullptr;
    const DWORD count = needed / sizeof(HMODULE) < 512 ? needed / sizeof(HMODULE) : 512;
    for (DWORD i = 0; i < count; ++i) {
        char base[MAX_PATH];
        if (::GetModuleBaseNameA(process, modules[i], base, sizeof base) && ::lstrcmpiA(base, name) == 0)
            return modules[i];
    }
    return nullptr;
}

// `local` is a function of `localModule` in this process; the same function
// in `process`, where that module is loaded at `remoteModule`.
LPTHREAD_START_ROUTINE Translate(HMODULE localModule, FARPROC local, HMODULE remoteModule) {
    const auto offset = reinterpret_cast<std::uintptr_t>(local) - reinterpret_cast<std::uintptr_t>(localModule);
    return reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<std::uintptr_t>(remoteModule) + offset);
}

// Runs `start(argument)` on a new thread of `process`; its exit code.
std::optional<DWORD> RunRemote(HANDLE process, LPTHREAD_START_ROUTINE start, void* argument) {
    HANDLE thread = ::CreateRemoteThread(process, nullptr, 0, start, argument, 0, nullptr);
    if (thread == nullptr) return std::nullopt;
    std::optional<DWORD> result;
    DWORD code = 0;
    if (WaitForObject(thread, kDeadlineMs) && ::GetExitCodeThread(thread, &code)) result = code;
    ::CloseHandle(thread);
    return result;
}

// Loads the probe library into `process` once; its base there.
HMODULE LoadProbeInto(HANDLE process) {
    if (HMODULE loaded = RemoteModule(process, kProbeName)) return loaded;
    const std::string path = DriverFolder() + "\\" + kProbeName;
    void* remotePath = ::VirtualAllocEx(process, nullptr, path.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remotePath == nullptr) return nullptr;
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    HMODULE remoteKernel = RemoteModule(process, "kernel32.dll");
    if (remoteKernel != nullptr && ::WriteProcessMemory(process, remotePath, path.c_str(), path.size() + 1, nullptr))
        RunRemote(process, Translate(kernel, ::GetProcAddress(kernel, "LoadLibraryA"), remoteKernel), remotePath);
    ::VirtualFreeEx(process, remotePath, 0, MEM_RELEASE);
    return RemoteModule(process, kProbeName);
}

}  // namespace

std::optional<UINT> MenuStateOf(HANDLE process, HWND mainWindow, UINT id) {
    // Windows keeps menus in the window system, readable from any process.
    const UINT direct = ::GetMenuState(::GetMenu(mainWindow), id, MF_BYCOMMAND);
    if (direct != static_cast<UINT>(-1)) return direct;

    static HMODULE localProbe = ::LoadLibraryA((DriverFolder() + "\\" + kProbeName).c_str());
    if (localProbe == nullptr) return std::nullopt;
    HMODULE remoteProbe = LoadProbeInto(process);
    if (remoteProbe == nullptr) return std::nullopt;
    const auto start = Translate(localProbe, ::GetProcAddress(localProbe, "TorvaneMenuState"), remoteProbe);
    const std::optional<DWORD> state =
        RunRemote(process, start, reinterpret_cast<void*>(static_cast<std::uintptr_t>(id)));
    if (!state || *state == 0xFFFFFFFFu) return std::nullopt;
    return static_cast<UINT>(*state);
}

}  // namespace e2e
