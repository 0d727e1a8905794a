// The settings reader and writer: any bytes load into a sound table, and what
// was loaded is written and read back unchanged (else abort(), a crash to libFuzzer).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_format.h"

namespace {

using torvane::FixedText;
using torvane::WindowRule;

[[noreturn]] void Broken(const char* what, std::size_t rule) {
    std::fprintf(stderr, "settings fuzzer: %s (rule %zu)\n", what, rule);
    std::abort();
}

// The buffer holds its NUL within 256 bytes, so the text is at most 255 bytes
// and holds no NUL.
bool Fits(const FixedText& t) {
    return std::memchr(t.c_str(), '\0', FixedText::kCapacity) != nullptr &&
           t.view().size() <= FixedText::kMaxLength;
}

// The number of rule-section headers: lines (split at LF) that begin with "["
// and whose second byte is not "!".
std::size_t RuleHeaders(std::string_view text) {
    std::size_t count = 0, start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line[0] == '[' && !(line.size() >= 2 && line[1] == '!')) ++count;
        start = end + 1;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const auto [config, rules] = torvane::ParseSettings(input);
    if (rules.size() != RuleHeaders(input)) Broken("rule count differs from the rule-section headers", rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const WindowRule& r = rules[i];
        if (!Fits(r.name) || !Fits(r.className) || !Fits(r.title)) Broken("text longer than 255 bytes", i);
        // Texts come from the input's bytes. (Searched only for small tables, to
        // keep an execution cheap.)
        if (rules.size() <= 256 && (input.find(r.name.view()) == std::string_view::npos ||
            input.find(r.className.view()) == std::string_view::npos ||
            input.find(r.title.view()) == std::string_view::npos)) {
            Broken("text that is not in the input", i);
        }
    }
    // (No name read begins with "!": such a header opens a system section.)
    const std::string once = torvane::FormatSettings(config, rules);
    const auto [config2, rules2] = torvane::ParseSettings(once);
    if (!(config2 == config)) Broken("options changed on reload", 0);
    if (rules2.size() != rules.size()) Broken("rule count changed on reload", rules2.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (!rules2[i].sameSettings(rules[i])) Broken("rule changed on reload", i);
    }
    if (torvane::FormatSettings(config2, rules2) != once) Broken("second write differs from the first", 0);
    return 0;
}
