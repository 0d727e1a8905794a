#include "settings/settings_format.h"

#include <cstdint>

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

// The section name: the header from its second byte, without its last byte
// (the closing bracket of a header the writer wrote).
std::string_view SectionName(std::string_view header) {
    if (header.size() < 2) return header.substr(0, 0);  // empty, but never a null view
    return header.substr(1, header.size() - 2);
}

}  // namespace

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

std::string FormatSettings(const SystemConfig& c, const std::vector<WindowRule>& rules) {
    std::string out = "[!SystemConfig]\r\n";
    for (const SystemKey& key : kSystemKeys) {
        if (!key.written || key.written(c)) out.append(key.name).append("=").append(std::to_string(key.get(c))).append("\r\n");
    }
    for (const WindowRule& r : rules) {
        out.append("[").append(StorableText(r.name.view(), true)).append("]\r\n");
        for (const RuleKey& key : kRuleKeys) out.append(key.name).append("=").append(key.write(r)).append("\r\n");
    }
    return out;
}

}  // namespace torvane
