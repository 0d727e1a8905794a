#include "engine/scan.h"

#include <cstring>
#include <vector>

namespace torvane {

bool RuleMatches(const WindowRule& rule, const char* className, const char* title) {
    const MatchMode mode = rule.matchMode;
    if (mode == MatchMode::Class) return rule.className.equals(className);
    if (mode == MatchMode::Title) return rule.title.equals(title);
    if ((static_cast<std::int32_t>(mode) & 3) == 3) return rule.title.equals(title) && rule.className.equals(className);
    return false;
}

bool StaysBound(const WindowRule& rule, const char* title) {
    return (static_cast<std::int32_t>(rule.matchMode) & 1) == 0 || rule.title.equals(title);
}

bool IsShellWindow(const char* className, const char* title) {
    return std::strcmp(className, "Shell_TrayWnd") == 0 ||
           (std::strcmp(className, "Progman") == 0 && std::strcmp(title, "Program Manager") == 0);
}

namespace {

struct BindingPass {
    const OwedAnswers& owed;
    WindowSystem& windows;
    std::vector<WindowRule>& rules;
    char className[WindowSystem::kTextCapacity + 1];
    char title[WindowSystem::kTextCapacity + 1];
    bool marked = false;

    static bool Visit(WindowHandle window, void* context) {
        static_cast<BindingPass*>(context)->bindWindow(window);
        return true;
    }

    void bindWindow(WindowHandle window) {
        if (!windows.IsWindowVisible(window)) return;
        className[0] = '\0';
        title[0] = '\0';
        windows.GetClassNameA(window, className, WindowSystem::kTextCapacity);
        windows.GetWindowTextA(window, title, WindowSystem::kTextCapacity);
        if (IsShellWindow(className, title)) return;
        for (WindowRule& rule : rules) {
            if (!RuleMatches(rule, className, title) || rule.findBound(window) >= 0) continue;
            // Its placement is read once a command sent to it has taken effect.
            if (owed.Owes(window)) continue;
            Placement placement;
            windows.GetWindowPlacement(window, placement);
            if (rule.bind(window, placement.showCmd) && rule.has(opt::correctOnOpen)) marked = true;
        }
    }
};

void UnbindingPass(WindowSystem& windows, std::vector<WindowRule>& rules) {
    char title[WindowSystem::kTextCapacity + 1];
    for (WindowRule& rule : rules) {
        std::size_t i = 0;
        while (i < rule.boundWindows.size()) {
            const WindowHandle window = rule.boundWindows[i].handle;
            title[0] = '\0';
            windows.GetWindowTextA(window, title, WindowSystem::kTextCapacity);
            if (windows.IsWindowVisible(window) && StaysBound(rule, title)) {
                ++i;
            } else {
                rule.unbindAt(i);  // the next entry now stands at i
            }
        }
    }
}

}  // namespace

int ScanPass(Shared& shared, WindowSystem& windows) {
    bool marked = false;
    {
        BusyGuard guard = BusyGuard::tryTake(shared.busy);
        if (!guard) return 0;
        std::vector<WindowRule>& rules = shared.table.rules();
        BindingPass binding{shared.owed, windows, rules, {}, {}, false};
        windows.EnumWindows(&BindingPass::Visit, &binding);
        UnbindingPass(windows, rules);
        marked = binding.marked;
        shared.bound.publish([&rules](auto add) {
            for (const WindowRule& rule : rules) {
                for (const BoundWindow& b : rule.boundWindows) add(b.handle);
            }
        });
    }
    // Once the flag is free, so that the correction finds it so.
    if (marked) shared.correctionWakeup.notify();
    return 1;
}

}  // namespace torvane
