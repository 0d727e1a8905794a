// What the user32 WindowSystem adds to user32, against real windows: texts
// cut to the engine's buffers on a character boundary of code page 932, and
// a worker that never waits for another thread's window. Narrow literals are
// compiled to code page 932, which the session runs with.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "engine/win32_window_system.h"
#include "support.h"

namespace torvane {
namespace {

using namespace wine_test;

WindowHandle H(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

// A read through `read` into a buffer larger than `capacity`: the text must be
// NUL-terminated, at most capacity - 1 bytes, with nothing written past it.
template <class Read>
std::string ReadText(Read read, int capacity) {
    char buffer[600];
    std::memset(buffer, 0x7F, sizeof buffer);
    const int length = read(buffer, capacity);
    EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(length));
    EXPECT_LT(length, capacity);
    for (int i = capacity; i < static_cast<int>(sizeof buffer); ++i) {
        if (buffer[i] != 0x7F) ADD_FAILURE() << "byte " << i << " written with a capacity of " << capacity;
    }
    return std::string(buffer, length);
}

TEST(Texts, AreCodePage932BytesCutOnACharacterBoundary) {
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
    // A window of this process (read without a message) and of another one.
    Win32WindowSystem ws;
    const std::string ownClass = Unique("Torvane.窓クラス");
    HWND own = CreateTopLevel(ownClass, "");
    const std::string childClass = Unique("Torvane.Child");
    ChildWindow child(childClass);
    ASSERT_NE(child.window(), nullptr);

    EXPECT_EQ(ReadText([&](char* b, int c) { return ws.GetClassNameA(H(own), b, c); }, 255), ownClass);
    for (HWND window : {own, child.window()}) {
        for (const auto& c : cases) {
            ::SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.title.c_str()));
            EXPECT_EQ(ReadText([&](char* b, int cap) { return ws.GetWindowTextA(H(window), b, cap); }, c.capacity),
                      c.expected)
                << (window == own ? "own" : "child") << " window, capacity " << c.capacity;
        }
    }
    ::DestroyWindow(own);
}

TEST(Reads, OfAVanishedWindowGiveEmptyResults) {
    Win32WindowSystem ws;
    HWND window = CreateTopLevel(Unique("Torvane.Gone"), "gone");
    ::DestroyWindow(window);
    char text[8] = "x";
    Placement placement;
    placement.showCmd = 1;
    Rect rect{1, 2, 3, 4};
    EXPECT_FALSE(ws.IsWindowVisible(H(window)));
    EXPECT_EQ(ws.GetWindowTextA(H(window), text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(ws.GetClassNameA(H(window), text, sizeof text), 0);
    EXPECT_FALSE(ws.GetWindowPlacement(H(window), placement));
    EXPECT_EQ(placement.showCmd, 0u);
    EXPECT_FALSE(ws.GetWindowRect(H(window), rect));
    EXPECT_EQ(rect, Rect{});
}

// The program's user-interface thread may wait for the busy flag while a
// worker acts on its dialogs: the worker must go on, and its commands take
// effect once the thread pumps again.
TEST(Commands, NeverWaitForAnotherThreadOfThisProcess) {
    Win32WindowSystem ws;
    HWND window = nullptr;
    HANDLE resume = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread thread([&] {
        HWND created = CreateTopLevel(Unique("Torvane.Busy"), "busy");
        window = created;
        ::WaitForSingleObject(resume, 5000);  // not answering
        MSG msg;
        while (::IsWindow(created) && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    });
    ASSERT_TRUE(WaitFor([&] { return window != nullptr; }));
    const ULONGLONG start = Now();
    char title[16];
    ws.GetWindowTextA(H(window), title, sizeof title);
    ws.MoveWindow(H(window), 30, 40, 300, 250, true);
    ws.ShowWindow(H(window), show::kMaximized);
    EXPECT_LT(Now() - start, 500u) << "waited for the window's thread";
    EXPECT_STREQ(title, "busy");
    ::SetEvent(resume);
    Placement placement;
    EXPECT_TRUE(WaitFor([&] { return ws.GetWindowPlacement(H(window), placement) && placement.showCmd == 3; }));
    ws.ShowWindow(H(window), show::kNormal);
    Rect rect;
    EXPECT_TRUE(WaitFor([&] { return ws.GetWindowRect(H(window), rect) && rect == Rect{30, 40, 330, 290}; }))
        << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    thread.join();
    ::CloseHandle(resume);
}

}  // namespace
}  // namespace torvane

int main(int argc, char** argv) { return torvane::wine_test::RunTestProgram(argc, argv); }
