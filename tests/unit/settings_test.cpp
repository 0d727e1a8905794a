// The settings file on disk: a save leaves the old or the new file whole,
// whatever fails. And the program's own texts as code page 932 bytes.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resource.h"
#include "settings/hotkey_keys.h"
#include "settings/settings_file.h"
#include "settings/settings_format.h"
#include "settings/texts.h"
#include "shell/texts.h"
#include "support/scenario.h"

namespace torvane {
namespace {

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
    std::vector<std::string> Siblings(const std::string& path) override { return real().Siblings(path); }
    bool ProcessRuns(unsigned long pid) override { return real().ProcessRuns(pid); }
    unsigned long ProcessId() override { return real().ProcessId(); }
    FileFailure LastFailure() override { return real().LastFailure(); }
    std::string FullPath(const std::string& path) override { return real().FullPath(path); }

    Fail failing;
    int reads = 0, replaces = 0, pausedMs = 0;

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
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& f : std::filesystem::directory_iterator(dir_)) out.push_back(f.path().filename().string());
        return out;
    }
    void write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool save(FileOps& ops = PlatformFileOps()) {
        return SettingsFile(ops, path_).Save(shared, [&] { ++reposts; }).outcome == SaveResult::Written;
    }

    std::string dir_, path_;
    Shared shared;
    int reposts = 0;
    const std::string old_ = "[!SystemConfig]\r\nEnabled=1\r\n[old]\r\nleft=1\r\n";
};

TEST_F(File, LoadsAndRunsOnDefaultsWithoutIt) {
    write("[!SystemConfig]\r\nEnabled=0\r\n[a]\r\n[b]\r\ntitle=x\r\n");
    SettingsFile file(PlatformFileOps(), path_);
    EXPECT_TRUE(file.Load(shared));
    EXPECT_FALSE(file.keepsExistingFile()) << "a file read is written again";
    EXPECT_FALSE(shared.config.monitoring);
    EXPECT_EQ(shared.table.count(), 2);
    EXPECT_FALSE(shared.busy.isHeld());
    std::filesystem::remove(path_);
    EXPECT_FALSE(file.Load(shared));
    EXPECT_TRUE(shared.config == SystemConfig::Defaults());
    EXPECT_EQ(shared.table.count(), 0);
    EXPECT_TRUE(files().empty()) << "loading creates nothing";
    EXPECT_EQ(ReadNumber(std::string_view("123456", 3)), 123) << "a number ends with its text";
    WindowRule odd = WindowRule::Named("!name\nnext");  // neither comes from the dialogs: the writer holds all the same
    odd.title.assign("!a\nb");
    const ParsedSettings back = ParseSettings(FormatSettings(shared.config, {odd}));
    ASSERT_EQ(back.rules.size(), 1u);
    EXPECT_EQ(std::string(back.rules[0].name.view()) + "|" + std::string(back.rules[0].title.view()), "\x81\x49name next|!a b");
}

