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
