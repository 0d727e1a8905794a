// The user32 WindowSystem against real windows: windows of this thread, of a
// second thread of this process that stops pumping messages, and of a second
// process (this program started again with --child).
//
// Narrow literals are compiled to code page 932, and the session runs with
// the system code page 932, so Japanese titles below reach the windows as the
// program's own bytes. (That is also why there is no <chrono> here: in C++20
// it holds a "µs" literal that code page 932 cannot encode.)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/win32_window_system.h"
#include "support.h"
#include "test_main.h"

namespace torvane {

// Readable rectangles in failure messages.
void PrintTo(const Rect& r, std::ostream* out) {
    *out << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

namespace {

using namespace wine_test;

constexpr int kCapacity = WindowSystem::kTextCapacity;

// 表示ソフト・予定表: 表, ソ and 予 have 0x5C as their second byte.
const char kJapaneseTitle[] = "表示ソフト・予定表";
const char kJapaneseTitleBytes[] = "\x95\x5c\x8e\xa6\x83\x5c\x83\x74\x83\x67\x81\x45\x97\x5c\x92\xe8\x95\x5c";
// 窓クラス
const char kJapaneseClass[] = "窓クラス";
const char kJapaneseClassBytes[] = "\x91\x8b\x83\x4e\x83\x89\x83\x58";

WindowHandle H(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }
HWND W(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// `prefix` and then `times` copies of `piece`.
std::string Repeat(const std::string& piece, int times, std::string prefix = {}) {
    std::string out = std::move(prefix);
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// Digits that change along the text, so that a cut at the wrong offset shows.
std::string Digits(int length) {
    std::string out;
    for (int i = 0; i < length; ++i) out += static_cast<char>('0' + i % 10);
    return out;
}

std::string Describe(const Rect& r) {
    char text[96];
    std::snprintf(text, sizeof text, "(%d,%d)-(%d,%d)", static_cast<int>(r.left), static_cast<int>(r.top),
                  static_cast<int>(r.right), static_cast<int>(r.bottom));
    return text;
}

RECT WorkArea() {
    RECT area{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

bool Covers(const Rect& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

std::vector<WindowHandle> Enumerate(WindowSystem& ws) {
    std::vector<WindowHandle> seen;
    ws.EnumWindows(
        [](WindowHandle window, void* context) {
            static_cast<std::vector<WindowHandle>*>(context)->push_back(window);
            return true;
        },
        &seen);
    return seen;
}

// Reads a text through `read` into a buffer larger than `capacity` and
// checks what every reader must do: return the length of a NUL-terminated
// text of at most capacity - 1 bytes, and write nothing past the capacity.
template <class Read>
std::string ReadText(Read read, int capacity) {
    char buffer[600];
    std::memset(buffer, 0x7F, sizeof buffer);
    const int length = read(buffer, capacity);
    EXPECT_GE(length, 0);
    EXPECT_LT(length, std::max(capacity, 1));
    if (capacity > 0) {
        EXPECT_EQ(buffer[std::max(length, 0)], '\0');
        EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(std::max(length, 0)));
    }
    for (int i = std::max(capacity, 0); i < static_cast<int>(sizeof buffer); ++i) {
        if (buffer[i] != 0x7F) {
            ADD_FAILURE() << "byte " << i << " written with a capacity of " << capacity;
            break;
        }
    }
    return capacity > 0 ? std::string(buffer, static_cast<std::size_t>(std::max(length, 0))) : std::string();
}

std::string Title(WindowSystem& ws, WindowHandle window, int capacity = kCapacity) {
    return ReadText([&](char* buffer, int cap) { return ws.GetWindowTextA(window, buffer, cap); }, capacity);
}

std::string ClassName(WindowSystem& ws, WindowHandle window, int capacity = kCapacity) {
    return ReadText([&](char* buffer, int cap) { return ws.GetClassNameA(window, buffer, cap); }, capacity);
}

unsigned ShowCmd(WindowSystem& ws, WindowHandle window) {
    Placement placement;
    placement.showCmd = 0xFFFF;
    if (!ws.GetWindowPlacement(window, placement)) return 0xFFFF;
    return placement.showCmd;
}

Rect RectOf(WindowSystem& ws, WindowHandle window) {
    Rect rect;
    ws.GetWindowRect(window, rect);
    return rect;
}

// Cuts of titles: what a reader with `capacity` returns for `title`.
struct CutCase {
    const char* title;
    int capacity;
    const char* expected;
};
const CutCase kCutCases[] = {
    {"abc", kCapacity, "abc"},
    {"", kCapacity, ""},
    {"abc", 1, ""},
    {"abc", 3, "ab"},
    {"表示", 4, "表"},      // 示 would end past the 3 bytes allowed
    {"表示", 5, "表示"},
    {"a表", 3, "a"},        // no lone first byte of 表
    {"ソa", 3, "ソ"},       // 0x5C second byte followed by ASCII
};

// A window on a thread of its own, which can be told to stop pumping
// messages for a while, as the program's user-interface thread does while
// it waits for the busy flag.
class BusyThreadWindow {
public:
    static constexpr UINT kBlock = WM_APP + 1;

    BusyThreadWindow(const std::string& className, const std::string& title) {
        blocked_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        release_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        HANDLE created = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, className, title, created] {
            hwnd_ = CreateTopLevel(className, title, true, RECT{200, 200, 600, 500}, QuitOnDestroyProc);
            ::SetEvent(created);
            if (!hwnd_) return;
            MSG msg;
            while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
                if (msg.message == kBlock) {
                    ::SetEvent(blocked_);
                    // Bounded, so that a caller that does wait for this
                    // thread fails its deadline instead of hanging.
                    ::WaitForSingleObject(release_, 5000);
                    continue;
                }
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        });
        ::WaitForSingleObject(created, 5000);
        ::CloseHandle(created);
    }
    BusyThreadWindow(const BusyThreadWindow&) = delete;
    BusyThreadWindow& operator=(const BusyThreadWindow&) = delete;
    ~BusyThreadWindow() {
        ::SetEvent(release_);
        if (hwnd_) ::PostMessageA(hwnd_, WM_CLOSE, 0, 0);
        thread_.join();
        ::CloseHandle(blocked_);
        ::CloseHandle(release_);
    }

    HWND hwnd() const { return hwnd_; }
    // Returns once the thread has stopped pumping.
    bool Block() {
        ::PostMessageA(hwnd_, kBlock, 0, 0);
        return ::WaitForSingleObject(blocked_, 5000) == WAIT_OBJECT_0;
    }
    void Release() { ::SetEvent(release_); }

private:
    HANDLE blocked_ = nullptr;
    HANDLE release_ = nullptr;
    HWND hwnd_ = nullptr;
    std::thread thread_;
};

class Win32WindowSystemTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (HWND hwnd : windows_)
            if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
        PumpMessages();
    }

    HWND Create(const std::string& className, const std::string& title, bool visible = true,
                RECT r = RECT{100, 100, 500, 400}, HWND owner = nullptr, DWORD style = WS_OVERLAPPEDWINDOW) {
        HWND hwnd = CreateTopLevel(className, title, visible, r, PlainProc, owner, style);
        EXPECT_NE(hwnd, nullptr) << "could not create a window of class " << className;
        if (hwnd) windows_.push_back(hwnd);
        return hwnd;
    }

    Win32WindowSystem ws_;
    WindowSystem& ws = ws_;
    std::vector<HWND> windows_;
};

// --- The session itself ---------------------------------------------------

TEST(Session, RunsWithCodePage932AndCompilesLiteralsToIt) {
    ASSERT_EQ(::GetACP(), 932u) << "run under a Japanese locale (LANG=ja_JP.UTF-8)";
    EXPECT_EQ(std::string(kJapaneseTitle), std::string(kJapaneseTitleBytes));
    EXPECT_EQ(std::string(kJapaneseClass), std::string(kJapaneseClassBytes));
}

// --- Enumeration ----------------------------------------------------------

TEST_F(Win32WindowSystemTest, EnumeratesEveryTopLevelWindowFrontToBack) {
    HWND a = Create(Unique("Torvane.Enum"), "A");
    HWND b = Create(Unique("Torvane.Enum"), "B");
    HWND c = Create(Unique("Torvane.Enum"), "C");
    HWND hidden = Create(Unique("Torvane.Enum"), "hidden", false);
    ASSERT_TRUE(a && b && c && hidden);
    // Front to back: c, a, b.
    for (HWND hwnd : {b, a, c})
        ::SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const std::vector<WindowHandle> seen = Enumerate(ws);
    std::vector<WindowHandle> walk;
    for (HWND hwnd = ::GetTopWindow(nullptr); hwnd; hwnd = ::GetWindow(hwnd, GW_HWNDNEXT)) walk.push_back(H(hwnd));

    for (HWND hwnd : {a, b, c, hidden})
        EXPECT_EQ(std::count(seen.begin(), seen.end(), H(hwnd)), 1) << "each window exactly once";
    auto at = [&](HWND hwnd) { return std::find(seen.begin(), seen.end(), H(hwnd)) - seen.begin(); };
    EXPECT_LT(at(c), at(a));
    EXPECT_LT(at(a), at(b));

    // The enumeration follows the z-order of the window manager: it is the
    // walk of GW_HWNDNEXT, or an ordered part of it.
    auto next = walk.begin();
    for (WindowHandle window : seen) {
        next = std::find(next, walk.end(), window);
        ASSERT_NE(next, walk.end()) << "window " << window << " out of z-order or not a top-level window";
        ++next;
    }
}

TEST_F(Win32WindowSystemTest, EnumerationStopsWhenTheCallbackAsksTo) {
    ASSERT_TRUE(Create(Unique("Torvane.Enum"), "one"));
    ASSERT_TRUE(Create(Unique("Torvane.Enum"), "two"));
    ASSERT_TRUE(Create(Unique("Torvane.Enum"), "three"));
    for (int stopAt : {1, 2}) {
        struct Count {
            int calls = 0;
            int stopAt = 0;
        } count{0, stopAt};
        ws.EnumWindows(
            [](WindowHandle, void* context) {
                auto* c = static_cast<Count*>(context);
                return ++c->calls < c->stopAt;
            },
            &count);
        EXPECT_EQ(count.calls, stopAt);
    }
}

// --- Visibility -----------------------------------------------------------

TEST_F(Win32WindowSystemTest, VisibilityFollowsTheWindowAndEndsWithIt) {
    HWND hwnd = Create(Unique("Torvane.Visible"), "window", false);
    ASSERT_TRUE(hwnd);
    EXPECT_FALSE(ws.IsWindowVisible(H(hwnd))) << "hidden";
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    EXPECT_TRUE(ws.IsWindowVisible(H(hwnd))) << "shown";
    ::ShowWindow(hwnd, SW_MINIMIZE);
    EXPECT_TRUE(ws.IsWindowVisible(H(hwnd))) << "a minimized window is visible";
    ::ShowWindow(hwnd, SW_HIDE);
    EXPECT_FALSE(ws.IsWindowVisible(H(hwnd))) << "hidden again";
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ::DestroyWindow(hwnd);
    EXPECT_FALSE(ws.IsWindowVisible(H(hwnd))) << "destroyed";
    EXPECT_FALSE(ws.IsWindowVisible(kNoWindow));
}

// --- Class names and titles -----------------------------------------------

TEST_F(Win32WindowSystemTest, ReadsClassNamesAndTitlesAsCodePage932Bytes) {
    const std::string asciiClass = Unique("Torvane.Text");
    HWND ascii = Create(asciiClass, "Plain title");
    const std::string japaneseClass = Unique(kJapaneseClass);
    HWND japanese = Create(japaneseClass, kJapaneseTitle);
    HWND untitled = Create(asciiClass, "");
    ASSERT_TRUE(ascii && japanese && untitled);

    EXPECT_EQ(ClassName(ws, H(ascii)), asciiClass);
    EXPECT_EQ(Title(ws, H(ascii)), "Plain title");
    EXPECT_EQ(ClassName(ws, H(japanese)), japaneseClass);
    EXPECT_EQ(Title(ws, H(japanese)), kJapaneseTitleBytes);
    EXPECT_EQ(Title(ws, H(untitled)), "");

    // A title set later, on a hidden window.
    ::ShowWindow(ascii, SW_HIDE);
    ::SetWindowTextA(ascii, "予定表");
    EXPECT_EQ(Title(ws, H(ascii)), "\x97\x5c\x92\xe8\x95\x5c");
}

TEST_F(Win32WindowSystemTest, CutsLongTextsTo254BytesOnACharacterBoundary) {
    const std::string longClass = "Torvane." + Digits(247);  // 255 bytes, the longest class name
    HWND hwnd = Create(longClass, Digits(300));
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(ClassName(ws, H(hwnd)), longClass.substr(0, 254));
    EXPECT_EQ(Title(ws, H(hwnd)), Digits(254));

    ::SetWindowTextA(hwnd, Repeat("表", 150).c_str());
    EXPECT_EQ(Title(ws, H(hwnd)), Repeat("表", 127));
    ::SetWindowTextA(hwnd, Repeat("表", 150, "a").c_str());
    EXPECT_EQ(Title(ws, H(hwnd)), Repeat("表", 126, "a")) << "253 bytes, no lone first byte";
}

TEST_F(Win32WindowSystemTest, CutsTitlesToAnyCapacity) {
    HWND hwnd = Create(Unique("Torvane.Cut"), "");
    ASSERT_TRUE(hwnd);
    for (const CutCase& c : kCutCases) {
        ::SetWindowTextA(hwnd, c.title);
        EXPECT_EQ(Title(ws, H(hwnd), c.capacity), c.expected) << "title " << Hex(c.title) << ", capacity " << c.capacity;
    }
    EXPECT_EQ(Title(ws, H(hwnd), 0), "") << "a capacity of 0 writes nothing";
}

TEST_F(Win32WindowSystemTest, TextsOfAVanishedWindowAreEmpty) {
    HWND hwnd = Create(Unique("Torvane.Gone"), "title");
    ASSERT_TRUE(hwnd);
    ::DestroyWindow(hwnd);
    EXPECT_EQ(ClassName(ws, H(hwnd)), "");
    EXPECT_EQ(Title(ws, H(hwnd)), "");
}

// --- Placement, rectangles, moves and show commands -------------------------

TEST_F(Win32WindowSystemTest, MoveWindowSetsTheOuterRectangle) {
    HWND hwnd = Create(Unique("Torvane.Move"), "move me");
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(RectOf(ws, H(hwnd)), (Rect{100, 100, 500, 400})) << "as created";

    EXPECT_TRUE(ws.MoveWindow(H(hwnd), 50, 60, 320, 240, true));
    EXPECT_EQ(RectOf(ws, H(hwnd)), (Rect{50, 60, 370, 300}));
    EXPECT_TRUE(ws.MoveWindow(H(hwnd), -20, 700, 200, 150, false));
    EXPECT_EQ(RectOf(ws, H(hwnd)), (Rect{-20, 700, 180, 850}));
    EXPECT_EQ(ShowCmd(ws, H(hwnd)), 1u);
}

TEST_F(Win32WindowSystemTest, ShowCommandsGiveTheMatchingPlacementState) {
    HWND hwnd = Create(Unique("Torvane.Show"), "show me");
    ASSERT_TRUE(hwnd);
    Placement placement;
    ASSERT_TRUE(ws.GetWindowPlacement(H(hwnd), placement));
    EXPECT_EQ(placement.length, 44u);
    EXPECT_EQ(placement.showCmd, 1u);

    ws.ShowWindow(H(hwnd), show::kMinimize);
    EXPECT_EQ(ShowCmd(ws, H(hwnd)), 2u);
    EXPECT_TRUE(::IsIconic(hwnd));

    ws.ShowWindow(H(hwnd), show::kMaximized);
    EXPECT_EQ(ShowCmd(ws, H(hwnd)), 3u);
    EXPECT_TRUE(::IsZoomed(hwnd));
    EXPECT_TRUE(Covers(RectOf(ws, H(hwnd)), WorkArea())) << Describe(RectOf(ws, H(hwnd)));

    ws.ShowWindow(H(hwnd), show::kNormal);
    EXPECT_EQ(ShowCmd(ws, H(hwnd)), 1u);
    EXPECT_EQ(RectOf(ws, H(hwnd)), (Rect{100, 100, 500, 400})) << "restored";

    ws.ShowWindow(H(hwnd), show::kMaximized);
    ws.ShowWindow(H(hwnd), show::kMinimize);
    EXPECT_EQ(ShowCmd(ws, H(hwnd)), 2u) << "minimized from maximized";
}

TEST_F(Win32WindowSystemTest, ReadsOfAVanishedWindowFailWithEmptyResults) {
    HWND hwnd = Create(Unique("Torvane.Gone"), "title");
    ASSERT_TRUE(hwnd);
    ::DestroyWindow(hwnd);
    Placement placement;
    placement.showCmd = 3;
    placement.rcNormalPosition = Rect{1, 2, 3, 4};
    EXPECT_FALSE(ws.GetWindowPlacement(H(hwnd), placement));
    EXPECT_EQ(placement, Placement{});
    Rect rect{1, 2, 3, 4};
    EXPECT_FALSE(ws.GetWindowRect(H(hwnd), rect));
    EXPECT_EQ(rect, Rect{});
    EXPECT_FALSE(ws.MoveWindow(H(hwnd), 0, 0, 100, 100, true));
}

// What MoveWindow does to a minimized or maximized window. Windows and Wine
// agree that the window keeps its state; the rectangles are printed so that
// the fake desktop can be compared with them.
void MoveInState(WindowSystem& ws, WindowHandle window, int command, const char* who) {
    ws.ShowWindow(window, show::kNormal);
    ws.MoveWindow(window, 100, 100, 400, 300, true);
    ws.ShowWindow(window, command);
    const unsigned expected = command == show::kMinimize ? 2u : 3u;
    ASSERT_EQ(ShowCmd(ws, window), expected);
    const Rect before = RectOf(ws, window);

    ws.MoveWindow(window, 200, 150, 300, 200, true);
    Placement after;
    ws.GetWindowPlacement(window, after);
    const Rect moved = RectOf(ws, window);
    EXPECT_EQ(after.showCmd, expected) << "the window keeps its state";
    EXPECT_EQ(::IsIconic(W(window)) != FALSE, expected == 2u);
    EXPECT_EQ(::IsZoomed(W(window)) != FALSE, expected == 3u);

    ws.ShowWindow(window, show::kNormal);
    const Rect restored = RectOf(ws, window);
    EXPECT_EQ(ShowCmd(ws, window), 1u);

    std::printf("[observed] %s, %s, normal (100,100)-(500,400), MoveWindow(200,150,300,200): before %s, after %s "
                "showCmd %u rcNormalPosition %s, after SW_SHOWNORMAL %s\n",
                who, expected == 2u ? "minimized" : "maximized", Describe(before).c_str(), Describe(moved).c_str(),
                static_cast<unsigned>(after.showCmd), Describe(after.rcNormalPosition).c_str(),
                Describe(restored).c_str());
}

TEST_F(Win32WindowSystemTest, MoveWindowKeepsMinimizedAndMaximizedStates) {
    HWND hwnd = Create(Unique("Torvane.State"), "state");
    ASSERT_TRUE(hwnd);
    MoveInState(ws, H(hwnd), show::kMinimize, "own window");
    MoveInState(ws, H(hwnd), show::kMaximized, "own window");
}

// --- Finding windows ------------------------------------------------------

TEST_F(Win32WindowSystemTest, FindsWindowsByClassTitleOrBoth) {
    const std::string className = Unique("Torvane.Find");
    const std::string title = Unique(kJapaneseTitle);
    HWND hwnd = Create(className, title);
    const std::string hiddenClass = Unique("Torvane.Find");
    HWND hidden = Create(hiddenClass, "", false);
    ASSERT_TRUE(hwnd && hidden);

    EXPECT_EQ(ws.FindWindowA(className.c_str(), nullptr), H(hwnd));
    EXPECT_EQ(ws.FindWindowA(nullptr, title.c_str()), H(hwnd));
    EXPECT_EQ(ws.FindWindowA(className.c_str(), title.c_str()), H(hwnd));
    EXPECT_EQ(ws.FindWindowA(hiddenClass.c_str(), nullptr), H(hidden)) << "hidden windows are found too";

    EXPECT_EQ(ws.FindWindowA(className.c_str(), "another title"), kNoWindow);
    EXPECT_EQ(ws.FindWindowA(hiddenClass.c_str(), title.c_str()), kNoWindow);
    EXPECT_EQ(ws.FindWindowA(Unique("Torvane.NoSuchClass").c_str(), nullptr), kNoWindow);
    std::string otherCase = className;
    std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    EXPECT_EQ(ws.FindWindowA(nullptr, otherCase.c_str()), kNoWindow);
}

// --- Parent, cursor and the window under a point ----------------------------

TEST_F(Win32WindowSystemTest, GetParentGivesTheOwnerOfAnOwnedPopup) {
    HWND owner = Create(Unique("Torvane.Owner"), "owner");
    HWND popup = Create(Unique("Torvane.Owned"), "owned", true, RECT{150, 150, 350, 300}, owner,
                        WS_POPUP | WS_CAPTION | WS_SYSMENU);
    ASSERT_TRUE(owner && popup);
    EXPECT_EQ(ws.GetParent(H(popup)), H(owner));
    EXPECT_EQ(ws.GetParent(H(owner)), kNoWindow);
}

TEST_F(Win32WindowSystemTest, CursorPositionAndTheWindowUnderAPoint) {
    HWND hwnd = Create(Unique("Torvane.Point"), "point", true, RECT{400, 300, 600, 450});
    ASSERT_TRUE(hwnd);
    ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(ws.WindowFromPoint(Point{500, 375}), H(hwnd));
    ::ShowWindow(hwnd, SW_HIDE);
    EXPECT_NE(ws.WindowFromPoint(Point{500, 375}), H(hwnd)) << "hidden windows are not hit";

    ASSERT_TRUE(::SetCursorPos(123, 234));
    Point point;
    EXPECT_TRUE(WaitFor([&] { return ws.GetCursorPos(point) && point == Point{123, 234}; }))
        << point.x << "," << point.y;
}

// --- Windows of another process ---------------------------------------------

class ForeignWindowTest : public Win32WindowSystemTest {
protected:
    void SetUp() override {
        className_ = Unique("Torvane.Child");
        child_ = std::make_unique<ChildWindow>(className_, kJapaneseTitle);
        ASSERT_TRUE(child_->started());
        ASSERT_TRUE(child_->WaitReady()) << "the child's window did not appear";
        window_ = ws.FindWindowA(className_.c_str(), nullptr);
        ASSERT_NE(window_, kNoWindow);
        DWORD process = 0;
        ::GetWindowThreadProcessId(W(window_), &process);
        ASSERT_EQ(process, child_->id());
    }

    std::string className_;
    std::unique_ptr<ChildWindow> child_;
    WindowHandle window_ = kNoWindow;
};

TEST_F(ForeignWindowTest, ReadsMovesShowsAndLosesTheWindow) {
    const std::vector<WindowHandle> seen = Enumerate(ws);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), window_), 1);
    EXPECT_TRUE(ws.IsWindowVisible(window_));
    EXPECT_EQ(ClassName(ws, window_), className_);
    EXPECT_EQ(Title(ws, window_), kJapaneseTitleBytes);
    EXPECT_EQ(ws.FindWindowA(className_.c_str(), kJapaneseTitle), window_);