TEST_F(File, EveryFailingStepLeavesTheOldFileWhole) {
    for (Fail step : {Fail::CreateTemp, Fail::Write, Fail::Flush, Fail::Close, Fail::Replace, Fail::ReplaceBusy}) {
        SCOPED_TRACE(static_cast<int>(step));
        write(old_);
        FaultyFileOps ops(step);
        EXPECT_FALSE(save(ops));
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
    EXPECT_TRUE(save(busyTwice));
    EXPECT_EQ(busyTwice.replaces, 3);
    EXPECT_EQ(read(), FormatSettings(shared.config, {}));
    EXPECT_FALSE(SettingsFile(PlatformFileOps(), dir_ + "/no/such/folder/zrk.ini").Save(shared, {}).outcome == SaveResult::Written);
}

TEST_F(File, AFileThatCouldNotBeReadIsNotOverwrittenUntilItIsRemoved) {
    write(old_);
    FaultyFileOps ops(Fail::Read);
    SettingsFile file(ops, path_);
    EXPECT_FALSE(file.Load(shared));
    EXPECT_TRUE(file.keepsExistingFile());
    EXPECT_TRUE(shared.config == SystemConfig::Defaults());
    EXPECT_FALSE(file.Save(shared, {}).outcome == SaveResult::Written);
    ops.failing = Fail::None;
    EXPECT_FALSE(file.Save(shared, {}).outcome == SaveResult::Written) << "readable now, but its rules were never loaded";
    EXPECT_EQ(read(), old_);
    EXPECT_EQ(ops.reads, 1) << "a save looks only whether the file is there";
    std::filesystem::remove(path_);
    EXPECT_TRUE(file.Save(shared, {}).outcome == SaveResult::Written);
    EXPECT_TRUE(file.Save(shared, {}).outcome == SaveResult::Written) << "and goes on working";
    EXPECT_EQ(read(), FormatSettings(shared.config, {}));
}

// The next save removes the temporary files of ended processes and its own, nothing else.
TEST_F(File, ASaveRemovesWhatKilledSavesLeft) {
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const std::string gone = std::to_string(dead);
    const std::vector<std::string> kept = {"zrk.ini.1.1.tmp", "zrk.ini.bak", "zrk.ini." + gone + ".tmp",
                                           "zrk.ini.x." + gone + ".tmp", "zrk.ini." + gone + ".1.tmp.old",
                                           "other." + gone + ".1.tmp", "zrk.ini." + gone + ".1x.tmp",
                                           "zrk.ini.4294967296.1.tmp"};
    for (const std::string& name : kept) std::ofstream(dir_ + "/" + name) << "x";
    for (unsigned long pid : {static_cast<unsigned long>(dead), static_cast<unsigned long>(::getpid())})
        std::ofstream(TempFileName(path_, pid, 3)) << "half a file";
    EXPECT_TRUE(save());
    std::vector<std::string> left = files(), expected = kept;
    expected.push_back("zrk.ini");
    std::sort(left.begin(), left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected) << "process 1 runs; the other names are no temporary files of a save of zrk.ini";
}

TEST(Texts, AreCodePage932Bytes) {
    const std::pair<std::string, const char*> texts[] = {
        {texts::kMonitoringOff, "監視が無効です"},
        {texts::kAlreadyRunning, "すでに起動しています。"},
        {texts::kNoHelpFile, "ヘルプファイルがありません"},
        {texts::kNoReadmeFile, "Readmeファイルがありません"},
        {texts::kSettingsUnreadable,
         "設定ファイル zrk.ini を読み込めませんでした。\n今回は標準の設定で動きます。"
         "このファイルは上書きしないので、変更は保存されません。"},
        {texts::HotkeyRefused("Ctrl+Alt+space"),
         "ショートカットキー Ctrl+Alt+space を登録できませんでした。\n"
         "ほかのプログラムが使っているようです。設定で別のキーを選んでください。"},
        {texts::kRefusedTitle, "Torvane: 移動できないウィンドウ"},
        {settings::kMarkRefused, "［管理者］"},
    };
    for (const auto& [bytes, utf8] : texts) EXPECT_EQ(bytes, scenario::ToCp932(utf8)) << utf8;
    // A balloon's texts are cut to their bytes on a character boundary,
    // a second byte that looks like ASCII ("表" is 0x95 0x5C) included.
    const std::string name = scenario::ToCp932("表示ab表");
    const std::pair<std::size_t, const char*> cuts[] = {{1, ""}, {2, "表"}, {5, "表示a"}, {7, "表示ab"}, {99, "表示ab表"}};
    for (const auto& [most, utf8] : cuts) EXPECT_EQ(std::string(texts::Cut(name, most)), scenario::ToCp932(utf8)) << most;
    const std::string longest = texts::Refused(std::string(300, 'r'), scenario::ToCp932(std::string(100, 'w') + "表表表"));
    EXPECT_TRUE(longest.size() <= 255 && longest.find(std::string(40, 'r') + scenario::ToCp932("」")) != std::string::npos);
    // Each help text begins with its caption, "：" and a blank line.
    int helped = 0;
    for (int id = -1; id < 1100; ++id) {
        if (const settings::Help* h = settings::HelpFor(id)) {
            ++helped;
            EXPECT_EQ(std::string(h->text).rfind(std::string(h->caption) + "\x81\x46\n\n", 0), 0u) << id;
        }
    }
    EXPECT_EQ(helped, 40);
    EXPECT_TRUE(!settings::HelpFor(IDC_VISIBLE_BAR) && !settings::HelpFor(IDC_RULE_BAR)) << "the scroll bars have no help";
}

// Each key of the list has a code of its own: the key saved is the key shown again.
TEST(KeyList, EveryKeyComesBackFromItsCode) {
    const std::vector<settings::HotkeyKey>& keys = settings::HotkeyKeyTable();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].code == 0) continue;  // the blank entries
        EXPECT_EQ(settings::KeyEntryOf(keys[i].code), static_cast<int>(i)) << keys[i].text;
    }
}

}  // namespace
}  // namespace torvane
