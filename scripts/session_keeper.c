/* A helper of wine_session.sh, built by it with MinGW-w64.
 *
 *   session_keeper.exe hold            stays attached to the desktop until the
 *                                      Wine server ends it, so that the desktop
 *                                      and its taskbar outlive each test program
 *   session_keeper.exe wait <ms>       exits 0 once the taskbar window
 *                                      "Shell_TrayWnd" is visible with a real
 *                                      rectangle, 1 if that takes longer than
 *                                      <ms> milliseconds
 *   session_keeper.exe close <class> <title> <ms>
 *                                      posts WM_CLOSE to the top-level window
 *                                      with that class and title and exits 0
 *                                      once it is gone (or was never there),
 *                                      1 if it is still there after <ms>
 *   session_keeper.exe programs        prints the programs that show a window
 *                                      in the session, one line each, but for
 *                                      the desktop and this helper
 *
 * Wine closes a desktop one second after its last program has ended, and a
 * desktop started by a test program would hold that program's output pipes.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Hold(void) {
    MSG msg;
    GetDesktopWindow();
    while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}

static int TaskbarShown(RECT* rect) {
    HWND taskbar = FindWindowA("Shell_TrayWnd", NULL);
    return taskbar && IsWindowVisible(taskbar) && GetWindowRect(taskbar, rect) && rect->right > rect->left &&
           rect->bottom > rect->top;
}

static int Wait(unsigned long limit) {
    const ULONGLONG deadline = GetTickCount64() + limit;
    RECT rect;
    GetDesktopWindow();
    for (;;) {
        if (TaskbarShown(&rect)) {
            printf("taskbar (%ld,%ld)-(%ld,%ld)\n", rect.left, rect.top, rect.right, rect.bottom);
            return 0;
        }
        if (GetTickCount64() >= deadline) {
            printf("no visible taskbar after %lu ms\n", limit);
            return 1;
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    }
}

static int Close(const char* className, const char* title, unsigned long limit) {
    const ULONGLONG deadline = GetTickCount64() + limit;
    HWND window = FindWindowA(className, title);
    if (window == NULL) return 0;
    PostMessageA(window, WM_CLOSE, 0, 0);
    while (IsWindow(window)) {
        if (GetTickCount64() >= deadline) return 1;
        Sleep(20);
    }
    return 0;
}

/* The program of `window`, without its folder. */
static void ProgramOf(HWND window, char* name, DWORD size) {
    DWORD pid = 0;
    HANDLE process;
    name[0] = '\0';
    GetWindowThreadProcessId(window, &pid);
    process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == NULL) return;
    if (QueryFullProcessImageNameA(process, 0, name, &size)) {
        const char* slash = strrchr(name, '\\');
        if (slash != NULL) memmove(name, slash + 1, strlen(slash));
    }
    CloseHandle(process);
}

static BOOL CALLBACK PrintProgram(HWND window, LPARAM printed) {
    char name[MAX_PATH], title[256];
    char* seen = (char*)printed;
    if (!IsWindowVisible(window)) return TRUE;
    ProgramOf(window, name, sizeof name);
    if (name[0] == '\0' || _stricmp(name, "explorer.exe") == 0 || _stricmp(name, "session_keeper.exe") == 0) return TRUE;
    /* Each program once. */
    if (strstr(seen, name) != NULL || strlen(seen) + strlen(name) + 2 > 4000) return TRUE;
    strcat(seen, name);
    strcat(seen, "|");
    GetWindowTextA(window, title, sizeof title);
    printf("%s (%s)\n", name, title);
    return TRUE;
}

static int Programs(void) {
    static char printed[4096];
    EnumWindows(PrintProgram, (LPARAM)printed);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "hold") == 0) return Hold();
    if (argc == 3 && strcmp(argv[1], "wait") == 0) return Wait(strtoul(argv[2], NULL, 10));
    if (argc == 5 && strcmp(argv[1], "close") == 0) return Close(argv[2], argv[3], strtoul(argv[4], NULL, 10));
    if (argc == 2 && strcmp(argv[1], "programs") == 0) return Programs();
    fprintf(stderr, "usage: session_keeper.exe hold | wait <milliseconds> | close <class> <title> <milliseconds> | programs\n");
    return 2;
}
