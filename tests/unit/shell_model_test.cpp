// The main window's decisions, and the bytes of the program's own texts.
#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

#include "shell/shell_model.h"
#include "shell/texts.h"

namespace torvane {
namespace {

using namespace shell;

std::string ToCp932(std::string in) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string out(in.size() * 2 + 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const bool ok = cd != reinterpret_cast<iconv_t>(-1) && iconv(cd, &inp, &inLeft, &outp, &outLeft) != std::size_t(-1);
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    out.resize(out.size() - outLeft);
    return ok ? out : "<not convertible>";
}

TEST(Texts, AreCodePage932Bytes) {
    const std::pair<const char*, const char*> texts[] = {
        {texts::kMonitoringOff, "監視が無効です"},
        {texts::kAlreadyRunning, "すでに起動しています。"},
        {texts::kNoHelpFile, "ヘルプファイルがありません"},
        {texts::kNoReadmeFile, "Readmeファイルがありません"},
        {texts::kSettingsUnreadable,
         "設定ファイル zrk.ini を読み込めませんでした。\n今回は標準の設定で動きます。"
         "このファイルは上書きしないので、変更は保存されません。"},
    };
    for (const auto& [bytes, utf8] : texts) EXPECT_EQ(bytes, ToCp932(utf8)) << utf8;
}

TEST(Shell, MarksTrayEventsAndTheSecondStartFollowTheOptions) {
    SystemConfig c = SystemConfig::Defaults();
    EXPECT_EQ(MarksFor(c), (MenuMarks{true, true}));
    EXPECT_EQ(OnTrayCallback(c, 0x201), TrayAction::CorrectNow);
    EXPECT_EQ(ToggleMonitoring(c), (MenuMarks{false, false}));
    EXPECT_FALSE(c.Enabled);
    EXPECT_EQ(OnTrayCallback(c, 0x201), TrayAction::WarnMonitoringOff);
    EXPECT_EQ(OnTrayCallback(c, 0x204), TrayAction::ShowMenu);
    for (std::intptr_t other : {0x200, 0x202, 0x203, 0x205, 0x206})  // move, up, double click
        EXPECT_EQ(OnTrayCallback(c, other), TrayAction::Nothing) << other;
    EXPECT_EQ(ToggleMonitoring(c), (MenuMarks{true, true}));
    EXPECT_TRUE(c.Enabled);

    EXPECT_EQ(OnSecondStart(c), SecondStartAction::WarnAlreadyRunning);
    c.TaskIcon = false;
    EXPECT_EQ(OnSecondStart(c), SecondStartAction::AddIconAndSave);
    EXPECT_TRUE(c.TaskIcon);

    EXPECT_EQ(HotkeyFor(c), (Hotkey{1 | 2 | 4, 32}));
    c.ShcutAlt = c.ShcutCtrl = false;
    c.ShcutWin = true;
    c.ShcutKey = 0x41;
    EXPECT_EQ(HotkeyFor(c), (Hotkey{4 | 8, 0x41}));
}

TEST(Shell, DialogOriginsRepostsDocumentsAndCommandsWhileADialogIsOpen) {
    EXPECT_EQ(SettingsDialogOrigin(1281, 1025), (Origin{290, 112}));
    EXPECT_EQ(AboutBoxOrigin(1280, 1024), (Origin{520, 362}));
    EXPECT_EQ(SettingsDialogOrigin(640, 480), (Origin{-30, -160})) << "no clamping";
    EXPECT_EQ(RepostOf({kWmCommand, 32780, 7}), (Message{kWmCommand, 32780, 7}));
    EXPECT_EQ(RepostOf({kWmHotkey, 0, 0x200007}), (Message{kWmHotkey, 0, 0x200007}));
    // A tray click comes back as a button-down, so that monitoring is tested again.
    EXPECT_EQ(RepostOf({kTrayCallbackMessage, 1, 0x202}), (Message{kTrayCallbackMessage, 1, 0x201}));
    EXPECT_FALSE(DocumentOpened(32));
    EXPECT_TRUE(DocumentOpened(33));
    const struct {
        Modal open;
        int command;
        CommandAction action;
    } cases[] = {
        {Modal::None, kCmdSettings, CommandAction::Run},
        {Modal::Settings, kCmdSettings, CommandAction::BringDialogToFront},
        {Modal::About, kCmdSettings, CommandAction::CloseDialogThenRepost},
        {Modal::About, kCmdAbout, CommandAction::BringDialogToFront},
        {Modal::Settings, kCmdAbout, CommandAction::Run},
        {Modal::Settings, kCmdExit, CommandAction::CloseDialogThenRepost},
        {Modal::About, kCmdExit, CommandAction::CloseDialogThenRepost},
        {Modal::Settings, kCmdCorrectNow, CommandAction::Run},
        {Modal::Settings, kCmdToggleMonitoring, CommandAction::Run},
        {Modal::About, kCmdHelp, CommandAction::Run},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WhileModal(c.open, c.command), c.action) << static_cast<int>(c.open) << " " << c.command;
}

}  // namespace
}  // namespace torvane
