// Loaded by the e2e driver into a running torvane.exe, where the driver starts
// TorvaneMenuState on a thread of its own. Reads the state of one item of the
// main window's menu from inside the process that owns the menu; Wine answers
// GetMenuState only there. (One Torvane runs on the desktop.)
#include <windows.h>

// The thread's exit code: GetMenuState(menu, command id, MF_BYCOMMAND), or
// 0xFFFFFFFF when there is no main window or no such item.
extern "C" __declspec(dllexport) DWORD WINAPI TorvaneMenuState(LPVOID commandId) {
    HWND main = ::FindWindowA("ZrkwinMainWindowClass", nullptr);
    return main ? ::GetMenuState(::GetMenu(main), static_cast<UINT>(reinterpret_cast<UINT_PTR>(commandId)), MF_BYCOMMAND)
                : 0xFFFFFFFFu;
}
