// What the user32 WindowSystem adds to user32, against real windows of this
// process: texts cut to the engine's buffers on a character boundary of code
// page 932, and a worker that never waits for another thread's window. The
// end-to-end scenarios read and move windows of other processes. Narrow
// literals are compiled to code page 932, which the session runs with.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <atomic>
#include <thread>

#include "engine/win32_window_system.h"
#include "support/win32_wait.h"

namespace torvane {
namespace {

WindowHandle H(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

template <class Condition>
bool WaitFor(Condition condition) {
    return testing::PumpUntil(condition, 5000);
}

// Posted to a test window: its thread stops answering for wParam ms.
constexpr UINT kHangMessage = WM_APP + 7;

HWND CreateTopLevel(const char* className, const std::string& title) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == kHangMessage) ::Sleep(static_cast<DWORD>(wParam));
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    };
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    ::RegisterClassExA(&wc);
    return ::CreateWindowExA(0, className, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300,
                             nullptr, nullptr, wc.hInstance, nullptr);
}

// A read through `read` into a buffer larger than `capacity`: the text must be
// NUL-terminated, at most capacity - 1 bytes, with nothing written past it.
template <class Read>
std::string ReadText(Read read, int capacity) {
    char buffer[600];
    std::memset(buffer, 0x7F, sizeof buffer);
    const int length = read(buffer, capacity);
    EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(length));
    EXPECT_LT(length, capacity);
    EXPECT_EQ(std::string(buffer + capacity, buffer + sizeof buffer), std::string(sizeof buffer - capacity, 0x7F))
        << "written past a capacity of " << capacity;
    return std::string(buffer, length);
}

TEST(Reads, TextsAreCodePage932BytesCutOnACharacterBoundaryAndAVanishedWindowGivesNothing) {
    ASSERT_EQ(::GetACP(), 932u) << "run under a Japanese locale (LANG=ja_JP.UTF-8)";
    ASSERT_EQ(std::string("表ソ予"), "\x95\x5C\x83\x5C\x97\x5C") << "literals are not code page 932";
    std::string digits300, a150 = "a";  // and "a" with 150 times 表: 253 bytes fit, no lone first byte
    for (int i = 0; i < 300; ++i) digits300 += static_cast<char>('0' + i % 10);
    for (int i = 0; i < 150; ++i) a150 += "表";
    const struct {
        std::string title;
        int capacity;
        std::string expected;
    } cases[] = {
        {"abc", 255, "abc"}, {"", 255, ""},         {"abc", 1, ""},          {"abc", 3, "ab"},
        {"表示", 4, "表"},   {"表示", 5, "表示"},   {"a表", 3, "a"},         {"ソa", 3, "ソ"},
        {digits300, 255, digits300.substr(0, 254)}, {a150, 255, a150.substr(0, 253)},
    };
    // A window of this process: read without a message.
    Win32WindowSystem ws;
    HWND own = CreateTopLevel("Torvane.窓クラス", "");
    EXPECT_EQ(ReadText([&](char* b, int c) { return ws.GetClassNameA(H(own), b, c); }, 255), "Torvane.窓クラス");
    for (const auto& c : cases) {
        ::SendMessageA(own, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.title.c_str()));
        EXPECT_EQ(ReadText([&](char* b, int cap) { return ws.GetWindowTextA(H(own), b, cap); }, c.capacity), c.expected)
            << "capacity " << c.capacity;
    }
    // A window that vanished gives empty results.
    ::DestroyWindow(own);
    char text[8] = "x";
    Placement placement;
    placement.showCmd = 1;
    Rect rect{1, 2, 3, 4};
    EXPECT_FALSE(ws.IsWindowVisible(H(own)));
    EXPECT_EQ(ws.GetWindowTextA(H(own), text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(ws.GetClassNameA(H(own), text, sizeof text), 0);
    EXPECT_FALSE(ws.GetWindowPlacement(H(own), placement));
    EXPECT_EQ(placement.showCmd, 0u);
    EXPECT_FALSE(ws.GetWindowRect(H(own), rect));
    EXPECT_EQ(rect, Rect{});
}

// A worker must go on while this program's user-interface thread does not
// answer (it waits for the busy flag); its commands take effect once the
// thread answers again, and until then the window counts as not answering.
// (A hung window of another program is an end-to-end scenario.)
TEST(Commands, NeverWaitForAnotherThreadsWindowAndFollowWhetherItAnswers) {
    Win32WindowSystem ws;
    std::atomic<HWND> window{nullptr};
    std::thread thread([&] {
        HWND created = CreateTopLevel("Torvane.Busy", "busy");
        window = created;
        MSG msg;
        while (::IsWindow(created) && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    });
    ASSERT_TRUE(WaitFor([&] { return window.load() != nullptr; }));
    {
        const WindowHandle w = H(window);
        ::PostMessageA(window, kHangMessage, 1000, 0);
        ::Sleep(100);  // the window's thread is asleep now
        const ULONGLONG start = ::GetTickCount64();
        char title[16];
        ws.GetWindowTextA(w, title, sizeof title);
        EXPECT_TRUE(ws.IsAnswering(w)) << "nothing sent yet";
        ws.MoveWindow(w, 30, 40, 300, 250, true);
        ws.ShowWindow(w, show::kMaximized);
        EXPECT_FALSE(ws.IsAnswering(w));
        EXPECT_LT(::GetTickCount64() - start, 300u) << "waited for the window's thread";
        EXPECT_TRUE(WaitFor([&] { return ws.IsAnswering(w); })) << "answers again";
        Placement placement;
        EXPECT_TRUE(WaitFor([&] { return ws.GetWindowPlacement(w, placement) && placement.showCmd == 3; }))
            << "the commands are carried out";
        ws.ShowWindow(w, show::kNormal);
        Rect rect;
        EXPECT_TRUE(WaitFor([&] { return ws.GetWindowRect(w, rect) && rect == Rect{30, 40, 330, 290}; }))
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
        ::PostMessageA(window, kHangMessage, 1000, 0);
        ::Sleep(100);
        ws.MoveWindow(w, 30, 40, 300, 250, true);
        EXPECT_TRUE(ws.IsAnswering(w)) << "a move that changes nothing is not posted";
    }
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    thread.join();
}

}  // namespace
}  // namespace torvane
