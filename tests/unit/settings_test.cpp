// The settings file: what the reader makes of hand-edited, older and hostile
// files, what the writer writes byte for byte, and a save that leaves either
// the old or the new file whole whatever fails.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "rules/settings_file.h"
#include "rules/settings_format.h"

namespace torvane {
namespace {

using namespace std::string_literals;
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// What was read, as far as it differs from the defaults: the options, then
// each rule as "[name]" and its values that differ from a bare section's.
std::string Describe(const ParsedSettings& p) {
    const SystemConfig d = SystemConfig::Defaults();
    std::string out;
    auto put = [&out](const std::string& key, long long value) { out += " " + key + "=" + std::to_string(value); };
    if (p.config.Enabled != d.Enabled) put("Enabled", p.config.Enabled);
    if (p.config.TaskIcon != d.TaskIcon) put("TaskIcon", p.config.TaskIcon);
    if (p.config.ShcutCtrl != d.ShcutCtrl) put("ShcutCtrl", p.config.ShcutCtrl);
    if (p.config.ShcutAlt != d.ShcutAlt) put("ShcutAlt", p.config.ShcutAlt);
    if (p.config.ShcutShift != d.ShcutShift) put("ShcutShift", p.config.ShcutShift);
    if (p.config.ShcutWin != d.ShcutWin) put("ShcutWin", p.config.ShcutWin);
    if (p.config.ShcutKey != d.ShcutKey) put("ShcutKey", p.config.ShcutKey);
    static const std::pair<const char*, std::uint32_t> kSwitches[] = {
        {"fstforce", opt::fstforce}, {"movex", opt::movex},   {"movey", opt::movey},   {"sizex", opt::sizex},
        {"sizey", opt::sizey},       {"lmovex", opt::lmovex}, {"lmovey", opt::lmovey}, {"lsizex", opt::lsizex},
        {"lsizey", opt::lsizey},     {"msfstt", opt::msfstt}, {"forcestt", opt::forcestt}};
    for (const WindowRule& r : p.rules) {
        const WindowRule bare = WindowRule::Named(r.settingName.view());
        out += " [" + std::string(r.settingName.view()) + "]";
        if (!(r.className == bare.className)) out += " class=" + std::string(r.className.view());
        if (!r.title.empty()) out += " title=" + std::string(r.title.view());
        if (r.usclsttle != bare.usclsttle) put("usclsttle", r.usclsttle);
        if (r.state != bare.state) put("state", r.state);
        if (r.left != 0) put("left", r.left);
        if (r.top != 0) put("top", r.top);
        if (r.width != 0) put("width", r.width);
        if (r.height != 0) put("height", r.height);
        for (const auto& [key, bit] : kSwitches) {
            if (r.has(bit) != bare.has(bit)) put(key, r.has(bit));
        }
    }
    return out.empty() ? out : out.substr(1);
}

TEST(Reader, ReadsFilesAsTheFormatSays) {
    const std::string n255(255, 'n'), t300(300, 't');
    const struct {
        std::string input, read;
    } cases[] = {
        {"", ""},
        {"[!SystemConfig]\r\nEnabled=0\r\n", "Enabled=0"},
        {"[Notepad]\r\n[Other]\r\ntitle=x\r\n", "[Notepad] [Other] title=x"},
        // Switches take the lowest bit; numbers are read as atoi reads them.
        {"[!SystemConfig]\nEnabled=2\nTaskIcon=3\nShcutCtrl=-2\nShcutAlt=0x1\nShcutShift=  7abc\nShcutKey= -45xyz\n",
         "Enabled=0 ShcutCtrl=0 ShcutAlt=0 ShcutKey=-45"},
        {"[!SystemConfig]\nShcutWin=1\nEnabled=3\n", "ShcutWin=1"},
        {"[r]\nmovex=3\nmovey=2\nsizex=-1\nleft=+12\ntop=  -5\nwidth=abc\nheight=99999999999\nstate=-99999999999\n"
         "usclsttle=\t1\nlsizey=1\nlmovex=1\nlmovey=1\nlsizex=1\nmsfstt=1\nforcestt=1\nsizey=1\nfstforce=0\n",
         "[r] usclsttle=1 state=-2147483648 left=12 top=-5 height=2147483647 fstforce=0 movex=1 sizex=1 sizey=1 "
         "lmovex=1 lmovey=1 lsizex=1 lsizey=1 msfstt=1 forcestt=1"},
        // Keys are exact, case-sensitive and touch their "="; texts are taken as they are.
        {"[r]\r\nleft =5\r\nLeft=6\r\n left=7\r\ntop=8\r\nfstforce =0\r\nclass= spaced \r\n", "[r] class= spaced  top=8"},
        // Sections: keys before any section and of the other kind are ignored,
        // "[!" opens a system section, names repeat, a later key wins.
        {"left=1\r\n[a]\r\nEnabled=0\r\nleft=1\r\nleft=2\r\n[!Other\r\nTaskIcon=0\r\nleft=9\r\n[a]\r\ntitle=second\r\n"
         "[!SystemConfig]\r\nTaskIcon=1\r\nShcutKey=65\r\n",
         "ShcutKey=65 [a] left=2 [a] title=second"},
        // The name is the header from its second byte without its last one.
        {"[b] \r\n[c\r\n[]\r\n[\r\n", "[b]] [] [] []"},
        // A lone LF ends a line; the last line keeps its bytes; a CR elsewhere is text.
        {"[a]\ntitle=t\nleft=3", "[a] title=t left=3"},
        {"[a]\r\nclass=Edit", "[a] class=Edit"},
        {"[name]", "[name]"},
        {"[a]\r\ntitle=x\r\r\n[b]\r\ntitle=x\ry\r\n", "[a] title=x\r [b] title=x\ry"},
        // Long lines are read whole, texts keep their first 255 bytes.
        {"[" + n255 + "]\r\nclass=" + n255 + "\r\ntitle=" + t300 + "\r\nleft=5\r\n",
         "[" + n255 + "] title=" + t300.substr(0, 255) + " left=5"},
        {"[a]\r\ntitle=" + std::string(300, 'x') + "[fake]\nleft=1\r\n", "[a] title=" + std::string(255, 'x') + " left=1"},
        // A NUL ends a text and spoils a key.
        {"[a\0b]\r\ntitle=x\0y\r\nle\0ft=5\r\ntop=\0" "7\r\n[!S\0]\r\nEnabled=0\0\r\n"s, "Enabled=0 [a] title=x"},
        {"[!", ""},
        {"[", "[]"},
        {"[a]\r\nleft=" + std::string(100000, '9') + "\r\ntop=-" + std::string(100000, '9'),
         "[a] left=2147483647 top=-2147483648"},
    };
    for (const auto& c : cases) EXPECT_EQ(Describe(ParseSettings(c.input)), c.read) << "reading\n" << c.input;
    EXPECT_EQ(ReadNumber(std::string_view("123456", 3)), 123) << "a number ends with its text";
}

TEST(Writer, WritesTheFormatByteForByte) {
    EXPECT_EQ(FormatSettings(SystemConfig::Defaults(), {}),
              "[!SystemConfig]\r\nEnabled=1\r\nTaskIcon=1\r\nShcutCtrl=1\r\nShcutAlt=1\r\nShcutShift=1\r\nShcutWin=0\r\n"
              "ShcutKey=32\r\n");
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
    r.height = kMin;
    r.state = 3;
    r.options = opt::movex | opt::sizey | opt::lmovey | opt::lsizex | opt::forcestt;  // fstforce off
    WindowRule longest = WindowRule::Named(std::string(255, 'n'));
    longest.className.assign(std::string(255, 'c'));
    longest.title.assign(std::string(255, 't'));
    longest.left = longest.top = longest.width = longest.height = longest.state = longest.usclsttle = kMin;
    longest.options = opt::kAll;
    EXPECT_EQ(FormatSettings(c, {r, longest}),
              "[!SystemConfig]\r\nEnabled=0\r\nTaskIcon=1\r\nShcutCtrl=1\r\nShcutAlt=1\r\nShcutShift=1\r\nShcutWin=1\r\n"
              "ShcutKey=-7\r\n"
              "[\x83\x81\x83\x82\x92\xA0]\r\nclass=Notepad\r\ntitle=\x95\x5C\r\nusclsttle=3\r\nmovex=1\r\nmovey=0\r\n"
              "sizex=0\r\nsizey=1\r\nlmovex=0\r\nlmovey=1\r\nlsizex=1\r\nlsizey=0\r\nleft=-10\r\ntop=20\r\nwidth=640\r\n"
              "height=-2147483648\r\nmsfstt=0\r\nstate=3\r\nforcestt=1\r\nfstforce=0\r\n"
              "[" + std::string(255, 'n') + "]\r\nclass=" + std::string(255, 'c') + "\r\ntitle=" +
                  std::string(255, 't') + "\r\nusclsttle=-2147483648\r\nmovex=1\r\nmovey=1\r\nsizex=1\r\nsizey=1\r\n"
                  "lmovex=1\r\nlmovey=1\r\nlsizex=1\r\nlsizey=1\r\nleft=-2147483648\r\ntop=-2147483648\r\n"
                  "width=-2147483648\r\nheight=-2147483648\r\nmsfstt=1\r\nstate=-2147483648\r\nforcestt=1\r\n"
                  "fstforce=1\r\n");
}

// Every text fits, and writing, reading back and writing again gives the
// same options, rules and bytes.
::testing::AssertionResult SoundAndStable(const SystemConfig& config, const std::vector<WindowRule>& rules) {
    const std::string once = FormatSettings(config, rules);
    const ParsedSettings back = ParseSettings(once);
    if (!(back.config == config)) return ::testing::AssertionFailure() << "the options changed on reload";
    if (back.rules.size() != rules.size())
        return ::testing::AssertionFailure() << rules.size() << " rules written, " << back.rules.size() << " read";
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (!back.rules[i].sameSettings(rules[i])) return ::testing::AssertionFailure() << "rule " << i << " changed";
    }
    if (FormatSettings(back.config, back.rules) != once) return ::testing::AssertionFailure() << "second write differs";
    return ::testing::AssertionSuccess();
}

TEST(RoundTrip, RandomFilesAndTablesComeBackUnchanged) {
    std::mt19937 rng(20261206u);
    auto bytes = [&](std::size_t n, bool text) {
        std::string out(n, '\0');
        for (char& ch : out) {
            do ch = static_cast<char>(rng() & 0xFF);
            while (text && (ch == '\0' || ch == '\n'));
        }
        return out;
    };
    // Whatever the reader accepts, the writer writes back stably.
    static const char* const kStarts[] = {"[", "[!", "[rule]", "class=", "title=", "usclsttle=", "left=", "fstforce=",
                                          "Enabled=", "ShcutKey=", " left=", ""};
    static const char* const kEnds[] = {"\r\n", "\n", "\r\r\n", "\r", ""};
    for (int i = 0; i < 2000; ++i) {
        std::string input;
        for (int line = rng() % 30; line >= 0; --line)
            input += std::string(kStarts[rng() % std::size(kStarts)]) + bytes(rng() % 12, false) +
                     (rng() % 8 ? "" : std::to_string(static_cast<std::int64_t>(rng()) * -99999)) + kEnds[rng() % 5];
        const ParsedSettings loaded = ParseSettings(input);
        ASSERT_TRUE(SoundAndStable(loaded.config, loaded.rules)) << "input " << i;
    }
    // Tables with texts of any bytes but NUL and LF, numbers at their limits.
    auto number = [&] { return rng() % 5 ? static_cast<std::int32_t>(rng()) : (rng() % 2 ? kMin : kMax); };
    for (int table = 0; table < 300; ++table) {
        SystemConfig c;
        c.Enabled = rng() % 2;
        c.TaskIcon = rng() % 2;
        c.ShcutCtrl = rng() % 2;
        c.ShcutAlt = rng() % 2;
        c.ShcutShift = rng() % 2;
        c.ShcutWin = rng() % 2;
        c.ShcutKey = number();
        std::vector<WindowRule> rules(rng() % 5);
        for (WindowRule& r : rules) {
            std::string name = bytes(rng() % 256, true);
            if (!name.empty() && name[0] == '!') name[0] = '?';
            r.settingName.assign(name);
            r.className.assign(bytes(rng() % 256, true));
            r.title.assign(bytes(rng() % 256, true));
            r.usclsttle = number();
            r.state = number();
            r.left = number();
            r.top = number();
            r.width = number();
            r.height = number();
            r.options = static_cast<std::uint32_t>(rng()) & opt::kAll;
        }
        ASSERT_TRUE(SoundAndStable(c, rules)) << "table " << table;
    }
}

// --- the file on disk ---

enum class Fail { None, CreateTemp, Write, Flush, Close, Replace, ReplaceBusy, ReplaceBusyTwice, Read };

// The platform's file operations, with one step made to fail.
class FaultyFileOps final : public FileOps {
public:
    explicit FaultyFileOps(Fail failing) : failing(failing) {}
    ReadStatus ReadWhole(const std::string& path, std::string& out) override {
        ++reads;
        return failing == Fail::Read ? ReadStatus::Failed : real().ReadWhole(path, out);
    }
    bool Exists(const std::string& path) override { return real().Exists(path); }
    bool CreateTemp(const std::string& beside, std::string& temp, Handle& h) override {
        return failing != Fail::CreateTemp && real().CreateTemp(beside, temp, h);
    }
    bool Write(Handle h, const char* data, std::size_t size) override {
        if (failing != Fail::Write) return real().Write(h, data, size);
        real().Write(h, data, size / 2);  // a full disk: part of it got out
        return false;
    }
    bool Flush(Handle h) override { return failing != Fail::Flush && real().Flush(h); }
    bool Close(Handle h) override { return real().Close(h) && failing != Fail::Close; }
    ReplaceStatus Replace(const std::string& from, const std::string& to) override {
        ++replaces;
        if (failing == Fail::Replace) return ReplaceStatus::Failed;
        if (failing == Fail::ReplaceBusy || (failing == Fail::ReplaceBusyTwice && replaces <= 2))
            return ReplaceStatus::Busy;
        return real().Replace(from, to);
    }
    void Remove(const std::string& path) override { real().Remove(path); }
    void Pause(int ms) override { pausedMs += ms; }

