// Small pieces the engine's tests and benchmarks share.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/workers.h"
#include "rules/window_rule.h"

namespace torvane::testing {

// The four switches of the one-time move and size.
inline constexpr std::uint32_t kMoveAll = opt::placeLeft | opt::placeTop | opt::placeWidth | opt::placeHeight;

// A rule for the class `className` with the given switches and target rectangle.
inline WindowRule RuleFor(std::string_view className, std::uint32_t options, Rect target) {
    WindowRule rule = WindowRule::Named(className);
    rule.options = options;
    rule.left = target.left;
    rule.top = target.top;
    rule.width = target.right - target.left;
    rule.height = target.bottom - target.top;
    return rule;
}

// A tray icon that is not there.
class NoTray final : public TrayIconHost {
public:
    void AddTrayIcon() override {}
    void RefusalsWaiting() override {}
};

}  // namespace torvane::testing
