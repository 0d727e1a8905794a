#include "support/fake_desktop.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace torvane::testing {

using Lock = std::lock_guard<std::recursive_mutex>;

WindowHandle FakeDesktop::open(const std::string& className, const std::string& title, Rect rect, bool visible,
                               WindowHandle parent, bool owned) {
    Lock lock(mutex_);
    windows_.insert(windows_.begin(), Window{.handle = next_, .className = className, .title = title, .visible = visible,
                                             .rect = rect, .normalRect = rect, .parent = parent, .owned = owned});
    next_ += 0x10;
    return windows_.front().handle;
}

void FakeDesktop::close(WindowHandle window) {
    Lock lock(mutex_);
    if (Window* w = find(window)) {
        // The system answers for a window that is destroyed.
        for (const Window::Posted& p : w->queue) {
            if (p.op == 'A') answers_[p.thread].emplace_back(p.owed, w->handle);
        }
    }
    std::erase_if(windows_, [window](const Window& w) { return w.handle == window; });
}

void FakeDesktop::userMove(WindowHandle window, Rect rect) {
    Lock lock(mutex_);
    if (Window* w = find(window)) {
        w->rect = rect;
        if (w->showCmd == show::kNormal) w->normalRect = rect;
    }
}

void FakeDesktop::settle() {
    Lock lock(mutex_);
    for (Window& w : windows_) {
        if (!w.hung) run(w);
    }
}

namespace {
// `now` with the parts of `to` that a move sets.
Rect Moved(const Rect& now, const Rect& to, int parts) {
    const int x = (parts & WindowSystem::kPosition) ? to.left : now.left;
    const int y = (parts & WindowSystem::kPosition) ? to.top : now.top;
    const int width = (parts & WindowSystem::kSize) ? to.right - to.left : now.right - now.left;
    const int height = (parts & WindowSystem::kSize) ? to.bottom - to.top : now.bottom - now.top;
    return Rect{x, y, x + width, y + height};
}
}  // namespace

void FakeDesktop::run(Window& w) {
    for (const Window::Posted& p : std::exchange(w.queue, {})) {
        if (p.op == 'S') applyShow(w, p.command);
        else if (p.op == 'M' && w.showCmd != show::kMinimized) {
            Rect to = Moved(w.rect, p.rect, w.fixedSize ? p.command & ~WindowSystem::kSize : p.command);
            // A window aware of the DPI takes the size the new monitor's scale gives it.
            const int from = dpis_[std::max(monitorAt(w.rect), 0)], onto = dpis_[std::max(monitorAt(to), 0)];
            if (w.dpiAware && from != onto) {
                to.right = to.left + (to.right - to.left) * onto / from;
                to.bottom = to.top + (to.bottom - to.top) * onto / from;
            }
            userMove(w.handle, to);
        }
        else if (p.op == 'A') answers_[p.thread].emplace_back(p.owed, w.handle);
    }
}

std::string FakeDesktop::takeSent(WindowHandle window) {
    Lock lock(mutex_);
    Window* w = find(window);
    return w != nullptr ? std::exchange(w->sent, {}) : std::string();
}

FakeDesktop::Window FakeDesktop::window(WindowHandle window) const {
    Lock lock(mutex_);
    const Window* w = const_cast<FakeDesktop*>(this)->find(window);
    return w != nullptr ? *w : Window{};
}

