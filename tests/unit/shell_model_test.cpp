// The main window's decisions, and the bytes of the program's own texts.
#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

#include "shell/shell_model.h"
#include "shell/texts.h"

namespace torvane {
namespace {

using namespace shell;

std::string ToCp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
    std::string in = utf8;
    std::string out(in.size() * 2 + 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) return "<not convertible>";
    out.resize(out.size() - outLeft);
    return out;
}

TEST(ShellTextsTest, JapaneseTextsAreCodePage932Bytes) {
    EXPECT_EQ(texts::kMonitoringOff, ToCp932("監視が無効です"));
    EXPECT_EQ(texts::kAlreadyRunning, ToCp932("すでに起動しています。"));
    EXPECT_EQ(texts::kNoHelpFile, ToCp932("ヘルプファイルがありません"));
    EXPECT_EQ(texts::kNoReadmeFile, ToCp932("Readmeファイルがありません"));
    EXPECT_STREQ(texts::kProductName, "Torvane");
    EXPECT_STREQ(texts::kMainWindowClass, "ZrkwinMainWindowClass");
}

TEST(ShellModelTest, MenuMarksFollowMonitoring) {
    SystemConfig c = SystemConfig::Defaults();
    EXPECT_EQ(MarksFor(c), (MenuMarks{true, true}));
    EXPECT_EQ(ToggleMonitoring(c), (MenuMarks{false, false}));
    EXPECT_FALSE(c.Enabled);
    EXPECT_EQ(ToggleMonitoring(c), (MenuMarks{true, true}));
    EXPECT_TRUE(c.Enabled);
}

TEST(ShellModelTest, TrayEvents) {
    SystemConfig c = SystemConfig::Defaults();
    EXPECT_EQ(OnTrayCallback(c, 0x201), TrayAction::CorrectNow);
    EXPECT_EQ(OnTrayCallback(c, 0x204), TrayAction::ShowMenu);
    for (std::intptr_t other : {0x200, 0x202, 0x203, 0x205, 0x206}) {  // move, up, double click
        EXPECT_EQ(OnTrayCallback(c, other), TrayAction::Nothing) << other;
    }
    c.Enabled = false;
    EXPECT_EQ(OnTrayCallback(c, 0x201), TrayAction::WarnMonitoringOff);
    EXPECT_EQ(OnTrayCallback(c, 0x204), TrayAction::ShowMenu);
}

TEST(ShellModelTest, SecondStartBringsTheIconBackOnce) {
    SystemConfig c = SystemConfig::Defaults();
    EXPECT_EQ(OnSecondStart(c), SecondStartAction::WarnAlreadyRunning);
    c.TaskIcon = false;
    EXPECT_EQ(OnSecondStart(c), SecondStartAction::AddIconAndSave);
    EXPECT_TRUE(c.TaskIcon);
    EXPECT_EQ(OnSecondStart(c), SecondStartAction::WarnAlreadyRunning);
}

TEST(ShellModelTest, HotkeyModifiersAndKey) {
    SystemConfig c = SystemConfig::Defaults();
    EXPECT_EQ(HotkeyFor(c), (Hotkey{1 | 2 | 4, 32}));
    c.ShcutAlt = false;
    c.ShcutShift = false;
    c.ShcutWin = true;
    c.ShcutKey = 0x41;
    EXPECT_EQ(HotkeyFor(c), (Hotkey{2 | 8, 0x41}));
}

TEST(ShellModelTest, DialogOriginsUseIntegerHalves) {
    EXPECT_EQ(SettingsDialogOrigin(1280, 1024), (Origin{290, 112}));
    EXPECT_EQ(SettingsDialogOrigin(1281, 1025), (Origin{290, 112}));
    EXPECT_EQ(AboutBoxOrigin(1280, 1024), (Origin{520, 362}));
    EXPECT_EQ(SettingsDialogOrigin(640, 480), (Origin{-30, -160})) << "no clamping";
}

TEST(ShellModelTest, GivenUpCorrectionsComeBackAsTheSameRequest) {
    EXPECT_EQ(RepostOf({kWmCommand, 32780, 7}), (Message{kWmCommand, 32780, 7}));
    EXPECT_EQ(RepostOf({kWmHotkey, 0, 0x200007}), (Message{kWmHotkey, 0, 0x200007}));
    // A tray click comes back as a button-down, so that monitoring is tested again.
    EXPECT_EQ(RepostOf({kTrayCallbackMessage, 1, 0x202}), (Message{kTrayCallbackMessage, 1, 0x201}));
}

TEST(ShellModelTest, DocumentsOpenAbove32) {
    EXPECT_FALSE(DocumentOpened(2));   // file not found
    EXPECT_FALSE(DocumentOpened(31));  // no association
    EXPECT_FALSE(DocumentOpened(32));
    EXPECT_TRUE(DocumentOpened(33));
}

TEST(ShellModelTest, NoSecondSettingsDialogWhileOneIsOpen) {
    EXPECT_EQ(WhileModal(Modal::None, kCmdSettings), CommandAction::Run);
    EXPECT_EQ(WhileModal(Modal::Settings, kCmdSettings), CommandAction::BringDialogToFront);
    EXPECT_EQ(WhileModal(Modal::About, kCmdSettings), CommandAction::CloseDialogThenRepost);
    EXPECT_EQ(WhileModal(Modal::About, kCmdAbout), CommandAction::BringDialogToFront);
    EXPECT_EQ(WhileModal(Modal::Settings, kCmdAbout), CommandAction::Run);
    EXPECT_EQ(WhileModal(Modal::Settings, kCmdExit), CommandAction::CloseDialogThenRepost);
    EXPECT_EQ(WhileModal(Modal::About, kCmdExit), CommandAction::CloseDialogThenRepost);
    for (int command : {kCmdCorrectNow, kCmdToggleMonitoring, kCmdHelp, kCmdReadme}) {
        EXPECT_EQ(WhileModal(Modal::Settings, command), CommandAction::Run) << command;
    }
}

}  // namespace
}  // namespace torvane
