// One rule: which windows it governs and what is done to them, plus the
// run-time list of the windows bound to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "rules/fixed_text.h"
#include "rules/types.h"

namespace torvane {

// The rule's switches, one bit each, named by their settings keys.
namespace opt {
inline constexpr std::uint32_t fstforce = 1u << 0;  // correct when the rule binds a window
inline constexpr std::uint32_t movex = 1u << 1;     // the one-time correction applies `left`
inline constexpr std::uint32_t movey = 1u << 2;     // ... `top`
inline constexpr std::uint32_t sizex = 1u << 3;     // ... `width`
inline constexpr std::uint32_t sizey = 1u << 4;     // ... `height`
inline constexpr std::uint32_t lmovex = 1u << 5;    // `left` is held constantly
inline constexpr std::uint32_t lmovey = 1u << 6;    // `top` is held constantly
inline constexpr std::uint32_t lsizex = 1u << 7;    // `width` is held constantly
inline constexpr std::uint32_t lsizey = 1u << 8;    // `height` is held constantly
inline constexpr std::uint32_t msfstt = 1u << 9;    // correct on a restore from minimized or maximized
inline constexpr std::uint32_t forcestt = 1u << 10; // allow no other show state than `state`
inline constexpr std::uint32_t kAll = (1u << 11) - 1;
}  // namespace opt

// MatchMode, the value of `usclsttle`.
namespace match {
inline constexpr std::int32_t kTitle = 1;
inline constexpr std::int32_t kClass = 2;
inline constexpr std::int32_t kBoth = 3;
}  // namespace match

// ShowState, the value of `state`; anything but 1, 2 and 3 leaves the state alone.
inline constexpr std::int32_t kStateDefault = -1;

struct BoundWindow {
    static constexpr std::uint32_t kPending = 1u << 0;  // a one-time correction is due

    WindowHandle handle = kNoWindow;
    Placement lastPlacement;
    std::uint32_t flags = 0;

    bool pending() const { return (flags & kPending) != 0; }
    void setPending(bool on) { flags = on ? (flags | kPending) : (flags & ~kPending); }
};

// A run-time identity that survives copying a rule into a working copy and
// back, so that an installed table can take over the live rules' bindings.
// Never saved.
using RuleIdentity = std::uint64_t;
RuleIdentity NewRuleIdentity();

struct WindowRule {
    // Entries in binding order; a handle occurs at most once. Changed only by
    // the scan, in whole steps, while the busy flag is held.
    std::vector<BoundWindow> boundWindows;

    FixedText settingName;
    FixedText title;
    FixedText className;  // the settings key "class"
    std::int32_t usclsttle = match::kClass;
    std::int32_t state = kStateDefault;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t options = opt::fstforce;

    RuleIdentity identity = NewRuleIdentity();

    bool has(std::uint32_t bit) const { return (options & bit) != 0; }
    void set(std::uint32_t bit, bool on) { options = on ? (options | bit) : (options & ~bit); }

    // The rule as the loader starts it for a section called `name`: the name,
    // `class` equal to it, and every other value at its default.
    static WindowRule Named(std::string_view name);

    // True when the persistent parts are equal (names, texts, numbers, switches);
    // identity and bindings are run-time state and not compared.
    bool sameSettings(const WindowRule& other) const;

    // Binding list operations, each a whole step. Binding returns false, and
    // leaves the list as it was, when the handle is already there or the list
    // cannot grow.
    std::ptrdiff_t findBound(WindowHandle handle) const;
    bool bind(WindowHandle handle, const Placement& placement);
    void unbindAt(std::size_t index);
};

}  // namespace torvane
