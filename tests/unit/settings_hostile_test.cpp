// The settings reader against damaged and hostile files, and the writer and
// reader together: whatever the reader accepts, the writer writes back so that
// the reader gets the same table again.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "rules/settings_format.h"

namespace torvane {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::size_t kTextMax = FixedText::kMaxLength;  // 255

// Every text fits its buffer, and writing, reading back and writing again
// gives the same options, the same rules and the same bytes.
::testing::AssertionResult SoundAndStable(const SystemConfig& config, const std::vector<WindowRule>& rules) {
    for (std::size_t i = 0; i < rules.size(); ++i) {
        for (const FixedText* t : {&rules[i].settingName, &rules[i].className, &rules[i].title}) {
            if (t->view().size() > kTextMax) return ::testing::AssertionFailure() << "rule " << i << ": long text";
        }
    }
    const std::string once = FormatSettings(config, rules);
    const ParsedSettings back = ParseSettings(once);
    if (!(back.config == config)) return ::testing::AssertionFailure() << "the options changed on reload";
    if (back.rules.size() != rules.size()) {
        return ::testing::AssertionFailure() << rules.size() << " rules written, " << back.rules.size() << " read";
    }
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (!back.rules[i].sameSettings(rules[i])) return ::testing::AssertionFailure() << "rule " << i << " changed";
    }
    if (FormatSettings(back.config, back.rules) != once) return ::testing::AssertionFailure() << "second write differs";
    return ::testing::AssertionSuccess();
}

std::string RandomBytes(std::mt19937& rng, std::size_t length) {
    std::string out(length, '\0');
    for (char& ch : out) ch = static_cast<char>(rng() & 0xFF);
    return out;
}

// Lines that start with a header or a key, so that random input reaches every
// branch of the reader, with line ends of every kind (or none).
std::string RandomLines(std::mt19937& rng, int lines) {
    static const char* const kStarts[] = {"[", "[!", "[rule]", "[]", "class=", "title=", "usclsttle=", "state=",
                                          "left=", "width=", "fstforce=", "lsizey=", "forcestt=", "Enabled=",
                                          "ShcutKey=", "TaskIcon=", "=", " left=", ""};
    static const char* const kEnds[] = {"\r\n", "\n", "\r\r\n", "\r", ""};
    std::string out;
    for (int i = 0; i < lines; ++i) {
        out += kStarts[rng() % std::size(kStarts)];
        out += RandomBytes(rng, rng() % 12);
        if (rng() % 8 == 0) out += std::to_string(static_cast<std::int64_t>(rng()) * (rng() % 2 ? 1 : -99999));
        out += kEnds[rng() % std::size(kEnds)];
    }
    return out;
}

TEST(SettingsHostileInput, RandomInputLoadsSoundlyAndReloadsTheSame) {
    std::mt19937 rng(0x5e771e55u);
    for (int i = 0; i < 3000; ++i) {
        const std::string input = i % 3 == 0 ? RandomBytes(rng, rng() % 600) : RandomLines(rng, 1 + rng() % 40);
        const ParsedSettings loaded = ParseSettings(input);
        ASSERT_TRUE(SoundAndStable(loaded.config, loaded.rules)) << "input " << i;
    }
}

TEST(SettingsHostileInput, NulBytesEndTextsAndSpoilKeys) {
    using namespace std::string_literals;
    const ParsedSettings l = ParseSettings("[a\0b]\r\ntitle=x\0y\r\nle\0ft=5\r\ntop=\0" "7\r\n[!S\0]\r\nEnabled=0\0\r\n"s);
    ASSERT_EQ(l.rules.size(), 1u);
    EXPECT_EQ(l.rules[0].settingName.view(), "a");
    EXPECT_EQ(l.rules[0].title.view(), "x");
    EXPECT_EQ(l.rules[0].left, 0);
    EXPECT_EQ(l.rules[0].top, 0);
    EXPECT_FALSE(l.config.Enabled);
}

