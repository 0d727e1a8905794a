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

// A worker must go on while a window's program does not answer (a hung
// program, or this program's user-interface thread waiting for the busy
// flag); its commands take effect once the program answers again, and until
// then the window counts as not answering.
TEST(Commands, NeverWaitForAnotherThreadsWindowAndFollowWhetherItAnswers) {
    Win32WindowSystem ws;
    HWND ownProcess = nullptr;
    std::thread thread([&] {
        HWND created = CreateTopLevel(Unique("Torvane.Busy"), "busy");
        ownProcess = created;
        MSG msg;
        while (::IsWindow(created) && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    });
    ChildWindow child(Unique("Torvane.Hung"));
    ASSERT_TRUE(WaitFor([&] { return ownProcess != nullptr; }));
    ASSERT_NE(child.window(), nullptr);
    for (HWND window : {ownProcess, child.window()}) {
        SCOPED_TRACE(window == ownProcess ? "another thread of this process" : "another process");
        const WindowHandle w = H(window);
        ::PostMessageA(window, kHangMessage, 1000, 0);
        ::Sleep(100);  // the window's thread is asleep now
        const ULONGLONG start = Now();
        char title[16];
        ws.GetWindowTextA(w, title, sizeof title);
        EXPECT_TRUE(ws.IsAnswering(w)) << "nothing sent yet";
        ws.MoveWindow(w, 30, 40, 300, 250, true);
        ws.ShowWindow(w, show::kMaximized);
        EXPECT_FALSE(ws.IsAnswering(w));
        EXPECT_LT(Now() - start, 300u) << "waited for the window's thread";
        EXPECT_TRUE(WaitFor([&] { return ws.IsAnswering(w); })) << "answers again";
        Placement placement;
        EXPECT_TRUE(WaitFor([&] { return ws.GetWindowPlacement(w, placement) && placement.showCmd == 3; }))
            << "the commands are carried out";
        ws.ShowWindow(w, show::kNormal);
        Rect rect;
        EXPECT_TRUE(WaitFor([&] { return ws.GetWindowRect(w, rect) && rect == Rect{30, 40, 330, 290}; }))
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    }
    ::PostMessageA(ownProcess, WM_CLOSE, 0, 0);
    thread.join();
}

}  // namespace
}  // namespace torvane

int main(int argc, char** argv) { return torvane::wine_test::RunTestProgram(argc, argv); }
