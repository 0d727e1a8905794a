// The settings reader against damaged and hostile files, and the writer and
// reader together: whatever the reader accepts, the writer writes back so that
// the reader gets the same table again.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
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
constexpr std::size_t kMegabyte = 1u << 20;

using Loaded = ParsedSettings;

Loaded Load(std::string_view text) { return ParseSettings(text); }

// Bytes made visible for failure messages: printable ASCII as it is, the rest
// as \xNN, cut after `limit` bytes.
std::string Escaped(std::string_view bytes, std::size_t limit = 160) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        unsigned char ch = static_cast<unsigned char>(bytes[i]);
        if (ch >= 0x20 && ch < 0x7f && ch != '\\') {
            out += static_cast<char>(ch);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", ch);
            out += buf;
        }
    }
    if (bytes.size() > limit) out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

// Each of the three texts fits its 256-byte buffer with its NUL.
::testing::AssertionResult TextsFit(const std::vector<WindowRule>& rules) {
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const WindowRule& r = rules[i];
        for (const FixedText* t : {&r.settingName, &r.className, &r.title}) {
            if (t->view().size() > kTextMax) {
                return ::testing::AssertionFailure()
                       << "rule " << i << " has a text of " << t->view().size() << " bytes";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Writes the options and rules, reads them back and writes them again: the
// reader must give the same options and rules, and the second file must be the
// first byte for byte.
::testing::AssertionResult ReloadsSame(const SystemConfig& config, const std::vector<WindowRule>& rules) {
    const std::string once = FormatSettings(config, rules);
    Loaded back = Load(once);
    if (!(back.config == config)) return ::testing::AssertionFailure() << "the options changed on reload";
    if (back.rules.size() != rules.size()) {
        return ::testing::AssertionFailure()
               << rules.size() << " rules written, " << back.rules.size() << " read back";
    }
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (!back.rules[i].sameSettings(rules[i])) {
            return ::testing::AssertionFailure()
                   << "rule " << i << " changed on reload: name \"" << Escaped(rules[i].settingName.view())
                   << "\" became \"" << Escaped(back.rules[i].settingName.view()) << "\", class \""
                   << Escaped(rules[i].className.view()) << "\" became \""
                   << Escaped(back.rules[i].className.view()) << "\", title \""
                   << Escaped(rules[i].title.view()) << "\" became \"" << Escaped(back.rules[i].title.view())
                   << "\"";
        }
    }
    const std::string twice = FormatSettings(back.config, back.rules);
    if (twice != once) {
        std::size_t at = 0;
        while (at < once.size() && at < twice.size() && once[at] == twice[at]) ++at;
        return ::testing::AssertionFailure() << "the second write differs from the first at byte " << at;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReloadsSame(const Loaded& loaded) {
    return ReloadsSame(loaded.config, loaded.rules);
}

// The lines of `text` as split at LF only, each with whatever CR it carries.
std::vector<std::string_view> RawLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool StartsSystemSection(std::string_view line) { return line.size() >= 2 && line[0] == '[' && line[1] == '!'; }
bool StartsRuleSection(std::string_view line) {
    return !line.empty() && line[0] == '[' && !StartsSystemSection(line);
}

// --- generators ------------------------------------------------------------

// Pieces that make random input reach every branch of the reader far more often
// than uniform bytes would.
const std::vector<std::string>& LineStarts() {
    static const std::vector<std::string> kStarts = {
        "[", "[!", "[!SystemConfig]", "[rule]", "[]", "]", "=", " ", "class=", "title=", "usclsttle=",
        "state=", "left=", "top=", "width=", "height=", "fstforce=", "movex=", "movey=", "sizex=",
        "sizey=", "lmovex=", "lmovey=", "lsizex=", "lsizey=", "msfstt=", "forcestt=", "Enabled=",
        "TaskIcon=", "ShcutCtrl=", "ShcutAlt=", "ShcutShift=", "ShcutWin=", "ShcutKey=",
        std::string(1, '\0'),
    };
    return kStarts;
}

const std::vector<std::string>& LinePieces() {
    static const std::vector<std::string> kPieces = {
        "[", "]", "!", "=", " ", "\t", "\r", std::string(1, '\0'), "-", "+", "0", "1", "2", "7",
        "2147483647", "2147483648", "-2147483648", "99999999999", "class=", "Enabled=", "\x81\x5b",
        "\xff", std::string(300, 'w'),
    };
    return kPieces;
}

const std::string kLineEnds[] = {"\r\n", "\r\n", "\n", "\r\r\n", "\r", ""};

std::string RandomBytes(std::mt19937& rng, std::size_t length) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out(length, '\0');
    for (char& ch : out) ch = static_cast<char>(byte(rng));
    return out;
}

// Lines of a key or header and a few pieces, with line ends of every kind
// (and sometimes none, so that lines run together).
std::string RandomLines(std::mt19937& rng, std::size_t lines) {
    const auto& starts = LineStarts();
    const auto& pieces = LinePieces();
    std::uniform_int_distribution<std::size_t> pickStart(0, starts.size() - 1);
    std::uniform_int_distribution<std::size_t> pickPiece(0, pieces.size() - 1);
    std::uniform_int_distribution<std::size_t> pickEnd(0, std::size(kLineEnds) - 1);
    std::uniform_int_distribution<int> pieceCount(0, 4);
    std::uniform_int_distribution<int> kind(0, 9);
    std::string out;
    for (std::size_t i = 0; i < lines; ++i) {
        out += starts[pickStart(rng)];
        for (int n = pieceCount(rng); n > 0; --n) {
            if (kind(rng) == 0) {
                out += RandomBytes(rng, std::uniform_int_distribution<std::size_t>(1, 8)(rng));
            } else {
                out += pieces[pickPiece(rng)];
            }
        }
        out += kLineEnds[pickEnd(rng)];
    }
    return out;
}

// A text that the format carries: any bytes but NUL and LF (a CR alone is not
// a line end), 0 to 255 of them, the limits chosen often.
std::string RandomText(std::mt19937& rng) {
    static const std::size_t kEdgeLengths[] = {0, 1, 2, 254, 255};
    std::size_t length;
    if (std::uniform_int_distribution<int>(0, 3)(rng) == 0) {
        length = kEdgeLengths[std::uniform_int_distribution<std::size_t>(0, 4)(rng)];
    } else {
        length = std::uniform_int_distribution<std::size_t>(0, kTextMax)(rng);
    }
    std::uniform_int_distribution<int> byte(1, 255);
    std::string out(length, 'x');
    for (char& ch : out) {
        int b;
        do b = byte(rng);
        while (b == '\n');
        ch = static_cast<char>(b);
    }
    return out;
}

std::int32_t RandomNumber(std::mt19937& rng) {
    static const std::int32_t kEdges[] = {kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax};
    if (std::uniform_int_distribution<int>(0, 4)(rng) == 0) {
        return kEdges[std::uniform_int_distribution<std::size_t>(0, 6)(rng)];
    }
    return static_cast<std::int32_t>(rng());  // every 32-bit pattern, both signs
}

WindowRule RandomRule(std::mt19937& rng) {
    WindowRule r;
    std::string name = RandomText(rng);
    if (!name.empty() && name[0] == '!') name[0] = '?';  // a "[!" header opens a system section
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
    return r;
}

SystemConfig RandomConfig(std::mt19937& rng) {
    std::bernoulli_distribution coin(0.5);
    SystemConfig c;
    c.Enabled = coin(rng);
    c.TaskIcon = coin(rng);
    c.ShcutCtrl = coin(rng);
    c.ShcutAlt = coin(rng);
    c.ShcutShift = coin(rng);
    c.ShcutWin = coin(rng);
    c.ShcutKey = RandomNumber(rng);
    return c;
}

// A fixed pattern of `length` bytes without NUL or LF, so that a cut at the
// wrong place shows.
std::string Pattern(std::size_t length) {
    std::string out(length, 'x');
    for (std::size_t i = 0; i < length; ++i) {
        char ch = static_cast<char>(' ' + (i * 7 + i / 95) % 95);
        out[i] = ch;
    }
    return out;
}

// --- hostile input -----------------------------------------------------------

TEST(SettingsHostileInput, RandomInputLoadsSoundlyAndReloadsTheSame) {
    std::mt19937 rng(0x5e771e55u);
    std::uniform_int_distribution<int> shape(0, 3);
    std::size_t rulesSeen = 0;
    int inputsWithSystemSection = 0;
    for (int iteration = 0; iteration < 4000; ++iteration) {
        std::string input;
        switch (shape(rng)) {
            case 0: input = RandomBytes(rng, std::uniform_int_distribution<std::size_t>(0, 64)(rng)); break;
            case 1: input = RandomBytes(rng, std::uniform_int_distribution<std::size_t>(0, 4096)(rng)); break;
            default: input = RandomLines(rng, std::uniform_int_distribution<std::size_t>(0, 60)(rng)); break;
        }
        SCOPED_TRACE("iteration " + std::to_string(iteration) + ", input \"" + Escaped(input) + "\"");

        Loaded loaded = Load(input);

        std::vector<std::string_view> headers;
        bool anySystemSection = false;
        for (std::string_view line : RawLines(input)) {
            if (StartsRuleSection(line)) headers.push_back(line);
            anySystemSection = anySystemSection || StartsSystemSection(line);
        }
        ASSERT_EQ(loaded.rules.size(), headers.size()) << "one rule per rule-section header";
        if (!anySystemSection) {
            EXPECT_TRUE(loaded.config == SystemConfig::Defaults());
        }
        ASSERT_TRUE(TextsFit(loaded.rules));

        for (std::size_t k = 0; k < headers.size(); ++k) {
            // The name is the header after "[", less at most a CR and one last
            // byte, up to a NUL and 255 bytes.
            std::string_view after = headers[k].substr(1);
            std::string_view name = loaded.rules[k].settingName.view();
            ASSERT_EQ(after.substr(0, name.size()), name) << "rule " << k << " is named from its own header";
            std::size_t nul = after.find('\0');
            std::size_t expectedAtLeast = after.size() >= 2 ? after.size() - 2 : 0;
            if (nul != std::string_view::npos && nul < expectedAtLeast) expectedAtLeast = nul;
            if (expectedAtLeast > kTextMax) expectedAtLeast = kTextMax;
            ASSERT_GE(name.size(), expectedAtLeast) << "rule " << k;
            ASSERT_FALSE(!name.empty() && name[0] == '!') << "a \"[!\" header is a system section";
            // Texts come from the file's bytes, never from elsewhere.
            ASSERT_NE(input.find(loaded.rules[k].className.view()), std::string::npos) << "rule " << k;
            ASSERT_NE(input.find(loaded.rules[k].title.view()), std::string::npos) << "rule " << k;
        }

        ASSERT_TRUE(ReloadsSame(loaded));
        rulesSeen += loaded.rules.size();
        inputsWithSystemSection += anySystemSection ? 1 : 0;
    }
    // The generator must keep reaching both kinds of section.
    EXPECT_GT(rulesSeen, 2000u);
    EXPECT_GT(inputsWithSystemSection, 500);
}

TEST(SettingsHostileInput, NulBytesEndTextsAndSpoilKeys) {
    using namespace std::string_literals;
    Loaded a = Load("[ab\0cd]\r\n"s
                    "title=ti\0tle\r\n"s
                    "left=1\0 2\r\n"s
                    "top=\0 5\r\n"s
                    "width=\0"s "9\r\n"s
                    "cla\0ss=spoilt\r\n"s
                    "usclsttle\0=3\r\n"s
                    "\0state=1\r\n"s);
    ASSERT_EQ(a.rules.size(), 1u);
    EXPECT_EQ(a.rules[0].settingName.view(), "ab");
    EXPECT_EQ(a.rules[0].className.view(), "ab") << "a key with a NUL in it is no key";
    EXPECT_EQ(a.rules[0].title.view(), "ti");
    EXPECT_EQ(a.rules[0].left, 1);
    EXPECT_EQ(a.rules[0].top, 0) << "a NUL is not white space";
    EXPECT_EQ(a.rules[0].width, 0);
    EXPECT_EQ(a.rules[0].usclsttle, 2);
    EXPECT_EQ(a.rules[0].state, -1);
    EXPECT_TRUE(ReloadsSame(a));

    // A NUL right after the key gives an empty text, not the default.
    Loaded b = Load("[name]\r\nclass=\0tail\r\ntitle=\0\r\n"s);
    ASSERT_EQ(b.rules.size(), 1u);
    EXPECT_TRUE(b.rules[0].className.empty());
    EXPECT_TRUE(b.rules[0].title.empty());
    EXPECT_TRUE(ReloadsSame(b));

    // Headers: a NUL as the second byte is no "!"; a NUL before "[" is no header.
    Loaded c = Load("[\0!x]\r\n\0[y]\r\n[!\0\r\nEnabled=\0"s "1\r\nTaskIcon=0\0"s "1\r\n"s);
    ASSERT_EQ(c.rules.size(), 1u);
    EXPECT_TRUE(c.rules[0].settingName.empty());
    EXPECT_FALSE(c.config.Enabled) << "the number stops at the NUL: 0";
    EXPECT_FALSE(c.config.TaskIcon);
    EXPECT_TRUE(c.config.ShcutCtrl);
    EXPECT_TRUE(ReloadsSame(c));
}

TEST(SettingsHostileInput, MegabyteLinesAreReadWholeAndTextsCut) {
    const std::string body = Pattern(kMegabyte);

    // A title line: the title is its first 255 bytes, and the rest of the line
    // is not read as further lines.
    Loaded title = Load("[r]\r\ntitle=" + body + "\r\nleft=7\r\n");
    ASSERT_EQ(title.rules.size(), 1u);
    EXPECT_EQ(title.rules[0].title.view(), std::string_view(body).substr(0, kTextMax));
    EXPECT_EQ(title.rules[0].className.view(), "r");
    EXPECT_EQ(title.rules[0].left, 7) << "the line after the long one is still read";
    EXPECT_TRUE(ReloadsSame(title));

    // A long value made of "[" and keys: no piece of it may start a section or
    // set a key.
    std::string trap;
    while (trap.size() < kMegabyte) trap += "[x]class=trap";
    Loaded spill = Load("[r]\r\ntitle=" + trap + "\r\n[s]\r\nEnabled=0\r\n");
    ASSERT_EQ(spill.rules.size(), 2u);
    EXPECT_EQ(spill.rules[0].title.view(), std::string_view(trap).substr(0, kTextMax));
    EXPECT_EQ(spill.rules[0].className.view(), "r");
    EXPECT_EQ(spill.rules[1].settingName.view(), "s");
    EXPECT_TRUE(spill.config.Enabled) << "a system key in a rule section is ignored";

    // A header line: the name (and so the default class) is 255 bytes.
    Loaded header = Load("[" + body + "]\r\nleft=5\r\n");
    ASSERT_EQ(header.rules.size(), 1u);
    EXPECT_EQ(header.rules[0].settingName.view(), std::string_view(body).substr(0, kTextMax));
    EXPECT_EQ(header.rules[0].className.view(), std::string_view(body).substr(0, kTextMax));
    EXPECT_EQ(header.rules[0].left, 5);
    EXPECT_TRUE(ReloadsSame(header));

    // The same at the end of a file without a final line end.
    Loaded last = Load("[r]\r\nclass=" + body);
    ASSERT_EQ(last.rules.size(), 1u);
    EXPECT_EQ(last.rules[0].className.view(), std::string_view(body).substr(0, kTextMax));
    EXPECT_TRUE(ReloadsSame(last));
}

TEST(SettingsHostileInput, HundredThousandSectionsLoadInOrder) {
    constexpr std::size_t kCount = 100000;
    std::string input = "[!SystemConfig]\r\nShcutKey=65\r\n";
    for (std::size_t i = 0; i < kCount; ++i) {
        input += "[r" + std::to_string(i) + "]\r\nleft=" + std::to_string(i) + "\r\n";
    }
    Loaded loaded = Load(input);
    ASSERT_EQ(loaded.rules.size(), kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
        const WindowRule& r = loaded.rules[i];
        if (r.settingName.view() != "r" + std::to_string(i) || r.left != static_cast<std::int32_t>(i)) {
            FAIL() << "rule " << i << " is \"" << r.settingName.view() << "\" with left " << r.left;
        }
    }
    EXPECT_EQ(loaded.config.ShcutKey, 65);
}

TEST(SettingsHostileInput, BareHeadersGiveEmptyOrShortNames) {
    struct Case {
        std::string input;
        std::size_t rules;
        std::string name;  // of the only rule, when there is one
    };
    const Case cases[] = {
        {"[", 1, ""},        {"[\r\n", 1, ""},    {"[\n", 1, ""},       {"[]", 1, ""},
        {"[]\r\n", 1, ""},   {"[]\n", 1, ""},     {"[\r", 1, ""},       {"[!", 0, ""},
        {"[!\r\n", 0, ""},   {"[!\n", 0, ""},     {"[!\r", 0, ""},
        // Without a final line end the last byte is still taken for the "]".
        {"[ab]", 1, "ab"},   {"[ab", 1, "a"},     {"[ab]\r", 1, "ab]"}, {"[ab] \r\n", 1, "ab]"},
        {"[[x]]\r\n", 1, "[x]"}, {"[ [!]\r\n", 1, " [!"}, {"x[a]\r\n", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input \"" + Escaped(c.input) + "\"");
        Loaded loaded = Load(c.input);
        ASSERT_EQ(loaded.rules.size(), c.rules);
        if (c.rules == 1) {
            EXPECT_EQ(loaded.rules[0].settingName.view(), c.name);
            EXPECT_EQ(loaded.rules[0].className.view(), c.name);
            EXPECT_TRUE(loaded.rules[0].sameSettings(WindowRule::Named(c.name)));
        }
        EXPECT_TRUE(loaded.config == SystemConfig::Defaults());
        EXPECT_TRUE(ReloadsSame(loaded));
    }

    // "[!" and nothing else still opens a system section.
    Loaded bang = Load("[!\r\nEnabled=0\r\n[!");
    EXPECT_TRUE(bang.rules.empty());
    EXPECT_FALSE(bang.config.Enabled);
}

TEST(SettingsHostileInput, FilesOfLineEndsOnlyGiveTheDefaults) {
    const std::string inputs[] = {
        "", "\n", "\r\n", "\r", std::string(100000, '\n'), std::string(100000, '\r'),
        [] {
            std::string s;
            for (int i = 0; i < 30000; ++i) s += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r\r\n";
            return s;
        }(),
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE("input \"" + Escaped(input, 16) + "\"");
        Loaded loaded = Load(input);
        EXPECT_TRUE(loaded.rules.empty());
        EXPECT_TRUE(loaded.config == SystemConfig::Defaults());
    }
}

TEST(SettingsHostileInput, NumbersSaturateAndFollowAtoi) {
    const std::string nines(100000, '9');
    const std::string zeros(100000, '0');
    struct Case {
        std::string text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"2147483647", kMax},
        {"2147483648", kMax},
        {"4294967297", kMax},  // would wrap to 1
        {nines, kMax},
        {"+" + nines, kMax},
        {"-2147483648", kMin},
        {"-2147483649", kMin},
        {"-4294967296", kMin},  // would wrap to 0
        {"-" + nines, kMin},
        {zeros + "17", 17},
        {"-" + zeros + "2147483648", kMin},
        {zeros + nines, kMax},
        {"-0", 0},
        {"+5", 5},
        {"+-5", 0},
        {"-+5", 0},
        {"- 5", 0},
        {"--5", 0},
        {"", 0},
        {"12abc", 12},
        {"0x1A", 0},
        {"5 6", 5},
        {"1e3", 1},
        {" \t\v\f\r 42", 42},
        {"\t-42", -42},
        {"\xa0" "5", 0},  // no-break space of Latin-1 is not white space
        {"\x85" "5", 0},
        {"\x81\x40" "5", 0},  // nor the ideographic space of code page 932
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("number \"" + Escaped(c.text, 40) + "\"");
        EXPECT_EQ(ReadNumber(c.text), c.value);
        Loaded loaded = Load("[!SystemConfig]\r\nShcutKey=" + c.text + "\r\n[r]\r\nleft=" + c.text +
                             "\r\nstate=" + c.text + "\r\n[!]\r\nShcutWin=" + c.text);
        ASSERT_EQ(loaded.rules.size(), 1u);
        EXPECT_EQ(loaded.config.ShcutKey, c.value);
        EXPECT_EQ(loaded.rules[0].left, c.value);
        EXPECT_EQ(loaded.rules[0].state, c.value);
        EXPECT_EQ(loaded.config.ShcutWin, (c.value & 1) != 0) << "a switch is the lowest bit of the number";
        EXPECT_TRUE(ReloadsSame(loaded));
    }
}

// --- writing and reading back --------------------------------------------

TEST(SettingsRoundTrip, RandomTablesComeBackUnchanged) {
    std::mt19937 rng(0x70a0u);
    std::uniform_int_distribution<int> size(0, 24);
    for (int iteration = 0; iteration < 600; ++iteration) {
        SCOPED_TRACE("iteration " + std::to_string(iteration));
        SystemConfig config = RandomConfig(rng);
        std::vector<WindowRule> rules;
        for (int n = size(rng); n > 0; --n) rules.push_back(RandomRule(rng));
        ASSERT_TRUE(ReloadsSame(config, rules));
    }
}

TEST(SettingsRoundTrip, TextsThatLookLikeSyntaxComeBackUnchanged) {
    const std::string texts[] = {
        "", "]", "[", "[!", "[!SystemConfig]", "a]", "\r", "\r\r", " ", "=", "class=x", "title=",
        "Enabled=0", "left=5", std::string(kTextMax, '['), std::string(kTextMax, '\r'),
        std::string(kTextMax, '\xff'),
    };
    SystemConfig config = SystemConfig::Defaults();
    config.Enabled = false;
    config.ShcutKey = kMin;
    std::vector<WindowRule> rules;
    for (const std::string& name : texts) {
        for (const std::string& text : texts) {
            WindowRule r;
            r.settingName.assign(name);
            r.className.assign(text);
            r.title.assign(text);
            r.left = kMin;
            r.height = kMax;
            r.options = opt::kAll;
            rules.push_back(r);
        }
    }
    EXPECT_TRUE(ReloadsSame(config, rules));

    // An empty class is written as "class=" and stays empty: it does not fall
    // back to the name.
    WindowRule noClass;
    noClass.settingName.assign("Name");
    Loaded back = Load(FormatSettings(config, {noClass}));
    ASSERT_EQ(back.rules.size(), 1u);
    EXPECT_TRUE(back.rules[0].className.empty());
}

TEST(SettingsRoundTrip, LineEndInsideTextSplitsTheRule) {
    WindowRule r = WindowRule::Named("a");
    r.title.assign("before\n[after]");
    Loaded back = Load(FormatSettings(SystemConfig::Defaults(), {r}));
    ASSERT_EQ(back.rules.size(), 2u);
    EXPECT_EQ(back.rules[0].title.view(), "before");
    EXPECT_EQ(back.rules[1].settingName.view(), "after");
}

}  // namespace
}  // namespace torvane