TEST(SettingsHostileInput, HugeLinesAndFiles) {
    const std::string mega(1u << 20, 'm');
    const ParsedSettings longTitle = ParseSettings("[a]\r\ntitle=" + mega + "\r\nleft=3\r\n");
    ASSERT_EQ(longTitle.rules.size(), 1u);
    EXPECT_EQ(longTitle.rules[0].title.view(), std::string(kTextMax, 'm'));
    EXPECT_EQ(longTitle.rules[0].left, 3) << "the line after a megabyte line is read";
    EXPECT_EQ(ParseSettings("[" + mega + "]").rules.at(0).settingName.view().size(), kTextMax);
    EXPECT_EQ(ParseSettings("[a]\r\nleft=" + std::string(100000, '9')).rules.at(0).left, kMax);
    EXPECT_EQ(ParseSettings("[a]\r\nleft=-" + std::string(100000, '9')).rules.at(0).left, kMin);

    std::string many;
    for (int i = 0; i < 100000; ++i) many += "[r" + std::to_string(i) + "]\r\nleft=" + std::to_string(i) + "\r\n";
    const ParsedSettings l = ParseSettings(many);
    ASSERT_EQ(l.rules.size(), 100000u);
    EXPECT_EQ(l.rules[99999].settingName.view(), "r99999");
    EXPECT_EQ(l.rules[99999].left, 99999);
    EXPECT_EQ(l.rules[12345].className.view(), "r12345");
}

TEST(SettingsHostileInput, BareHeadersAndLineEndsOnly) {
    for (const char* input : {"[", "[\r\n", "[\n", "[!", "[!\r\n", "\r\n\r\n\n", "\r", ""}) {
        const ParsedSettings l = ParseSettings(input);
        EXPECT_TRUE(l.config == SystemConfig::Defaults()) << input;
        for (const WindowRule& r : l.rules) EXPECT_TRUE(r.settingName.empty()) << input;
    }
    EXPECT_EQ(ParseSettings("[").rules.size(), 1u);
    EXPECT_TRUE(ParseSettings("[!").rules.empty());
}

// --- writing and reading back ------------------------------------------------

// A text the format carries: any bytes but NUL and LF, 0 to 255 of them.
std::string RandomText(std::mt19937& rng) {
    static const std::size_t kEdges[] = {0, 1, 254, 255};
    const std::size_t length = rng() % 4 == 0 ? kEdges[rng() % 4] : rng() % (kTextMax + 1);
    std::string out(length, 'x');
    for (char& ch : out) {
        do ch = static_cast<char>(rng() & 0xFF);
        while (ch == '\0' || ch == '\n');
    }
    return out;
}

std::int32_t RandomNumber(std::mt19937& rng) {
    static const std::int32_t kEdges[] = {kMin, -1, 0, 1, kMax};
    return rng() % 5 == 0 ? kEdges[rng() % 5] : static_cast<std::int32_t>(rng());
}

TEST(SettingsRoundTrip, RandomTablesComeBackUnchanged) {
    std::mt19937 rng(20261206u);
    for (int table = 0; table < 400; ++table) {
        SystemConfig c;
        c.Enabled = rng() % 2;
        c.TaskIcon = rng() % 2;
        c.ShcutCtrl = rng() % 2;
        c.ShcutAlt = rng() % 2;
        c.ShcutShift = rng() % 2;
        c.ShcutWin = rng() % 2;
        c.ShcutKey = RandomNumber(rng);
        std::vector<WindowRule> rules(rng() % 6);
        for (WindowRule& r : rules) {
            std::string name = RandomText(rng);
            if (!name.empty() && name[0] == '!') name[0] = '?';  // "[!" opens a system section
            r.settingName.assign(name);
            r.className.assign(RandomText(rng));
            r.title.assign(RandomText(rng));
            r.usclsttle = RandomNumber(rng);
            r.state = RandomNumber(rng);
            r.left = RandomNumber(rng);
            r.top = RandomNumber(rng);
            r.width = RandomNumber(rng);
            r.height = RandomNumber(rng);
            r.options = static_cast<std::uint32_t>(rng()) & opt::kAll;
        }
        ASSERT_TRUE(SoundAndStable(c, rules)) << "table " << table;
    }
}

TEST(SettingsRoundTrip, TextsThatLookLikeSyntaxComeBackUnchanged) {
    WindowRule r = WindowRule::Named("[a]=[!b] ");
    r.className.assign("title=x\r");
    r.title.assign("[!SystemConfig]\rEnabled=0");
    EXPECT_TRUE(SoundAndStable(SystemConfig::Defaults(), {r, WindowRule::Named("]")}));
}

}  // namespace
}  // namespace torvane