    Fail failing;
    int reads = 0;
    int replaces = 0;
    int pausedMs = 0;

private:
    static FileOps& real() { return PlatformFileOps(); }
};

class File : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "torvane-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/zrk.ini";
        shared.config = SystemConfig::Defaults();
    }
    void TearDown() override {
        for (const std::string& f : files()) ::unlink((dir_ + "/" + f).c_str());
        ::rmdir(dir_.c_str());
    }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
            }
            ::closedir(d);
        }
        return out;
    }
    void write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string read() const {
        std::stringstream s;
        s << std::ifstream(path_, std::ios::binary).rdbuf();
        return s.str();
    }
    int save(FileOps& ops = PlatformFileOps()) { return SettingsFile(ops, path_).Save(shared, [&] { ++reposts; }); }

    std::string dir_, path_;
    Shared shared;
    int reposts = 0;
    const std::string old_ = "[!SystemConfig]\r\nEnabled=1\r\n[old]\r\nleft=1\r\n";
};

TEST_F(File, LoadsOnceWithTheFlagFreeAndRunsOnDefaultsWithoutIt) {
    write("[!SystemConfig]\r\nEnabled=0\r\n[a]\r\n[b]\r\ntitle=x\r\n");
    SettingsFile file(PlatformFileOps(), path_);
    ASSERT_TRUE(shared.busy.tryTake());
    EXPECT_EQ(file.Load(shared), 0);
    EXPECT_TRUE(shared.busy.isHeld());
    EXPECT_EQ(shared.table.count(), 0);
    shared.busy.release();
    EXPECT_EQ(file.Load(shared), 1);
    EXPECT_EQ(Describe({shared.config, shared.table.rules()}), "Enabled=0 [a] [b] title=x");
    EXPECT_FALSE(shared.busy.isHeld());
    ::unlink(path_.c_str());
    EXPECT_EQ(file.Load(shared), 0);
    EXPECT_TRUE(shared.config == SystemConfig::Defaults());
    EXPECT_EQ(shared.table.count(), 0);
    EXPECT_TRUE(files().empty()) << "loading creates nothing";
}

