// The settings file on disk: loading, the busy-flag protocol of the writer,
// and a save that leaves either the old or the new file whole whatever fails.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rules/settings_file.h"
#include "rules/settings_format.h"

namespace torvane {
namespace {

enum class Step { None, CreateTemp, Write, Flush, Close, Replace, ReplaceBusy, ReplaceBusyTwice };

// The platform's file operations, with one step made to fail.
class FaultyFileOps final : public FileOps {
public:
    explicit FaultyFileOps(Step failing) : failing_(failing) {}

    ReadStatus ReadWhole(const std::string& path, std::string& out) override {
        if (unreadable_) return ReadStatus::Failed;
        return real().ReadWhole(path, out);
    }
    bool CreateTemp(const std::string& beside, std::string& temp, Handle& h) override {
        return failing_ != Step::CreateTemp && real().CreateTemp(beside, temp, h);
    }
    bool Write(Handle h, const char* data, std::size_t size) override {
        if (failing_ == Step::Write) {
            // A full disk: part of the bytes got out before the failure.
            real().Write(h, data, size / 2);
            return false;
        }
        return real().Write(h, data, size);
    }
    bool Flush(Handle h) override { return failing_ != Step::Flush && real().Flush(h); }
    bool Close(Handle h) override {
        bool closed = real().Close(h);
        return failing_ != Step::Close && closed;
    }
    ReplaceStatus Replace(const std::string& from, const std::string& to) override {
        ++replaceAttempts;
        if (failing_ == Step::Replace) return ReplaceStatus::Failed;
        if (failing_ == Step::ReplaceBusy) return ReplaceStatus::Busy;
        if (failing_ == Step::ReplaceBusyTwice && replaceAttempts <= 2) return ReplaceStatus::Busy;
        return real().Replace(from, to);
    }
    void Remove(const std::string& path) override { real().Remove(path); }
    void Pause(int ms) override { pausedMs += ms; }

    void setUnreadable(bool on) { unreadable_ = on; }
    int replaceAttempts = 0;
    int pausedMs = 0;

private:
    static FileOps& real() { return PlatformFileOps(); }
    Step failing_;
    bool unreadable_ = false;
};

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "torvane-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/zrk.ini";
    }
    void TearDown() override {
        for (const std::string& f : files()) ::unlink((dir_ + "/" + f).c_str());
        ::rmdir(dir_.c_str());
    }

    std::vector<std::string> files() const {
        std::vector<std::string> out;
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") out.push_back(n);
            }
            ::closedir(d);
        }
        return out;
    }
    void writeFile(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string readFile() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_;
    std::string path_;
};

const std::string kOldFile = "[!SystemConfig]\r\nEnabled=1\r\n[old]\r\nleft=1\r\n";

TEST_F(SettingsFileTest, LoadReadsTheFileIntoTheSharedState) {
    writeFile("[!SystemConfig]\r\nEnabled=0\r\n[a]\r\n[b]\r\ntitle=x\r\n");
    Shared shared;
    SettingsFile file(PlatformFileOps(), path_);
    EXPECT_EQ(file.Load(shared), 1);
    EXPECT_FALSE(shared.config.Enabled);
    EXPECT_TRUE(shared.config.TaskIcon);
    ASSERT_EQ(shared.table.count(), 2);
    EXPECT_EQ(shared.table[1].title.view(), "x");
    EXPECT_FALSE(shared.busy.isHeld());
}

TEST_F(SettingsFileTest, LoadWithoutAFileGivesDefaultsAndCreatesNothing) {
    Shared shared;
    shared.table.install({WindowRule::Named("stale")});
    SettingsFile file(PlatformFileOps(), path_);
    EXPECT_EQ(file.Load(shared), 0);
    EXPECT_TRUE(shared.config == SystemConfig::Defaults());
    EXPECT_EQ(shared.table.count(), 0);
    EXPECT_TRUE(files().empty());
}

TEST_F(SettingsFileTest, LoadGivesUpWhenTheBusyFlagIsHeld) {
    writeFile("[a]\r\n");
    Shared shared;
    ASSERT_TRUE(shared.busy.tryTake());
    SettingsFile file(PlatformFileOps(), path_);
    EXPECT_EQ(file.Load(shared), 0);
    EXPECT_EQ(shared.table.count(), 0);
    EXPECT_TRUE(shared.config == SystemConfig::Defaults());
    EXPECT_TRUE(shared.busy.isHeld());
}

