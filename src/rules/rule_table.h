// The ordered rule table and the global options.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "rules/types.h"
#include "rules/window_rule.h"

namespace torvane {

// A boolean word that one thread writes and others read without the busy flag.
// Copying takes a snapshot, so that option records stay plain values.
class SharedBool {
public:
    SharedBool(bool v = false) : v_(v) {}  // NOLINT(google-explicit-constructor)
    SharedBool(const SharedBool& o) : v_(o.load()) {}
    SharedBool& operator=(const SharedBool& o) {
        store(o.load());
        return *this;
    }
    SharedBool& operator=(bool v) {
        store(v);
        return *this;
    }
    bool load() const { return v_.load(std::memory_order_acquire); }
    void store(bool v) { v_.store(v, std::memory_order_release); }
    operator bool() const { return load(); }  // NOLINT(google-explicit-constructor)

private:
    std::atomic<bool> v_;
};

// The global options, the settings section "[!SystemConfig]" (its keys in
// brackets). Every field is zero until the settings are loaded; Defaults()
// are the loader's values.
struct SystemConfig {
    SharedBool monitoring;  // the workers do their work (Enabled); read by them every cycle
    SharedBool trayIcon;    // the tray icon is shown (TaskIcon); read by the scan worker
    // The hotkey that corrects now: its modifiers and its virtual-key code
    // (ShcutCtrl, ShcutAlt, ShcutShift, ShcutWin, ShcutKey).
    bool hotkeyCtrl = false;
    bool hotkeyAlt = false;
    bool hotkeyShift = false;
    bool hotkeyWin = false;
    std::int32_t hotkeyKey = 0;
    // No correction puts a window where no monitor shows its title bar, and
    // the windows are put back after the displays change (KeepOnScreen).
    SharedBool keepOnScreen;

    static SystemConfig Defaults();
    friend bool operator==(const SystemConfig& a, const SystemConfig& b);
};

class RuleTable {
public:
    // The rule count, read without the busy flag as the bound of a worker's
    // loop; under the flag a step checks its index against it again.
    std::int32_t count() const { return count_.load(std::memory_order_acquire); }

    // Everything below only while holding the busy flag.
    std::vector<WindowRule>& rules() { return rules_; }
    const std::vector<WindowRule>& rules() const { return rules_; }
    WindowRule& operator[](std::size_t i) { return rules_[i]; }
    const WindowRule& operator[](std::size_t i) const { return rules_[i]; }

    // A working copy: the same rules with identities kept and lists of its own.
    std::vector<WindowRule> copy() const { return rules_; }

    // Replaces the whole table; the old rules and their lists are released.
    void install(std::vector<WindowRule> rules);

    // Replaces the whole table. Every installed rule that came from a live rule
    // (same identity) takes over that live rule's current bound-window list;
    // any other installed rule starts with an empty list. The lists of live
    // rules that are not installed go with the old table.
    void installKeepingBindings(std::vector<WindowRule> rules);

    // Releases every rule and its list; the count becomes 0.
    void release() { install({}); }

private:
    std::vector<WindowRule> rules_;
    std::atomic<std::int32_t> count_{0};
};

}  // namespace torvane
