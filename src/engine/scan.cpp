#include "engine/scan.h"

#include <algorithm>
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

namespace {

// The shell's own windows. A rule for untitled windows would take most of
// them, and moving one would take the desktop or a taskbar, and with it the
// program's own icon, out of the user's reach.
struct ShellWindow {
    const char* className;
    const char* title;  // null: any title
};
constexpr ShellWindow kShellWindows[] = {
    {kTaskbarClass, nullptr},                // the taskbar, with the notification area
    {"Shell_SecondaryTrayWnd", nullptr},     // the taskbar of every other monitor
    {"Progman", "Program Manager"},          // the desktop (a Progman of another title is a program's)
    {"WorkerW", nullptr},                    // the desktop's layers behind its icons
    {"NotifyIconOverflowWindow", nullptr},   // the notification area's hidden icons
};

}  // namespace

bool IsShellWindow(const char* className, const char* title) {
    for (const ShellWindow& shell : kShellWindows) {
        if (std::strcmp(className, shell.className) == 0 &&
            (shell.title == nullptr || std::strcmp(title, shell.title) == 0))
            return true;
    }
    return false;
}

namespace {

struct BindingPass {
    OwedAnswers& owed;
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
        int elevated = -1;  // not yet asked
        for (WindowRule& rule : rules) {
            if (!RuleMatches(rule, className, title) || rule.findBound(window) >= 0) continue;
            // Its placement is read once a command sent to it has taken effect.
            if (owed.Owes(window)) continue;
            Placement placement;
            windows.GetWindowPlacement(window, placement);
            if (!rule.bind(window, placement.showCmd)) continue;
            if (rule.has(opt::correctOnOpen)) marked = true;
            // A program that runs as administrator refuses the commands:
            // none is sent to learn it.
            if (elevated < 0) elevated = windows.Elevated(window) ? 1 : 0;
            if (elevated == 1) owed.Mark(window, OwedAnswers::Block::Refused);
        }
    }
};

bool BoundAnywhere(const std::vector<WindowRule>& rules, WindowHandle window) {
    return std::any_of(rules.begin(), rules.end(), [window](const WindowRule& r) { return r.findBound(window) >= 0; });
}

void UnbindingPass(WindowSystem& windows, std::vector<WindowRule>& rules, OwedAnswers& owed) {
    char title[WindowSystem::kTextCapacity + 1];
    for (WindowRule& rule : rules) {
        std::size_t i = 0;
        while (i < rule.boundWindows.size()) {
            const WindowHandle window = rule.boundWindows[i].handle;
            title[0] = '\0';
            windows.GetWindowTextA(window, title, WindowSystem::kTextCapacity);
            // A window a command found gone goes, even if its handle has
            // been given to a new window since.
            if (windows.IsWindowVisible(window) && StaysBound(rule, title) &&
                owed.Blocked(window) != OwedAnswers::Block::Gone) {
                ++i;
                continue;
            }
            rule.unbindAt(i);  // the next entry now stands at i
            // The record of commands keeps only the windows the rules hold.
            if (!BoundAnywhere(rules, window)) owed.Forget(window);
        }
    }
}

// The first refusing window of each rule, for the notice once per rule and run.
void NoteRefusals(WindowSystem& windows, const std::vector<WindowRule>& rules, const OwedAnswers& owed,
                  Refusals& refusals) {
    char text[WindowSystem::kTextCapacity + 1];
    for (const WindowRule& rule : rules) {
        for (const BoundWindow& bound : rule.boundWindows) {
            if (owed.Blocked(bound.handle) != OwedAnswers::Block::Refused || !refusals.Untold(rule.identity)) continue;
            text[0] = '\0';
            windows.GetWindowTextA(bound.handle, text, WindowSystem::kTextCapacity);
            if (text[0] == '\0') windows.GetClassNameA(bound.handle, text, WindowSystem::kTextCapacity);
            refusals.Add(rule.identity, rule.name.empty() ? rule.className.view() : rule.name.view(), text);
            break;
        }
    }
}

}  // namespace

bool ScanPass(Shared& shared, WindowSystem& windows) {
    bool marked = false;
    {
        BusyGuard guard = BusyGuard::tryTake(shared.busy);
        if (!guard) return false;
        std::vector<WindowRule>& rules = shared.table.rules();
        BindingPass binding{shared.owed, windows, rules, {}, {}, false};
        windows.EnumWindows(&BindingPass::Visit, &binding);
        UnbindingPass(windows, rules, shared.owed);
        NoteRefusals(windows, rules, shared.owed, shared.refusals);
        marked = binding.marked;
        shared.bound.publish([&rules](auto add) {
            for (const WindowRule& rule : rules) {
                for (const BoundWindow& b : rule.boundWindows) add(b.handle);
            }
        });
    }
    // Once the flag is free, so that the correction finds it so.
    if (marked) shared.correctionThread.wakeup.notify();
    return true;
}

}  // namespace torvane