    EXPECT_TRUE(ws.MoveWindow(window_, 60, 70, 420, 310, true));
    EXPECT_EQ(RectOf(ws, window_), (Rect{60, 70, 480, 380})) << "a move is done when the call returns";

    ws.ShowWindow(window_, show::kMinimize);
    EXPECT_EQ(ShowCmd(ws, window_), 2u);
    ws.ShowWindow(window_, show::kMaximized);
    EXPECT_EQ(ShowCmd(ws, window_), 3u);
    EXPECT_TRUE(Covers(RectOf(ws, window_), WorkArea())) << Describe(RectOf(ws, window_));
    ws.ShowWindow(window_, show::kNormal);
    EXPECT_EQ(ShowCmd(ws, window_), 1u);
    EXPECT_EQ(RectOf(ws, window_), (Rect{60, 70, 480, 380})) << "restored";

    EXPECT_EQ(child_->Close(W(window_)), 0u);
    EXPECT_FALSE(ws.IsWindowVisible(window_));
    EXPECT_EQ(Title(ws, window_), "");
    EXPECT_EQ(ClassName(ws, window_), "");
}

TEST_F(ForeignWindowTest, CutsTitlesLikeOwnWindows) {
    ::SetWindowTextA(W(window_), Digits(300).c_str());
    EXPECT_EQ(Title(ws, window_), Digits(254));
    ::SetWindowTextA(W(window_), Repeat("表", 150, "a").c_str());
    EXPECT_EQ(Title(ws, window_), Repeat("表", 126, "a")) << "253 bytes, no lone first byte";
    for (const CutCase& c : kCutCases) {
        ::SetWindowTextA(W(window_), c.title);
        EXPECT_EQ(Title(ws, window_, c.capacity), c.expected) << "title " << Hex(c.title) << ", capacity " << c.capacity;
    }
}

