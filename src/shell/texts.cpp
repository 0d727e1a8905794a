// Compiled with -fexec-charset=CP932: every literal here is code page 932.
#include "shell/texts.h"

namespace torvane::texts {

const char kProductName[] = "Torvane";
const char kMainWindowClass[] = "ZrkwinMainWindowClass";
const char kHelpDocument[] = "./HowtoUse.pdf";
const char kReadmeDocument[] = "./readme.txt";
const char kMonitoringOff[] = "監視が無効です";
const char kAlreadyRunning[] = "すでに起動しています。";
const char kNoHelpFile[] = "ヘルプファイルがありません";
const char kNoReadmeFile[] = "Readmeファイルがありません";
const char kSettingsUnreadable[] =
    "設定ファイル zrk.ini を読み込めませんでした。\n"
    "今回は標準の設定で動きます。このファイルは上書きしないので、変更は保存されません。";

std::string HotkeyRefused(const std::string& chord) {
    return "ショートカットキー " + chord +
           " を登録できませんでした。\n"
           "ほかのプログラムが使っているようです。設定で別のキーを選んでください。";
}

}  // namespace torvane::texts
