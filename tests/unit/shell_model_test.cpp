// The main window's decisions, and the program's own texts: their bytes and
// the help table's shape.
#include <gtest/gtest.h>

#include <string>

#include "shell/shell_model.h"
#include "settings/texts.h"
#include "shell/texts.h"
#include "support/scenario.h"

namespace torvane {
namespace {

using namespace shell;

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
    for (const auto& [bytes, utf8] : texts) EXPECT_EQ(bytes, scenario::ToCp932(utf8)) << utf8;
    // Each help text begins with its caption, "：" and a blank line.
    int helped = 0;
    for (int id = -1; id < 1100; ++id) {
        if (const settings::Help* h = settings::HelpFor(id)) {
            ++helped;
            EXPECT_EQ(std::string(h->text).rfind(std::string(h->caption) + "\x81\x46\n\n", 0), 0u) << id;
        }
    }
    EXPECT_EQ(helped, 39);
}

// The scenarios give the marks, the clicks and the second start; here the
// events that do nothing and the Windows key.
TEST(Shell, TrayEventsAndTheHotkey) {
    SystemConfig c = SystemConfig::Defaults();
    for (std::intptr_t other : {0x200, 0x202, 0x203, 0x205, 0x206})  // move, up, double click
        EXPECT_EQ(OnTrayCallback(c, other), TrayAction::Nothing) << other;
    EXPECT_EQ(OnTrayCallback(c, 0x204), TrayAction::ShowMenu);
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