TEST_F(File, SavesWholeAndARequestThatFindsTheFlagHeldIsRepostedNotLost) {
    write(old_);
    shared.table.install({WindowRule::Named("Notepad")});
    ASSERT_TRUE(shared.busy.tryTake());
    EXPECT_EQ(save(), 0);
    EXPECT_EQ(reposts, 1);
    EXPECT_EQ(read(), old_) << "nothing is touched while the flag is held";
    EXPECT_TRUE(shared.busy.isHeld());
    shared.busy.release();
    EXPECT_EQ(save(), 1);
    EXPECT_EQ(reposts, 1);
    EXPECT_EQ(read(), FormatSettings(shared.config, shared.table.rules()));
    EXPECT_EQ(files(), std::vector<std::string>{"zrk.ini"}) << "no temporary file is left";
    EXPECT_FALSE(shared.busy.isHeld());
}

TEST_F(File, EveryFailingStepLeavesTheOldFileWhole) {
    for (Fail step : {Fail::CreateTemp, Fail::Write, Fail::Flush, Fail::Close, Fail::Replace, Fail::ReplaceBusy}) {
        SCOPED_TRACE(static_cast<int>(step));
        write(old_);
        FaultyFileOps ops(step);
        EXPECT_EQ(save(ops), 0);
        EXPECT_EQ(reposts, 0) << "a failed write is not a held flag";
        EXPECT_EQ(read(), old_);
        EXPECT_EQ(files(), std::vector<std::string>{"zrk.ini"}) << "the temporary file is removed";
        EXPECT_FALSE(shared.busy.isHeld());
        if (step == Fail::ReplaceBusy) {
            EXPECT_GT(ops.replaces, 1);
            EXPECT_GT(ops.pausedMs, 0) << "a refused replace is tried again after a pause";
            EXPECT_LE(ops.pausedMs, 200) << "the retry is short and bounded";
        }
    }
    FaultyFileOps busyTwice(Fail::ReplaceBusyTwice);
    EXPECT_EQ(save(busyTwice), 1);
    EXPECT_EQ(busyTwice.replaces, 3);
    EXPECT_EQ(read(), FormatSettings(shared.config, {}));
    EXPECT_EQ(SettingsFile(PlatformFileOps(), dir_ + "/no/such/folder/zrk.ini").Save(shared, {}), 0);
}

TEST_F(File, AFileThatCouldNotBeReadIsNotOverwrittenUntilItIsRemoved) {
    write(old_);
    FaultyFileOps ops(Fail::Read);
    SettingsFile file(ops, path_);
    EXPECT_EQ(file.Load(shared), 0);
    EXPECT_TRUE(file.keepsExistingFile());
    EXPECT_TRUE(shared.config == SystemConfig::Defaults());
    EXPECT_EQ(file.Save(shared, {}), 0);
    ops.failing = Fail::None;
    EXPECT_EQ(file.Save(shared, {}), 0) << "readable now, but its rules were never loaded";
    EXPECT_EQ(read(), old_);
    EXPECT_EQ(ops.reads, 1) << "a save looks only whether the file is there";
    ::unlink(path_.c_str());
    EXPECT_EQ(file.Save(shared, {}), 1);
    EXPECT_EQ(file.Save(shared, {}), 1) << "and goes on working";
    EXPECT_EQ(read(), FormatSettings(shared.config, {}));
}

}  // namespace
}  // namespace torvane