TEST_F(SettingsFileTest, SaveWritesTheWholeFileAndLeavesNoTemporaryFile) {
    writeFile(kOldFile);
    Shared shared;
    shared.config = SystemConfig::Defaults();
    shared.table.install({WindowRule::Named("Notepad")});
    SettingsFile file(PlatformFileOps(), path_);
    int reposts = 0;
    EXPECT_EQ(file.Save(shared, [&] { ++reposts; }), 1);
    EXPECT_EQ(reposts, 0);
    EXPECT_EQ(readFile(), FormatSettings(shared.config, shared.table.rules()));
    EXPECT_EQ(files(), std::vector<std::string>{"zrk.ini"});
    EXPECT_FALSE(shared.busy.isHeld());

    // And what was written loads back as the same table.
    Shared again;
    EXPECT_EQ(SettingsFile(PlatformFileOps(), path_).Load(again), 1);
    ASSERT_EQ(again.table.count(), 1);
    EXPECT_TRUE(again.table[0].sameSettings(shared.table[0]));
}

TEST_F(SettingsFileTest, SaveWhileTheFlagIsHeldIsRepostedNotLost) {
    writeFile(kOldFile);
    Shared shared;
    shared.config = SystemConfig::Defaults();
    SettingsFile file(PlatformFileOps(), path_);
    ASSERT_TRUE(shared.busy.tryTake());
    int reposts = 0;
    EXPECT_EQ(file.Save(shared, [&] { ++reposts; }), 0);
    EXPECT_EQ(reposts, 1);
    EXPECT_EQ(readFile(), kOldFile) << "nothing is touched while the flag is held";
    EXPECT_TRUE(shared.busy.isHeld());
    // The re-posted request finds the flag free later and saves.
    shared.busy.release();
    EXPECT_EQ(file.Save(shared, [&] { ++reposts; }), 1);
    EXPECT_EQ(reposts, 1);
    EXPECT_EQ(readFile(), FormatSettings(shared.config, {}));
}

TEST_F(SettingsFileTest, EveryFailingStepLeavesTheOldFileWhole) {
    for (Step step : {Step::CreateTemp, Step::Write, Step::Flush, Step::Close, Step::Replace, Step::ReplaceBusy}) {
        SCOPED_TRACE(static_cast<int>(step));
        writeFile(kOldFile);
        Shared shared;
        shared.config = SystemConfig::Defaults();
        shared.table.install({WindowRule::Named("new")});
        FaultyFileOps ops(step);
        SettingsFile file(ops, path_);
        int reposts = 0;
        EXPECT_EQ(file.Save(shared, [&] { ++reposts; }), 0);
        EXPECT_EQ(reposts, 0) << "a failed write is not a held flag";
        EXPECT_EQ(readFile(), kOldFile);
        EXPECT_EQ(files(), std::vector<std::string>{"zrk.ini"}) << "the temporary file is removed";
        EXPECT_FALSE(shared.busy.isHeld());
    }
}

TEST_F(SettingsFileTest, AReplaceRefusedForAWhileIsRetriedBriefly) {
    writeFile(kOldFile);
    Shared shared;
    shared.config = SystemConfig::Defaults();
    FaultyFileOps busyTwice(Step::ReplaceBusyTwice);
    EXPECT_EQ(SettingsFile(busyTwice, path_).Save(shared, {}), 1);
    EXPECT_EQ(busyTwice.replaceAttempts, 3);
    EXPECT_EQ(readFile(), FormatSettings(shared.config, {}));

    FaultyFileOps alwaysBusy(Step::ReplaceBusy);
    EXPECT_EQ(SettingsFile(alwaysBusy, path_).Save(shared, {}), 0);
    EXPECT_GT(alwaysBusy.replaceAttempts, 1);
    EXPECT_LE(alwaysBusy.pausedMs, 200) << "the retry is short and bounded";
}

TEST_F(SettingsFileTest, AFileThatCouldNotBeReadIsNotOverwritten) {
    writeFile(kOldFile);
    Shared shared;
    FaultyFileOps ops(Step::None);
    ops.setUnreadable(true);
    SettingsFile file(ops, path_);
    EXPECT_EQ(file.Load(shared), 0);
    EXPECT_TRUE(shared.config == SystemConfig::Defaults());
    EXPECT_EQ(file.Save(shared, {}), 0);
    ops.setUnreadable(false);
    EXPECT_EQ(file.Save(shared, {}), 0) << "readable now, but its rules were never loaded";
    EXPECT_EQ(readFile(), kOldFile);
    // Once the user has removed it, saving works again.
    ::unlink(path_.c_str());
    EXPECT_EQ(file.Save(shared, {}), 1);
    EXPECT_EQ(readFile(), FormatSettings(shared.config, {}));
}

TEST_F(SettingsFileTest, SaveIntoAMissingFolderFailsSoundly) {
    Shared shared;
    shared.config = SystemConfig::Defaults();
    SettingsFile file(PlatformFileOps(), dir_ + "/no/such/folder/zrk.ini");
    EXPECT_EQ(file.Save(shared, {}), 0);
    EXPECT_FALSE(shared.busy.isHeld());
}

}  // namespace
}  // namespace torvane
