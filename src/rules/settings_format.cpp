#include "rules/settings_format.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace torvane {
namespace {

// One line of the file without its line end. Only a real line end is taken
// off: LF or CR LF. The last line of a file without a final line end keeps
// all of its bytes. A line is read whole, however long it is.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) {
            line = text_.substr(pos_);
            pos_ = text_.size();
            return true;
        }
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool IsSectionHeader(std::string_view line) { return !line.empty() && line[0] == '['; }
bool IsSystemHeader(std::string_view line) { return line.size() >= 2 && line[1] == '!'; }

// When `line` begins with `name` and "=", gives the rest of the line.
bool Value(std::string_view line, std::string_view name, std::string_view& rest) {
    if (line.size() <= name.size() || line.substr(0, name.size()) != name || line[name.size()] != '=') return false;
    rest = line.substr(name.size() + 1);
    return true;
}

void ApplySystemLine(std::string_view line, SystemConfig& c) {
    std::string_view v;
    for (const SystemKey& key : kSystemKeys) {
        if (Value(line, key.name, v)) return key.set(c, ReadNumber(v));
    }
}

void ApplyRuleLine(std::string_view line, WindowRule& r) {
    std::string_view v;
    for (const RuleKey& key : kRuleKeys) {
        if (Value(line, key.name, v)) return key.read(r, v);
    }
}

bool Lowest(std::int32_t number) { return (number & 1) != 0; }

template <std::uint32_t Bit>
constexpr RuleKey Switch(std::string_view name, std::string_view initial) {
    return {name, initial, [](const WindowRule& r) { return std::string(r.has(Bit) ? "1" : "0"); },
            [](WindowRule& r, std::string_view v) { r.set(Bit, Lowest(ReadNumber(v))); }};
}

template <std::int32_t WindowRule::*Field>
constexpr RuleKey Number(std::string_view name, std::string_view initial) {
    return {name, initial, [](const WindowRule& r) { return std::to_string(r.*Field); },
            [](WindowRule& r, std::string_view v) { r.*Field = ReadNumber(v); }};
}

template <FixedText WindowRule::*Field>
constexpr RuleKey Text(std::string_view name) {
    return {name, "", [](const WindowRule& r) { return StorableText((r.*Field).view(), false); },
            [](WindowRule& r, std::string_view v) { (r.*Field).assign(v); }};
}

// The section name: the header from its second byte, without its last byte
// (the closing bracket of a header the writer wrote).
std::string_view SectionName(std::string_view header) {
    if (header.size() < 2) return header.substr(0, 0);  // empty, but never a null view
    return header.substr(1, header.size() - 2);
}

}  // namespace

// A switch of the system section: `Field` is a bool or a SharedBool.
template <auto Field>
constexpr SystemKey Flag(std::string_view name, std::string_view initial) {
    return {name, initial, [](const SystemConfig& c) { return std::int32_t{c.*Field ? 1 : 0}; },
            [](SystemConfig& c, std::int32_t n) { c.*Field = Lowest(n); }};
}

const SystemKey kSystemKeys[7] = {
    Flag<&SystemConfig::monitoring>("Enabled", "1"),
    Flag<&SystemConfig::trayIcon>("TaskIcon", "1"),
    Flag<&SystemConfig::hotkeyCtrl>("ShcutCtrl", "1"),
    Flag<&SystemConfig::hotkeyAlt>("ShcutAlt", "1"),
    Flag<&SystemConfig::hotkeyShift>("ShcutShift", "1"),
    Flag<&SystemConfig::hotkeyWin>("ShcutWin", "0"),
    {"ShcutKey", "32", [](const SystemConfig& c) { return c.hotkeyKey; },
     [](SystemConfig& c, std::int32_t n) { c.hotkeyKey = n; }},
};

const RuleKey kRuleKeys[19] = {
    Text<&WindowRule::className>("class"),
    Text<&WindowRule::title>("title"),
    {"usclsttle", "2", [](const WindowRule& r) { return std::to_string(static_cast<std::int32_t>(r.matchMode)); },
     [](WindowRule& r, std::string_view v) { r.matchMode = static_cast<MatchMode>(ReadNumber(v)); }},
    Switch<opt::placeLeft>("movex", "0"),
    Switch<opt::placeTop>("movey", "0"),
    Switch<opt::placeWidth>("sizex", "0"),
    Switch<opt::placeHeight>("sizey", "0"),
    Switch<opt::lockLeft>("lmovex", "0"),
    Switch<opt::lockTop>("lmovey", "0"),
    Switch<opt::lockWidth>("lsizex", "0"),
    Switch<opt::lockHeight>("lsizey", "0"),
    Number<&WindowRule::left>("left", "0"),
    Number<&WindowRule::top>("top", "0"),
    Number<&WindowRule::width>("width", "0"),
    Number<&WindowRule::height>("height", "0"),
    Switch<opt::correctOnRestore>("msfstt", "0"),
    Number<&WindowRule::showState>("state", "-1"),
    Switch<opt::keepState>("forcestt", "0"),
    Switch<opt::correctOnOpen>("fstforce", "1"),
};

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

void ParseSettings(std::string_view text, SystemConfig& config, std::vector<WindowRule>& rules) {
    config = SystemConfig::Defaults();
    rules.clear();

    // First pass: the system sections, and the number of rule sections, so that
    // the table is allocated once at its exact size.
    std::size_t ruleCount = 0;
    {
        LineReader reader(text);
        std::string_view line;
        bool inSystem = false;
        while (reader.next(line)) {
            if (IsSectionHeader(line)) {
                inSystem = IsSystemHeader(line);
                if (!inSystem) ++ruleCount;
            } else if (inSystem) {
                ApplySystemLine(line, config);
            }
        }
    }
    rules.reserve(ruleCount);

    // Second pass: the k-th rule section fills rule k.
    LineReader reader(text);
    std::string_view line;
    WindowRule* current = nullptr;
    while (reader.next(line)) {
        if (IsSectionHeader(line)) {
            current = nullptr;
            if (!IsSystemHeader(line)) {
                rules.push_back(WindowRule::Named(SectionName(line)));
                current = &rules.back();
            }
        } else if (current != nullptr) {
            ApplyRuleLine(line, *current);
        }
    }
}

ParsedSettings ParseSettings(std::string_view text) {
    ParsedSettings parsed;
    ParseSettings(text, parsed.config, parsed.rules);
    return parsed;
}

std::string StorableText(std::string_view text, bool name) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\n', ' ');
    if (name && !out.empty() && out[0] == '!') out.replace(0, 1, "\x81\x49");  // "！" in code page 932
    return out;
}

std::string FormatSettings(const SystemConfig& c, const std::vector<WindowRule>& rules) {
    std::string out = "[!SystemConfig]\r\n";
    for (const SystemKey& key : kSystemKeys) out.append(key.name).append("=").append(std::to_string(key.get(c))).append("\r\n");
    for (const WindowRule& r : rules) {
        out.append("[").append(StorableText(r.name.view(), true)).append("]\r\n");
        for (const RuleKey& key : kRuleKeys) out.append(key.name).append("=").append(key.write(r)).append("\r\n");
    }
    return out;
}

}  // namespace torvane
