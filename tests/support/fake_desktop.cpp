#include "support/fake_desktop.h"

#include <algorithm>
#include <cstring>
#include <ostream>

namespace torvane::testing {

namespace {
constexpr int kParked = -32000;
constexpr int kMinimizedWidth = 160;
constexpr int kMinimizedHeight = 28;
}  // namespace

WindowHandle FakeDesktop::open(const std::string& className, const std::string& title, Rect rect, bool visible) {
    std::lock_guard lock(mutex_);
    Window w;
    w.handle = nextHandle_;
    nextHandle_ += 0x10;
    w.className = className;
    w.title = title;
    w.visible = visible;
    w.rect = rect;
    w.normalRect = rect;
    windows_.insert(windows_.begin(), w);
    return w.handle;
}

void FakeDesktop::close(WindowHandle window) {
    std::lock_guard lock(mutex_);
    windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                  [window](const Window& w) { return w.handle == window; }),
                   windows_.end());
}

void FakeDesktop::hide(WindowHandle window) {
    std::lock_guard lock(mutex_);
    if (Window* w = find(window)) w->visible = false;
}

void FakeDesktop::show(WindowHandle window) {
    std::lock_guard lock(mutex_);
    if (Window* w = find(window)) w->visible = true;
}

void FakeDesktop::retitle(WindowHandle window, const std::string& title) {
    std::lock_guard lock(mutex_);
    if (Window* w = find(window)) w->title = title;
}

void FakeDesktop::userMove(WindowHandle window, Rect rect) {
    std::lock_guard lock(mutex_);
    if (Window* w = find(window)) {
        w->rect = rect;
        if (w->showCmd == show::kNormal) w->normalRect = rect;
    }
}

void FakeDesktop::userShow(WindowHandle window, int command) {
    std::lock_guard lock(mutex_);
    if (Window* w = find(window)) applyShow(*w, command);
}

FakeDesktop::Window FakeDesktop::window(WindowHandle window) const {
    std::lock_guard lock(mutex_);
    const Window* w = find(window);
    return w != nullptr ? *w : Window{};
}

std::vector<FakeDesktop::Call> FakeDesktop::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<FakeDesktop::Call> FakeDesktop::callsFor(WindowHandle window) const {
    std::lock_guard lock(mutex_);
    std::vector<Call> out;
    for (const Call& c : calls_) {
        if (c.window == window) out.push_back(c);
    }
    return out;
}