TEST_F(ForeignWindowTest, MoveWindowKeepsMinimizedAndMaximizedStates) {
    MoveInState(ws, window_, show::kMinimize, "other process");
    MoveInState(ws, window_, show::kMaximized, "other process");
}

// --- A window of this process whose thread does not pump -------------------

TEST_F(Win32WindowSystemTest, NeverWaitsForAnotherThreadOfThisProcess) {
    const std::string className = Unique("Torvane.Busy");
    BusyThreadWindow busy(className, kJapaneseTitle);
    ASSERT_NE(busy.hwnd(), nullptr);
    const WindowHandle window = H(busy.hwnd());
    constexpr ULONGLONG kPromptMs = 500;

    // Reads.
    ASSERT_TRUE(busy.Block());
    ULONGLONG start = Now();
    EXPECT_EQ(Title(ws, window), kJapaneseTitleBytes);
    EXPECT_EQ(Title(ws, window, 4), "表");
    EXPECT_EQ(ClassName(ws, window), className);
    EXPECT_TRUE(ws.IsWindowVisible(window));
    EXPECT_EQ(ShowCmd(ws, window), 1u);
    EXPECT_EQ(ws.FindWindowA(className.c_str(), kJapaneseTitle), window);
    EXPECT_LT(Now() - start, kPromptMs) << "reading waited for the window's thread";

    // A move, done once the thread pumps again.
    start = Now();
    ws.MoveWindow(window, 30, 40, 300, 250, true);
    EXPECT_LT(Now() - start, kPromptMs) << "MoveWindow waited for the window's thread";
    busy.Release();
    EXPECT_TRUE(WaitFor([&] { return RectOf(ws, window) == Rect{30, 40, 330, 290}; }))
        << Describe(RectOf(ws, window));

    // Show commands likewise.
    for (int command : {show::kMinimize, show::kMaximized, show::kNormal}) {
        ASSERT_TRUE(busy.Block());
        start = Now();
        ws.ShowWindow(window, command);
        EXPECT_LT(Now() - start, kPromptMs) << "ShowWindow(" << command << ") waited for the window's thread";
        busy.Release();
        const unsigned expected = command == show::kMinimize ? 2u : static_cast<unsigned>(command);
        EXPECT_TRUE(WaitFor([&] { return ShowCmd(ws, window) == expected; })) << "command " << command;
    }
    // The show state can change a moment before the rectangle does.
    EXPECT_TRUE(WaitFor([&] { return RectOf(ws, window) == Rect{30, 40, 330, 290}; }))
        << "restored to " << Describe(RectOf(ws, window)) << ", not to where it was moved";
}

}  // namespace
}  // namespace torvane

int main(int argc, char** argv) { return torvane::wine_test::RunTestProgram(argc, argv); }
