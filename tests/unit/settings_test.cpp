// The settings file: random files and tables written, read back and written
// again, and a save that leaves either the old or the new file whole whatever
// fails. What the reader makes of particular files is in the scenarios.
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
    EXPECT_EQ(ReadNumber(std::string_view("123456", 3)), 123) << "a number ends with its text";
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
    EXPECT_FALSE(shared.config.Enabled);
    EXPECT_EQ(shared.table.count(), 2);
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