void FakeDesktop::clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void FakeDesktop::setHook(std::function<void(const Call&)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

void FakeDesktop::record(const Call& call) {
    if (recording_) calls_.push_back(call);
    if (hook_) hook_(call);
}

FakeDesktop::Window* FakeDesktop::find(WindowHandle window) {
    for (Window& w : windows_) {
        if (w.handle == window) return &w;
    }
    return nullptr;
}

const FakeDesktop::Window* FakeDesktop::find(WindowHandle window) const {
    return const_cast<FakeDesktop*>(this)->find(window);
}

void FakeDesktop::applyShow(Window& w, int command) {
    w.visible = true;
    const int before = w.showCmd;
    if (before == show::kNormal) w.normalRect = w.rect;
    switch (command) {
        case show::kMinimize:
        case show::kMinimized:
            w.showCmd = show::kMinimized;
            w.rect = Rect{kParked, kParked, kParked + kMinimizedWidth, kParked + kMinimizedHeight};
            break;
        case show::kMaximized:
            w.showCmd = show::kMaximized;
            w.rect = workArea_;
            break;
        case show::kNormal:
            w.showCmd = show::kNormal;
            w.rect = w.normalRect;
            break;
        default:
            break;
    }
}

int FakeDesktop::CopyText(const std::string& text, char* buffer, int capacity) {
    if (capacity <= 0) return 0;
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

void FakeDesktop::EnumWindows(EnumProc proc, void* context) {
    std::lock_guard lock(mutex_);
    record({Op::EnumWindows});
    // The callback may change the desktop; walk a snapshot of the handles in
    // z-order, as the platform does. The buffer is kept, so that a steady
    // desktop costs no allocation.
    enumOrder_.clear();
    for (const Window& w : windows_) enumOrder_.push_back(w.handle);
    for (std::size_t i = 0; i < enumOrder_.size(); ++i) {
        if (!proc(enumOrder_[i], context)) break;
    }
}

bool FakeDesktop::IsWindowVisible(WindowHandle window) {
    std::lock_guard lock(mutex_);
    record({Op::IsWindowVisible, window});
    const Window* w = find(window);
    return w != nullptr && w->visible;
}

int FakeDesktop::GetClassNameA(WindowHandle window, char* buffer, int capacity) {
    std::lock_guard lock(mutex_);
    record({Op::GetClassNameA, window, capacity});
    const Window* w = find(window);
    return CopyText(w != nullptr ? w->className : std::string(), buffer, capacity);
}

int FakeDesktop::GetWindowTextA(WindowHandle window, char* buffer, int capacity) {
    std::lock_guard lock(mutex_);
    record({Op::GetWindowTextA, window, capacity});
    const Window* w = find(window);
    return CopyText(w != nullptr ? w->title : std::string(), buffer, capacity);
}

bool FakeDesktop::GetWindowPlacement(WindowHandle window, Placement& placement) {
    std::lock_guard lock(mutex_);
    record({Op::GetWindowPlacement, window});
    const Window* w = find(window);
    if (w == nullptr) return false;
    placement = Placement{};
    placement.showCmd = static_cast<std::uint32_t>(w->showCmd);
    placement.ptMinPosition = {-1, -1};
    placement.ptMaxPosition = {-1, -1};
    placement.rcNormalPosition = w->showCmd == show::kNormal ? w->rect : w->normalRect;
    return true;
}

bool FakeDesktop::GetWindowRect(WindowHandle window, Rect& rect) {
    std::lock_guard lock(mutex_);
    record({Op::GetWindowRect, window});
    const Window* w = find(window);
    if (w == nullptr) return false;
    rect = w->rect;
    return true;
}

bool FakeDesktop::MoveWindow(WindowHandle window, int x, int y, int width, int height, bool /*repaint*/) {
    std::lock_guard lock(mutex_);
    record({Op::MoveWindow, window, x, y, width, height});
    Window* w = find(window);
    if (w == nullptr) return false;
    if (w->showCmd == show::kMinimized) return true;  // stays parked
    w->rect = Rect{x, y, x + width, y + height};
    if (w->showCmd == show::kNormal) w->normalRect = w->rect;
    return true;
}

bool FakeDesktop::ShowWindow(WindowHandle window, int command) {
    std::lock_guard lock(mutex_);
    record({Op::ShowWindow, window, command});
    Window* w = find(window);
    if (w == nullptr) return false;
    const bool wasVisible = w->visible;
    applyShow(*w, command);
    return wasVisible;
}

WindowHandle FakeDesktop::FindWindowA(const char* className, const char* title) {
    std::lock_guard lock(mutex_);
    record({Op::FindWindowA});
    for (const Window& w : windows_) {
        if (className != nullptr && w.className != className) continue;
        if (title != nullptr && w.title != title) continue;
        return w.handle;
    }
    return kNoWindow;
}

bool FakeDesktop::GetCursorPos(Point& point) {
    std::lock_guard lock(mutex_);
    record({Op::GetCursorPos});
    point = cursor_;
    return true;
}

WindowHandle FakeDesktop::WindowFromPoint(Point point) {
    std::lock_guard lock(mutex_);
    record({Op::WindowFromPoint, kNoWindow, point.x, point.y});
    for (const Window& w : windows_) {
        if (w.visible && point.x >= w.rect.left && point.x < w.rect.right && point.y >= w.rect.top &&
            point.y < w.rect.bottom) {
            return w.handle;
        }
    }
    return kNoWindow;
}

WindowHandle FakeDesktop::GetParent(WindowHandle window) {
    std::lock_guard lock(mutex_);
    record({Op::GetParent, window});
    const Window* w = find(window);
    return w != nullptr ? w->parent : kNoWindow;
}

const char* OpName(FakeDesktop::Op op) {
    switch (op) {
        case FakeDesktop::Op::EnumWindows: return "EnumWindows";
        case FakeDesktop::Op::IsWindowVisible: return "IsWindowVisible";
        case FakeDesktop::Op::GetClassNameA: return "GetClassNameA";
        case FakeDesktop::Op::GetWindowTextA: return "GetWindowTextA";
        case FakeDesktop::Op::GetWindowPlacement: return "GetWindowPlacement";
        case FakeDesktop::Op::GetWindowRect: return "GetWindowRect";
        case FakeDesktop::Op::MoveWindow: return "MoveWindow";
        case FakeDesktop::Op::ShowWindow: return "ShowWindow";
        case FakeDesktop::Op::FindWindowA: return "FindWindowA";
        case FakeDesktop::Op::GetCursorPos: return "GetCursorPos";
        case FakeDesktop::Op::WindowFromPoint: return "WindowFromPoint";
        case FakeDesktop::Op::GetParent: return "GetParent";
    }
    return "?";
}

void PrintTo(const FakeDesktop::Call& call, std::ostream* os) {
    *os << OpName(call.op) << "(0x" << std::hex << call.window << std::dec << ", " << call.a << ", " << call.b
        << ", " << call.c << ", " << call.d << ")";
}

}  // namespace torvane::testing
