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

// When `line` begins with `key` (its "=" included), gives the rest of the line.
bool Value(std::string_view line, std::string_view key, std::string_view& rest) {
    if (line.substr(0, key.size()) != key) return false;
    rest = line.substr(key.size());
    return true;
}

bool Switch(std::string_view rest) { return (ReadNumber(rest) & 1) != 0; }

void ApplySystemLine(std::string_view line, SystemConfig& c) {
    std::string_view v;
    if (Value(line, "Enabled=", v)) c.Enabled = Switch(v);
    else if (Value(line, "TaskIcon=", v)) c.TaskIcon = Switch(v);
    else if (Value(line, "ShcutCtrl=", v)) c.ShcutCtrl = Switch(v);
    else if (Value(line, "ShcutAlt=", v)) c.ShcutAlt = Switch(v);
    else if (Value(line, "ShcutShift=", v)) c.ShcutShift = Switch(v);
    else if (Value(line, "ShcutWin=", v)) c.ShcutWin = Switch(v);
    else if (Value(line, "ShcutKey=", v)) c.ShcutKey = ReadNumber(v);
}

struct SwitchKey {
    std::string_view key;
    std::uint32_t bit;
};
constexpr SwitchKey kSwitchKeys[] = {
    {"fstforce=", opt::fstforce}, {"movex=", opt::movex},   {"movey=", opt::movey},
    {"sizex=", opt::sizex},       {"sizey=", opt::sizey},   {"lmovex=", opt::lmovex},
    {"lmovey=", opt::lmovey},     {"lsizex=", opt::lsizex}, {"lsizey=", opt::lsizey},
    {"msfstt=", opt::msfstt},     {"forcestt=", opt::forcestt},
};

void ApplyRuleLine(std::string_view line, WindowRule& r) {
    std::string_view v;
    if (Value(line, "class=", v)) { r.className.assign(v); return; }
    if (Value(line, "title=", v)) { r.title.assign(v); return; }
    if (Value(line, "usclsttle=", v)) { r.usclsttle = ReadNumber(v); return; }
    if (Value(line, "state=", v)) { r.state = ReadNumber(v); return; }
    if (Value(line, "left=", v)) { r.left = ReadNumber(v); return; }
    if (Value(line, "top=", v)) { r.top = ReadNumber(v); return; }
    if (Value(line, "width=", v)) { r.width = ReadNumber(v); return; }
    if (Value(line, "height=", v)) { r.height = ReadNumber(v); return; }
    for (const SwitchKey& k : kSwitchKeys) {
        if (Value(line, k.key, v)) {
            r.set(k.bit, Switch(v));
            return;
        }
    }
}

// The section name: the header from its second byte, without its last byte
// (the closing bracket of a header the writer wrote).
std::string_view SectionName(std::string_view header) {
    if (header.size() < 2) return header.substr(0, 0);  // empty, but never a null view
    return header.substr(1, header.size() - 2);
}

}  // namespace

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
    std::string out;
    out.reserve(160 + rules.size() * 400);
    char buf[2048];  // a rule record is at most about 1,150 bytes
    auto bit = [](bool on) { return on ? 1 : 0; };
    auto put = [&out](const char* text, int n) {
        if (n > 0) out.append(text, static_cast<std::size_t>(n));
    };
    put(buf, std::snprintf(buf, sizeof buf,
                           "[!SystemConfig]\r\nEnabled=%d\r\nTaskIcon=%d\r\nShcutCtrl=%d\r\nShcutAlt=%d\r\n"
                           "ShcutShift=%d\r\nShcutWin=%d\r\nShcutKey=%d\r\n",
                           bit(c.Enabled), bit(c.TaskIcon), bit(c.ShcutCtrl), bit(c.ShcutAlt),
                           bit(c.ShcutShift), bit(c.ShcutWin), static_cast<int>(c.ShcutKey)));
    for (const WindowRule& r : rules) {
        auto b = [&r, &bit](std::uint32_t flag) { return bit(r.has(flag)); };
        // Each text is at most 255 bytes, so the record always fits the buffer.
        put(buf, std::snprintf(buf, sizeof buf,
                               "[%s]\r\nclass=%s\r\ntitle=%s\r\nusclsttle=%d\r\nmovex=%d\r\nmovey=%d\r\n"
                               "sizex=%d\r\nsizey=%d\r\nlmovex=%d\r\nlmovey=%d\r\nlsizex=%d\r\nlsizey=%d\r\n"
                               "left=%d\r\ntop=%d\r\nwidth=%d\r\nheight=%d\r\nmsfstt=%d\r\nstate=%d\r\n"
                               "forcestt=%d\r\nfstforce=%d\r\n",
                               StorableText(r.settingName.view(), true).c_str(),
                               StorableText(r.className.view(), false).c_str(),
                               StorableText(r.title.view(), false).c_str(),
                               static_cast<int>(r.usclsttle), b(opt::movex), b(opt::movey), b(opt::sizex),
                               b(opt::sizey), b(opt::lmovex), b(opt::lmovey), b(opt::lsizex), b(opt::lsizey),
                               static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.width),
                               static_cast<int>(r.height), b(opt::msfstt), static_cast<int>(r.state),
                               b(opt::forcestt), b(opt::fstforce)));
    }
    return out;
}

}  // namespace torvane
