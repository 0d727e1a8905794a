#include "rules/rule_keys.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <utility>

namespace torvane {
namespace {

bool Lowest(std::int32_t number) { return (number & 1) != 0; }

template <std::uint32_t Bit>
constexpr RuleKey Switch(std::string_view name) {
    return {name, [](const WindowRule& r) { return std::string(r.has(Bit) ? "1" : "0"); },
            [](WindowRule& r, std::string_view v) { r.set(Bit, Lowest(ReadNumber(v))); }};
}

template <std::int32_t WindowRule::*Field>
constexpr RuleKey Number(std::string_view name) {
    return {name, [](const WindowRule& r) { return std::to_string(r.*Field); },
            [](WindowRule& r, std::string_view v) { r.*Field = ReadNumber(v); }};
}

template <FixedText WindowRule::*Field>
constexpr RuleKey Text(std::string_view name) {
    return {name, [](const WindowRule& r) { return StorableText((r.*Field).view(), false); },
            [](WindowRule& r, std::string_view v) { (r.*Field).assign(v); }};
}

// A switch of the system section: `Field` is a bool or a SharedBool.
template <auto Field>
constexpr SystemKey Flag(std::string_view name, bool (*written)(const SystemConfig&) = nullptr) {
    return {name, [](const SystemConfig& c) { return std::int32_t{c.*Field ? 1 : 0}; },
            [](SystemConfig& c, std::int32_t n) { c.*Field = Lowest(n); }, written};
}

// A rule's keys: its texts and match mode, the four coordinates' switches
// to apply them once, to hold them, and their values, then the rest.
template <std::size_t... C>
constexpr std::array<RuleKey, 19> RuleKeys(std::index_sequence<C...>) {
    return {Text<&WindowRule::className>("class"),
            Text<&WindowRule::title>("title"),
            RuleKey{"usclsttle", [](const WindowRule& r) { return std::to_string(static_cast<std::int32_t>(r.matchMode)); },
                    [](WindowRule& r, std::string_view v) { r.matchMode = static_cast<MatchMode>(ReadNumber(v)); }},
            Switch<kCoordinates[C].place>(kCoordinates[C].placeKey)...,
            Switch<kCoordinates[C].lock>(kCoordinates[C].lockKey)...,
            Number<kCoordinates[C].value>(kCoordinates[C].valueKey)...,
            Switch<opt::correctOnRestore>("msfstt"),
            Number<&WindowRule::showState>("state"),
            Switch<opt::keepState>("forcestt"),
            Switch<opt::correctOnOpen>("fstforce")};
}

}  // namespace

const SystemKey kSystemKeys[8] = {
    Flag<&SystemConfig::monitoring>("Enabled"),
    Flag<&SystemConfig::trayIcon>("TaskIcon"),
    Flag<&SystemConfig::hotkeyCtrl>("ShcutCtrl"),
    Flag<&SystemConfig::hotkeyAlt>("ShcutAlt"),
    Flag<&SystemConfig::hotkeyShift>("ShcutShift"),
    Flag<&SystemConfig::hotkeyWin>("ShcutWin"),
    {"ShcutKey", [](const SystemConfig& c) { return c.hotkeyKey; }, [](SystemConfig& c, std::int32_t n) { c.hotkeyKey = n; }},
    Flag<&SystemConfig::keepOnScreen>("KeepOnScreen", [](const SystemConfig& c) { return !c.keepOnScreen; }),
};

const std::array<RuleKey, 19> kRuleKeys = RuleKeys(std::make_index_sequence<std::size(kCoordinates)>());

std::int32_t ReadNumber(std::string_view text) {
    std::size_t i = 0;
    auto space = [](char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); };
    while (i < text.size() && space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min());
    const std::int64_t limit = negative ? kMin : kMax;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value >= limit) {
            value = limit;
            break;
        }
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::string StorableText(std::string_view text, bool name) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\n', ' ');
    if (name && !out.empty() && out[0] == '!') out.replace(0, 1, "\x81\x49");  // "！" in code page 932
    return out;
}

}  // namespace torvane
