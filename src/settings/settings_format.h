// The text format of the settings file: lines, sections and the keys of
// rules/rule_keys.h. Pure functions over bytes; the file itself is handled in
// settings_file.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/rule_keys.h"
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

}  // namespace torvane