WindowHandle FakeDesktop::frontmost(const std::string& className) const {
    Lock lock(mutex_);
    for (const Window& w : windows_) {
        if (w.className == className) return w.handle;
    }
    return kNoWindow;
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

CommandResult FakeDesktop::command(Window* w, Window::Posted posted, const std::string& logged) {
    if (w == nullptr) return CommandResult::Gone;
    if (w->vanishing) {
        close(w->handle);
        return CommandResult::Gone;
    }
    if (!logged.empty()) w->sent += (w->sent.empty() ? "" : " ") + logged;  // tried
    if (w->refusing || w->elevated) return CommandResult::Refused;
    if (w->full) return CommandResult::Busy;
    w->queue.push_back(posted);
    return CommandResult::Sent;
}

CommandResult FakeDesktop::MoveWindow(WindowHandle window, const Rect& to, MoveParts parts) {
    Lock lock(mutex_);
    const std::string args =
        ((parts & kPosition) ? std::to_string(to.left) + "," + std::to_string(to.top) : "-,-") + "," +
        ((parts & kSize) ? std::to_string(to.right - to.left) + "," + std::to_string(to.bottom - to.top) : "-,-");
    return command(call('M', window, args), {'M', to, static_cast<int>(parts), nullptr, {}}, "M" + args);
}

CommandResult FakeDesktop::ShowWindow(WindowHandle window, int command) {
    Lock lock(mutex_);
    return this->command(call('S', window, std::to_string(command)), {'S', Rect{}, command, nullptr, {}},
                         "S" + std::to_string(command));
}

CommandResult FakeDesktop::AwaitAnswer(WindowHandle window, OwedAnswers& owed) {
    Lock lock(mutex_);
    return command(find(window), {'A', Rect{}, 0, &owed, std::this_thread::get_id()}, "");
}

void FakeDesktop::dropAnswers(const OwedAnswers* owed) {
    Lock lock(mutex_);
    for (Window& w : windows_) std::erase_if(w.queue, [owed](const Window::Posted& p) { return p.op == 'A' && p.owed == owed; });
    for (auto& [thread, answers] : answers_) std::erase_if(answers, [owed](const auto& a) { return a.first == owed; });
}

void FakeDesktop::change(WindowHandle window, const std::function<void(Window&)>& how) {
    Lock lock(mutex_);
    if (Window* w = find(window)) how(*w);
}

int FakeDesktop::monitorAt(const Rect& rect) const {
    const int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    const auto at = std::find_if(monitors_.begin(), monitors_.end(), [&](const Monitor& m) {
        return x >= m.area.left && x < m.area.right && y >= m.area.top && y < m.area.bottom;
    });
    return at == monitors_.end() ? -1 : static_cast<int>(at - monitors_.begin());
}

void FakeDesktop::CollectAnswers() {
    ++waiting_;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3); stalled_ && !stalledLong_;) {
        stalledLong_ = std::chrono::steady_clock::now() > end;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --waiting_;
    std::vector<std::pair<OwedAnswers*, WindowHandle>> mine;
    {
        Lock lock(mutex_);
        if (live_) settle();
        auto it = answers_.find(std::this_thread::get_id());
        if (it != answers_.end()) mine = std::exchange(it->second, {});
    }
    for (const auto& [owed, window] : mine) owed->Answered(window);
}

bool FakeDesktop::WatchEvents(WindowEventHandler handler, void* context) {
    Lock lock(mutex_);
    events_ = handler;
    eventContext_ = context;
    return true;
}

void FakeDesktop::fire(WindowEvent event, WindowHandle window) {
    // Under the lock: once watching has stopped, no call is under way.
    Lock lock(mutex_);
    if (events_ != nullptr) events_(eventContext_, event, window);
}

int FakeDesktop::ReadMonitors(Monitor* out, int capacity) {
    Lock lock(mutex_);
    const int count = static_cast<int>(monitors_.size());
    std::copy_n(monitors_.begin(), std::min(count, capacity), out);
    return count;
}

void FakeDesktop::setMonitors(const std::vector<Rect>& areas, const std::vector<int>& dpis) {
    {
        Lock lock(mutex_);
        monitors_.clear();
        dpis_ = dpis;
        dpis_.resize(areas.size(), 96);
        for (const Rect& a : areas) monitors_.push_back({a, monitors_.empty() ? Rect{a.left, a.top, a.right, a.bottom - 20} : a});
        workArea_ = monitors_.front().work;
        for (Window& w : windows_) {
            if (monitorAt(w.rect) >= 0 || w.showCmd != show::kNormal) continue;
            userMove(w.handle, Rect{workArea_.left, workArea_.top, workArea_.left + w.rect.right - w.rect.left,
                                    workArea_.top + w.rect.bottom - w.rect.top});
        }
    }
    fire(WindowEvent::DisplaysChanged, kNoWindow);
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
