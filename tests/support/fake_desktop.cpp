#include "support/fake_desktop.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace torvane::testing {

using Lock = std::lock_guard<std::recursive_mutex>;

WindowHandle FakeDesktop::open(const std::string& className, const std::string& title, Rect rect, bool visible,
                               WindowHandle parent, bool owned) {
    Lock lock(mutex_);
    windows_.insert(windows_.begin(), Window{next_, className, title, visible, 1, rect, rect, parent, owned, false, {}});
    next_ += 0x10;
    return windows_.front().handle;
}

void FakeDesktop::close(WindowHandle window) {
    Lock lock(mutex_);
    std::erase_if(windows_, [window](const Window& w) { return w.handle == window; });
}

void FakeDesktop::hide(WindowHandle window) {
    Lock lock(mutex_);
    if (Window* w = find(window)) w->visible = false;
}

void FakeDesktop::retitle(WindowHandle window, const std::string& title) {
    Lock lock(mutex_);
    if (Window* w = find(window)) w->title = title;
}

void FakeDesktop::userMove(WindowHandle window, Rect rect) {
    Lock lock(mutex_);
    if (Window* w = find(window)) {
        w->rect = rect;
        if (w->showCmd == show::kNormal) w->normalRect = rect;
    }
}

void FakeDesktop::userShow(WindowHandle window, int command) {
    Lock lock(mutex_);
    if (Window* w = find(window)) applyShow(*w, command);
}

void FakeDesktop::hang(WindowHandle window) {
    Lock lock(mutex_);
    if (Window* w = find(window)) w->hung = true;
}

void FakeDesktop::resume(WindowHandle window) {
    Lock lock(mutex_);
    Window* w = find(window);
    if (w == nullptr) return;
    w->hung = false;
    for (const auto& [op, r] : std::exchange(w->queued, {})) {
        if (op == 'S') applyShow(*w, r.left);
        else if (w->showCmd != show::kMinimized) userMove(window, r);
    }
}

FakeDesktop::Window FakeDesktop::window(WindowHandle window) const {
    Lock lock(mutex_);
    const Window* w = const_cast<FakeDesktop*>(this)->find(window);
    return w != nullptr ? *w : Window{};
}

std::string FakeDesktop::log() const {
    Lock lock(mutex_);
    return log_.empty() ? log_ : log_.substr(1);
}

void FakeDesktop::clearLog() {
    Lock lock(mutex_);
    log_.clear();
}

void FakeDesktop::setHook(std::function<void(char, WindowHandle)> hook) {
    Lock lock(mutex_);
    hook_ = std::move(hook);
}

std::string FakeDesktop::name(WindowHandle window) {
    const WindowHandle index = (window - kFirst) / 0x10;
    return index < 26 ? std::string(1, static_cast<char>('a' + index)) : std::string("w").append(std::to_string(index));
}

void FakeDesktop::note(char op, WindowHandle window, std::string args) {
    log_ += ' ';
    if (window != kNoWindow) log_ += name(window);
    log_ += op;
    log_ += args;
    if (hook_) hook_(op, window);
}

FakeDesktop::Window* FakeDesktop::call(char op, WindowHandle window, std::string args) {
    note(op, window, std::move(args));
    return find(window);
}

FakeDesktop::Window* FakeDesktop::find(WindowHandle window) {
    for (Window& w : windows_) {
        if (w.handle == window) return &w;
    }
    return nullptr;
}

void FakeDesktop::applyShow(Window& w, int command) {
    w.visible = true;
    if (w.showCmd == show::kNormal) w.normalRect = w.rect;
    if (command == show::kMinimize || command == show::kMinimized) {
        w.showCmd = show::kMinimized;
        w.rect = Rect{-32000, -32000, -32000 + 160, -32000 + 28};
    } else if (command == show::kMaximized) {
        w.showCmd = show::kMaximized;
        w.rect = workArea_;
    } else if (command == show::kNormal) {
        w.showCmd = show::kNormal;
        w.rect = w.normalRect;
    }
}

