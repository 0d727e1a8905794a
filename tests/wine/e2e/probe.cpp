// Loaded by the e2e driver into a running torvane.exe, where the driver starts
// TorvaneMenuState on a thread of its own. Reads the state of one item of the
// main window's menu from inside the process that owns the menu; Wine answers
// GetMenuState only there.
#include <windows.h>

namespace {

constexpr char kMainWindowClass[] = "ZrkwinMainWindowClass";

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char name[64];
    if (process == search->process && ::GetClassNameA(window, name, sizeof name) > 0 &&
        ::lstrcmpA(name, kMainWindowClass) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// The thread's exit code: GetMenuState(menu, command id, MF_BYCOMMAND), or
// 0xFFFFFFFF when there is no main window or no such item.
extern "C" __declspec(dllexport) DWORD WINAPI TorvaneMenuState(LPVOID commandId) {
    Search search{::GetCurrentProcessId(), nullptr};
    ::EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return 0xFFFFFFFFu;
    return ::GetMenuState(::GetMenu(search.found), static_cast<UINT>(reinterpret_cast<UINT_PTR>(commandId)),
                          MF_BYCOMMAND);
}
