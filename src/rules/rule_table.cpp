#include "rules/rule_table.h"

#include <algorithm>
#include <utility>

namespace torvane {

SystemConfig SystemConfig::Defaults() {
    SystemConfig c;
    c.monitoring = true;
    c.trayIcon = true;
    c.hotkeyCtrl = true;
    c.hotkeyAlt = true;
    c.hotkeyShift = true;
    c.hotkeyWin = false;
    c.hotkeyKey = 32;  // the space bar
    c.keepOnScreen = true;
    return c;
}

bool operator==(const SystemConfig& a, const SystemConfig& b) {
    return a.monitoring.load() == b.monitoring.load() && a.trayIcon.load() == b.trayIcon.load() &&
           a.hotkeyCtrl == b.hotkeyCtrl && a.hotkeyAlt == b.hotkeyAlt && a.hotkeyShift == b.hotkeyShift &&
           a.hotkeyWin == b.hotkeyWin && a.hotkeyKey == b.hotkeyKey && a.keepOnScreen.load() == b.keepOnScreen.load();
}

void RuleTable::install(std::vector<WindowRule> rules) {
    rules.shrink_to_fit();
    std::vector<WindowRule> old = std::exchange(rules_, std::move(rules));
    count_.store(static_cast<std::int32_t>(rules_.size()), std::memory_order_release);
    // `old` and every list in it are released here.
}

void RuleTable::installKeepingBindings(std::vector<WindowRule> rules) {
    // Live rules by identity, so that a large table is matched in n log n.
    std::vector<std::pair<RuleIdentity, std::size_t>> live;
    live.reserve(rules_.size());
    for (std::size_t i = 0; i < rules_.size(); ++i) live.emplace_back(rules_[i].identity, i);
    std::sort(live.begin(), live.end());

    std::vector<bool> taken(rules_.size(), false);
    for (WindowRule& rule : rules) {
        rule.boundWindows.clear();
        auto it = std::lower_bound(live.begin(), live.end(), std::make_pair(rule.identity, std::size_t{0}));
        if (it == live.end() || it->first != rule.identity) continue;
        // A rule duplicated in the copy takes the list once; the second starts empty.
        if (taken[it->second]) continue;
        taken[it->second] = true;
        rule.boundWindows = std::move(rules_[it->second].boundWindows);
    }
    install(std::move(rules));
}

}  // namespace torvane