namespace {
int CopyText(const std::string& text, char* buffer, int capacity) {
    if (capacity <= 0) return 0;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
}  // namespace

void FakeDesktop::EnumWindows(EnumProc proc, void* context) {
    Lock lock(mutex_);
    note('E', kNoWindow);
    // The callback may change the desktop: walk the handles as they were.
    std::vector<WindowHandle> order;
    for (const Window& w : windows_) {
        if (w.parent == kNoWindow || w.owned) order.push_back(w.handle);
    }
    for (WindowHandle window : order) {
        if (!proc(window, context)) break;
    }
}

bool FakeDesktop::IsWindowVisible(WindowHandle window) {
    Lock lock(mutex_);
    const Window* w = call('V', window);
    return w != nullptr && w->visible;
}

int FakeDesktop::GetClassNameA(WindowHandle window, char* buffer, int capacity) {
    Lock lock(mutex_);
    const Window* w = call('C', window);
    return CopyText(w != nullptr ? w->className : std::string(), buffer, capacity);
}

int FakeDesktop::GetWindowTextA(WindowHandle window, char* buffer, int capacity) {
    Lock lock(mutex_);
    const Window* w = call('T', window);
    return CopyText(w != nullptr ? w->title : std::string(), buffer, capacity);
}

bool FakeDesktop::GetWindowPlacement(WindowHandle window, Placement& placement) {
    Lock lock(mutex_);
    const Window* w = call('P', window);
    if (w == nullptr) return false;
    placement = Placement{};
    placement.showCmd = static_cast<std::uint32_t>(w->showCmd);
    placement.rcNormalPosition = w->showCmd == show::kNormal ? w->rect : w->normalRect;
    return true;
}

bool FakeDesktop::GetWindowRect(WindowHandle window, Rect& rect) {
    Lock lock(mutex_);
    const Window* w = call('R', window);
    if (w != nullptr) rect = w->rect;
    return w != nullptr;
}

bool FakeDesktop::MoveWindow(WindowHandle window, int x, int y, int width, int height, bool repaint) {
    Lock lock(mutex_);
    Window* w = call('M', window, std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
                                      std::to_string(height) + (repaint ? "" : " without repainting"));
    if (w == nullptr) return false;
    if (w->hung) {
        w->queued.push_back({'M', Rect{x, y, x + width, y + height}});
        return true;
    }
    if (w->showCmd == show::kMinimized) return true;  // stays parked
    w->rect = Rect{x, y, x + width, y + height};
    if (w->showCmd == show::kNormal) w->normalRect = w->rect;
    return true;
}

bool FakeDesktop::ShowWindow(WindowHandle window, int command) {
    Lock lock(mutex_);
    Window* w = call('S', window, std::to_string(command));
    if (w == nullptr) return false;
    if (w->hung) {
        w->queued.push_back({'S', Rect{command, 0, 0, 0}});
        return true;
    }
    const bool wasVisible = w->visible;
    applyShow(*w, command);
    return wasVisible;
}

bool FakeDesktop::IsAnswering(WindowHandle window) {
    Lock lock(mutex_);
    const Window* w = find(window);
    return w == nullptr || !w->hung || w->queued.empty();
}

WindowHandle FakeDesktop::FindWindowA(const char* className, const char* title) {
    Lock lock(mutex_);
    note('F', kNoWindow);
    for (const Window& w : windows_) {
        if ((className == nullptr || w.className == className) && (title == nullptr || w.title == title))
            return w.handle;
    }
    return kNoWindow;
}

bool FakeDesktop::GetCursorPos(Point& point) {
    Lock lock(mutex_);
    note('K', kNoWindow);
    point = cursor_;
    return true;
}

WindowHandle FakeDesktop::WindowFromPoint(Point p) {
    Lock lock(mutex_);
    note('W', kNoWindow);
    // The front-most visible window under the point; children lie on their parents.
    for (const Window& w : windows_) {
        if (w.visible && p.x >= w.rect.left && p.x < w.rect.right && p.y >= w.rect.top && p.y < w.rect.bottom)
            return w.handle;
    }
    return kNoWindow;
}

WindowHandle FakeDesktop::GetParent(WindowHandle window) {
    Lock lock(mutex_);
    const Window* w = call('G', window);
    return w != nullptr ? w->parent : kNoWindow;
}

}  // namespace torvane::testing
