// The text format of the settings file: the reader's rules and the writer's
// two format strings. Pure functions over bytes; the file itself is handled in
// settings_file.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/rule_table.h"
#include "rules/window_rule.h"

namespace torvane {

// The keys of the file, in the order the writer writes them; the reader takes
// them in any order. Each has its name in the file (before the "="), its
// value in a new section or in the defaults as the writer writes it, and how
// its value is written and read. The names never change: files written by
// earlier versions are read as they are.
struct SystemKey {
    std::string_view name;
    std::string_view initial;
    std::int32_t (*get)(const SystemConfig&);
    void (*set)(SystemConfig&, std::int32_t number);  // a switch takes the lowest bit
};
struct RuleKey {
    std::string_view name;
    std::string_view initial;  // for "class": the section's name
    std::string (*write)(const WindowRule&);
    void (*read)(WindowRule&, std::string_view value);
};
extern const SystemKey kSystemKeys[7];
extern const RuleKey kRuleKeys[19];

// Reads `text` as the loader does: `config` takes its defaults and then the
// values of every system section in file order; `rules` receives one rule
// per rule section, in file order. Any bytes are accepted.
void ParseSettings(std::string_view text, SystemConfig& config, std::vector<WindowRule>& rules);

// The same, as one value.
struct ParsedSettings {
    SystemConfig config;
    std::vector<WindowRule> rules;
};
ParsedSettings ParseSettings(std::string_view text);

// The whole file as the writer produces it, with CR LF line ends. Every text
// is written as StorableText makes it.
std::string FormatSettings(const SystemConfig& config, const std::vector<WindowRule>& rules);

// A text as the file can hold it: a line feed, which would end the line,
// becomes a blank; a rule's name that begins with "!", which would open an
// options section, begins with the full-width "！" instead.
std::string StorableText(std::string_view text, bool name);

// The number at the start of `text` as the C library's atoi reads it: leading
// white space, an optional sign, decimal digits up to the first other byte;
// no digits give 0. Out-of-range values stop at the 32-bit limits.
std::int32_t ReadNumber(std::string_view text);

}  // namespace torvane
