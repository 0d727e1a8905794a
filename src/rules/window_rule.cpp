#include "rules/window_rule.h"

#include <atomic>
#include <new>

namespace torvane {

RuleIdentity NewRuleIdentity() {
    static std::atomic<RuleIdentity> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

WindowRule WindowRule::Named(std::string_view name) {
    WindowRule rule;
    rule.name.assign(name);
    rule.className = rule.name;
    return rule;
}

bool WindowRule::sameSettings(const WindowRule& o) const {
    return name == o.name && title == o.title && className == o.className && matchMode == o.matchMode &&
           showState == o.showState && left == o.left && top == o.top && width == o.width && height == o.height &&
           options == o.options;
}

std::ptrdiff_t WindowRule::findBound(WindowHandle handle) const {
    for (std::size_t i = 0; i < boundWindows.size(); ++i) {
        if (boundWindows[i].handle == handle) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

bool WindowRule::bind(WindowHandle handle, std::uint32_t showCmd) {
    if (findBound(handle) >= 0) return false;
    BoundWindow entry;
    entry.handle = handle;
    entry.lastShowCmd = showCmd;
    entry.setPending(has(opt::correctOnOpen));
    try {
        boundWindows.push_back(entry);
    } catch (const std::bad_alloc&) {
        // The list stays as it was; the next scan pass tries the window again.
        return false;
    }
    return true;
}

void WindowRule::unbindAt(std::size_t index) {
    if (index < boundWindows.size()) boundWindows.erase(boundWindows.begin() + static_cast<std::ptrdiff_t>(index));
}

}  // namespace torvane
