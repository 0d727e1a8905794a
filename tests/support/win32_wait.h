// Waiting in a Windows test program or benchmark while this thread's messages
// are handled, so that its own windows keep answering.
#pragma once

#include <windows.h>

namespace torvane::testing {

// Polls `condition` every `stepMs` or sooner until it holds or `limitMs` have passed.
template <class Condition>
bool PumpUntil(Condition condition, ULONGLONG limitMs, DWORD stepMs = 10) {
    const ULONGLONG deadline = ::GetTickCount64() + limitMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, stepMs, QS_ALLINPUT);
    }
}

}  // namespace torvane::testing
