// The program's entry point.
#include <windows.h>

#include "shell/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int showCommand) {
    torvane::App app(instance);
    return app.Run(showCommand);
}
