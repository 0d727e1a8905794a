// The keys of the settings file, one table each for the options' section and
// for a rule's: each key's name in the file and how its value is written and
// read. The reader, the writer and the tests take the keys from here, and
// only here are the file's names (usclsttle, fstforce, lmovex, ShcutKey).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "rules/rule_table.h"
#include "rules/window_rule.h"

namespace torvane {

// The keys in the order the writer writes them; the reader takes them in any
// order. The names never change: files written by earlier versions are read
// as they are.
struct SystemKey {
    std::string_view name;
    std::int32_t (*get)(const SystemConfig&);
    void (*set)(SystemConfig&, std::int32_t number);  // a switch takes the lowest bit
    // Whether the writer writes the key: a key that came after the first
    // files is written only when it differs from its default, so that a file
    // written with the default has the bytes it had before the key.
    bool (*written)(const SystemConfig&) = nullptr;  // null: always
};
struct RuleKey {
    std::string_view name;
    std::string (*write)(const WindowRule&);
    void (*read)(WindowRule&, std::string_view value);
};
extern const SystemKey kSystemKeys[8];
extern const std::array<RuleKey, 19> kRuleKeys;

// A text as the file can hold it: a line feed, which would end the line,
// becomes a blank; a rule's name that begins with "!", which would open an
// options section, begins with the full-width "！" instead.
std::string StorableText(std::string_view text, bool name);

// The number at the start of `text` as the C library's atoi reads it: leading
// white space, an optional sign, decimal digits up to the first other byte;
// no digits give 0. Out-of-range values stop at the 32-bit limits.
std::int32_t ReadNumber(std::string_view text);

}  // namespace torvane
