// The user32 WindowSystem on real windows of this process: texts cut on a code
// page 932 character boundary, and a worker that never waits for another thread.
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

// Posted to a test window: its thread ends after wParam ms, without handling
// anything more.
constexpr UINT kDieMessage = WM_APP + 8;

// A window on a thread of its own that handles kHangMessage and kDieMessage.
class BusyWindow {
public:
    BusyWindow() : thread_([this] { Run(); }) { WaitFor([&] { return window_.load() != nullptr; }); }
    ~BusyWindow() {
        ::PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    WindowHandle handle() const { return H(window_); }
    void Post(UINT message, WPARAM ms) {
        ::PostMessageA(window_, message, ms, 0);
        ::Sleep(100);  // the window's thread is asleep now
    }

private:
    void Run() {
        HWND created = CreateTopLevel("Torvane.Busy", "busy");
        window_ = created;
        MSG msg;
        while (::IsWindow(created) && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == kDieMessage) {
                ::Sleep(static_cast<DWORD>(msg.wParam));
                return;  // its windows go with the thread
            }
            ::DispatchMessageA(&msg);
        }
    }
    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

// Commands to a window whose thread does not answer are posted; the answer
// comes once it has handled them, or from the system when its thread ends.
TEST(Commands, NeverWaitForAnotherThreadsWindowAndTheAnswerComesOnceTheyTookEffect) {
    Win32WindowSystem ws;
    OwedAnswers owed;
    {
        BusyWindow busy;
        const WindowHandle w = busy.handle();
        busy.Post(kHangMessage, 1000);
        const ULONGLONG start = ::GetTickCount64();
        char title[16];
        ws.GetWindowTextA(w, title, sizeof title);
        EXPECT_EQ(CommandResult::Sent, ws.MoveWindow(w, Rect{30, 40, 330, 290}, WindowSystem::kPositionAndSize));
        EXPECT_EQ(CommandResult::Sent, ws.ShowWindow(w, show::kMaximized));
        EXPECT_FALSE(ws.Elevated(w)) << "a window of this program";
        ASSERT_TRUE(owed.Owe(w));
        EXPECT_EQ(CommandResult::Sent, ws.AwaitAnswer(w, owed));
        ws.CollectAnswers();
        EXPECT_TRUE(owed.Owes(w)) << "answered before the window's thread woke";
        EXPECT_LT(::GetTickCount64() - start, 300u) << "waited for the window's thread";
        EXPECT_TRUE(WaitFor([&] { return ws.CollectAnswers(), !owed.Owes(w); })) << "never answered";
        Placement placement;
        EXPECT_TRUE(ws.GetWindowPlacement(w, placement) && placement.showCmd == 3) << "answered before the commands";
        ws.ShowWindow(w, show::kNormal);
        Rect rect;
        EXPECT_TRUE(WaitFor([&] { return ws.GetWindowRect(w, rect) && rect == Rect{30, 40, 330, 290}; }))
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    }
    BusyWindow dying;
    const WindowHandle w = dying.handle();
    dying.Post(kDieMessage, 300);
    ws.ShowWindow(w, show::kMaximized);
    ASSERT_TRUE(owed.Owe(w));
    EXPECT_EQ(CommandResult::Sent, ws.AwaitAnswer(w, owed));
    EXPECT_TRUE(WaitFor([&] { return ws.CollectAnswers(), !owed.Owes(w); })) << "a window gone keeps its record";
    // Every command to a window that is gone says so.
    EXPECT_EQ(CommandResult::Gone, ws.AwaitAnswer(w, owed));
    EXPECT_EQ(CommandResult::Gone, ws.MoveWindow(w, Rect{30, 40, 330, 290}, WindowSystem::kPosition));
    EXPECT_EQ(CommandResult::Gone, ws.ShowWindow(w, show::kNormal));
}

}  // namespace
}  // namespace torvane
