// The settings text: what the writer produces byte for byte, and how the
// loader reads hand-edited and older files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/settings_format.h"

namespace torvane {
namespace {

using Loaded = ParsedSettings;

Loaded Parse(std::string_view text) { return ParseSettings(text); }

const char kDefaultFile[] =
    "[!SystemConfig]\r\nEnabled=1\r\nTaskIcon=1\r\nShcutCtrl=1\r\nShcutAlt=1\r\nShcutShift=1\r\nShcutWin=0\r\n"
    "ShcutKey=32\r\n";

TEST(SettingsWriterTest, DefaultOptionsAndNoRules) {
    EXPECT_EQ(FormatSettings(SystemConfig::Defaults(), {}), kDefaultFile);
}

TEST(SettingsWriterTest, RuleSectionByteForByte) {
    SystemConfig c = SystemConfig::Defaults();
    c.Enabled = false;
    c.ShcutWin = true;
    c.ShcutKey = -7;
    WindowRule r = WindowRule::Named("\x83\x81\x83\x82\x92\xA0");  // メモ帳
    r.className.assign("Notepad");
    r.title.assign("\x95\x5C");  // 表, second byte 0x5C
    r.usclsttle = 3;
    r.left = -10;
    r.top = 20;
    r.width = 640;
    r.height = -2147483647 - 1;
    r.state = 3;
    r.options = opt::movex | opt::sizey | opt::lmovey | opt::lsizex | opt::forcestt;  // fstforce off
    const std::string expected =
        "[!SystemConfig]\r\nEnabled=0\r\nTaskIcon=1\r\nShcutCtrl=1\r\nShcutAlt=1\r\nShcutShift=1\r\nShcutWin=1\r\n"
        "ShcutKey=-7\r\n"
        "[\x83\x81\x83\x82\x92\xA0]\r\nclass=Notepad\r\ntitle=\x95\x5C\r\nusclsttle=3\r\nmovex=1\r\nmovey=0\r\n"
        "sizex=0\r\nsizey=1\r\nlmovex=0\r\nlmovey=1\r\nlsizex=1\r\nlsizey=0\r\nleft=-10\r\ntop=20\r\nwidth=640\r\n"
        "height=-2147483648\r\nmsfstt=0\r\nstate=3\r\nforcestt=1\r\nfstforce=0\r\n";
    EXPECT_EQ(FormatSettings(c, {r}), expected);
}

TEST(SettingsWriterTest, LongestTextsAreWrittenWhole) {
    WindowRule r = WindowRule::Named(std::string(255, 'n'));
    r.className.assign(std::string(255, 'c'));
    r.title.assign(std::string(255, 't'));
    r.left = r.top = r.width = r.height = r.state = r.usclsttle = -2147483647 - 1;
    std::string text = FormatSettings(SystemConfig::Defaults(), {r});
    EXPECT_NE(text.find("[" + std::string(255, 'n') + "]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nclass=" + std::string(255, 'c') + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\ntitle=" + std::string(255, 't') + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nfstforce=1\r\n"), std::string::npos) << "the record must not be cut off";
}

TEST(SettingsLoaderTest, MissingSectionsAndKeysKeepDefaults) {
    Loaded onlySystem = Parse("[!SystemConfig]\r\nEnabled=0\r\n");
    EXPECT_TRUE(onlySystem.rules.empty());
    EXPECT_FALSE(onlySystem.config.Enabled);
    EXPECT_TRUE(onlySystem.config.TaskIcon);

    Loaded onlyRules = Parse("[Notepad]\r\n[Other]\r\ntitle=x\r\n");
    EXPECT_TRUE(onlyRules.config == SystemConfig::Defaults());
    ASSERT_EQ(onlyRules.rules.size(), 2u);
    const WindowRule& bare = onlyRules.rules[0];
    EXPECT_TRUE(bare.sameSettings(WindowRule::Named("Notepad")));
    EXPECT_EQ(bare.className.view(), "Notepad") << "class defaults to the section name";
    EXPECT_EQ(onlyRules.rules[1].title.view(), "x");

    EXPECT_TRUE(Parse("").rules.empty());
    EXPECT_TRUE(Parse("").config == SystemConfig::Defaults());
}

TEST(SettingsLoaderTest, SwitchesTakeTheLowestBitNumbersAreAtoi) {
    Loaded l = Parse(
        "[!SystemConfig]\nEnabled=2\nTaskIcon=3\nShcutCtrl=-2\nShcutAlt=0x1\nShcutShift=  7abc\nShcutKey= -45xyz\n"
        "[r]\nmovex=3\nmovey=2\nsizex=-1\nleft=+12\ntop=  -5\nwidth=abc\nheight=99999999999\nstate=-99999999999\n"
        "usclsttle=\t1\n");
    EXPECT_FALSE(l.config.Enabled);
    EXPECT_TRUE(l.config.TaskIcon);
    EXPECT_FALSE(l.config.ShcutCtrl);
    EXPECT_FALSE(l.config.ShcutAlt) << "\"0x1\" reads as 0";
    EXPECT_TRUE(l.config.ShcutShift);
    EXPECT_EQ(l.config.ShcutKey, -45);
    ASSERT_EQ(l.rules.size(), 1u);
    const WindowRule& r = l.rules[0];
    EXPECT_TRUE(r.has(opt::movex));
    EXPECT_FALSE(r.has(opt::movey));
    EXPECT_TRUE(r.has(opt::sizex));
    EXPECT_EQ(r.left, 12);
    EXPECT_EQ(r.top, -5);
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.height, 2147483647) << "out of range stops at the limit";
    EXPECT_EQ(r.state, -2147483647 - 1);
    EXPECT_EQ(r.usclsttle, 1);
}

TEST(SettingsLoaderTest, KeysAreExactCaseSensitiveAndTouchTheirEquals) {
    Loaded l = Parse("[r]\r\nleft =5\r\nLeft=6\r\n left=7\r\ntop=8\r\nfstforce =0\r\nclass= spaced \r\n");
    ASSERT_EQ(l.rules.size(), 1u);
    EXPECT_EQ(l.rules[0].left, 0);
    EXPECT_EQ(l.rules[0].top, 8);
    EXPECT_TRUE(l.rules[0].has(opt::fstforce));
    EXPECT_EQ(l.rules[0].className.view(), " spaced ") << "texts are taken as they are";
}

TEST(SettingsLoaderTest, SectionsKeysAndOrder) {
    Loaded l = Parse(
        "left=1\r\n"                 // before any section: ignored
        "[a]\r\nEnabled=0\r\nleft=1\r\nleft=2\r\n"  // a system key in a rule section: ignored
        "[!Other\r\nTaskIcon=0\r\nleft=9\r\n"       // "[!" is a system section, bracket or not
        "[a]\r\ntitle=second\r\n"                   // the same name twice gives two rules
        "[!SystemConfig]\r\nTaskIcon=1\r\nShcutKey=65\r\n"
        "[b] \r\n"                                  // a blank after the bracket stays in the name
        "[c\r\n"                                    // no closing bracket: the last byte goes
        "[]\r\n[\r\n");
    EXPECT_TRUE(l.config.Enabled);
    EXPECT_TRUE(l.config.TaskIcon) << "system sections are applied in file order";
    EXPECT_EQ(l.config.ShcutKey, 65);
    ASSERT_EQ(l.rules.size(), 6u);
    EXPECT_EQ(l.rules[0].settingName.view(), "a");
    EXPECT_EQ(l.rules[0].left, 2) << "a later key wins";
    EXPECT_EQ(l.rules[1].settingName.view(), "a");
    EXPECT_EQ(l.rules[1].title.view(), "second");
    EXPECT_EQ(l.rules[1].left, 0);
    EXPECT_EQ(l.rules[2].settingName.view(), "b]");
    EXPECT_EQ(l.rules[3].settingName.view(), "");
    EXPECT_EQ(l.rules[4].settingName.view(), "");
    EXPECT_EQ(l.rules[5].settingName.view(), "");
}

TEST(SettingsLoaderTest, LineEndsLfCrLfAndNoneAtTheEnd) {
    // A lone LF ends a line like CR LF.
    Loaded lf = Parse("[a]\ntitle=t\nleft=3");
    ASSERT_EQ(lf.rules.size(), 1u);
    EXPECT_EQ(lf.rules[0].title.view(), "t");
    EXPECT_EQ(lf.rules[0].left, 3);

    // The last line keeps all of its bytes when the file has no final line end.
    EXPECT_EQ(Parse("[a]\r\ntitle=Untitled").rules[0].title.view(), "Untitled");
    EXPECT_EQ(Parse("[a]\r\nclass=Edit").rules[0].className.view(), "Edit");
    EXPECT_EQ(Parse("[name]").rules[0].settingName.view(), "name");

    // Only a real line end is taken off: a CR elsewhere is part of the text.
    EXPECT_EQ(Parse("[a]\r\ntitle=x\r\r\n").rules[0].title.view(), "x\r");
    EXPECT_EQ(Parse("[a]\r\ntitle=x\ry\r\n").rules[0].title.view(), "x\ry");
}

TEST(SettingsLoaderTest, LongLinesAreReadWhole) {
    // Names of 248 to 255 bytes used to be cut when read back; they now come
    // back whole, and longer values keep their first 255 bytes.
    for (std::size_t n : {247u, 248u, 252u, 253u, 255u}) {
        const std::string name(n, 'n');
        const std::string cls(n, 'c');
        const std::string title(n, 't');
        Loaded l = Parse("[" + name + "]\r\nclass=" + cls + "\r\ntitle=" + title + "\r\nleft=5\r\n");
        ASSERT_EQ(l.rules.size(), 1u);
        EXPECT_EQ(l.rules[0].settingName.view(), name);
        EXPECT_EQ(l.rules[0].className.view(), cls);
        EXPECT_EQ(l.rules[0].title.view(), title);
        EXPECT_EQ(l.rules[0].left, 5);
    }
    std::string tail(400, 'x');
    tail.replace(300, 7, "[fake]\n");  // not a line of its own: no section
    Loaded l = Parse("[a]\r\ntitle=" + tail + "\r\nleft=1\r\n");
    ASSERT_EQ(l.rules.size(), 1u);
    EXPECT_EQ(l.rules[0].title.view(), std::string(255, 'x'));
}

TEST(SettingsLoaderTest, KnownFormatLimits) {
    // A rule whose name begins with "!" is written under a "[!" header and is
    // read back as a system section: the rule is gone.
    WindowRule bang = WindowRule::Named("!x");
    Loaded l = Parse(FormatSettings(SystemConfig::Defaults(), {bang, WindowRule::Named("y")}));
    ASSERT_EQ(l.rules.size(), 1u);
    EXPECT_EQ(l.rules[0].settingName.view(), "y");
}

}  // namespace
}  // namespace torvane
