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

// The rule's switches, one bit each (the settings file's keys in brackets).
namespace opt {
inline constexpr std::uint32_t correctOnOpen = 1u << 0;     // a window is corrected when bound (fstforce)
inline constexpr std::uint32_t placeLeft = 1u << 1;         // the one-time correction applies `left` (movex)
inline constexpr std::uint32_t placeTop = 1u << 2;          // ... `top` (movey)
inline constexpr std::uint32_t placeWidth = 1u << 3;        // ... `width` (sizex)
inline constexpr std::uint32_t placeHeight = 1u << 4;       // ... `height` (sizey)
inline constexpr std::uint32_t lockLeft = 1u << 5;          // `left` is held constantly (lmovex)
inline constexpr std::uint32_t lockTop = 1u << 6;           // (lmovey)
inline constexpr std::uint32_t lockWidth = 1u << 7;         // (lsizex)
inline constexpr std::uint32_t lockHeight = 1u << 8;        // (lsizey)
inline constexpr std::uint32_t correctOnRestore = 1u << 9;  // corrected on a restore from min or max (msfstt)
inline constexpr std::uint32_t keepState = 1u << 10;        // no show state but `showState` is allowed (forcestt)
inline constexpr std::uint32_t kAll = (1u << 11) - 1;
}  // namespace opt

// Which texts of a window a rule compares (usclsttle). A hand-written file
// may hold any number: the matcher treats every value with both low bits
// set as Both, and any other value than these three as never matching.
enum class MatchMode : std::int32_t { Title = 1, Class = 2, Both = 3 };

// The show state a rule asks for (state): the platform's show commands 1, 2
// and 3; any other value, the loader's -1 first, asks for none.
inline constexpr std::int32_t kStateDefault = -1;

struct BoundWindow {
    static constexpr std::uint32_t kPending = 1u << 0;    // a one-time correction is due
    static constexpr std::uint32_t kSizeCheck = 1u << 1;  // its size is read once the correction has taken effect

    WindowHandle handle = kNoWindow;
    std::uint32_t lastShowCmd = 0;  // the show command last seen: at binding, then by the state watch
    std::uint32_t flags = 0;

    bool pending() const { return (flags & kPending) != 0; }
    void setPending(bool on) { set(kPending, on); }
    bool sizeCheck() const { return (flags & kSizeCheck) != 0; }
    void setSizeCheck(bool on) { set(kSizeCheck, on); }

private:
    void set(std::uint32_t bit, bool on) { flags = on ? (flags | bit) : (flags & ~bit); }
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

    FixedText name;  // the section's name in the file
    FixedText title;
    FixedText className;
    MatchMode matchMode = MatchMode::Class;
    std::int32_t showState = kStateDefault;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t options = opt::correctOnOpen;

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
    bool bind(WindowHandle handle, std::uint32_t showCmd);
    void unbindAt(std::size_t index);
};

// A rule's four values, each applied once (its place switch), held (its
// lock switch) or both; the file's keys of each. The file, the dialog and the
// engine read them from here.
struct Coordinate {
    std::string_view placeKey, lockKey, valueKey;
    std::uint32_t place, lock;
    std::int32_t WindowRule::*value;
};
inline constexpr Coordinate kCoordinates[4] = {
    {"movex", "lmovex", "left", opt::placeLeft, opt::lockLeft, &WindowRule::left},
    {"movey", "lmovey", "top", opt::placeTop, opt::lockTop, &WindowRule::top},
    {"sizex", "lsizex", "width", opt::placeWidth, opt::lockWidth, &WindowRule::width},
    {"sizey", "lsizey", "height", opt::placeHeight, opt::lockHeight, &WindowRule::height},
};

}  // namespace torvane
