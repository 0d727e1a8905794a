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
const char kNoPdfViewer[] =
    "使い方ガイド HowtoUse.pdf を開くソフトがありません。\n"
    "PDF を表示するソフトを入れてから、もう一度「ヘルプ」を選んでください。";

std::string CannotOpen(const std::string& path) {
    std::string name = path;
    if (name.rfind("./", 0) == 0) name.erase(0, 2);
    return name + " を開けませんでした。\nファイルはありますが、開くソフトが起動できませんでした。";
}
const char kSettingsUnreadable[] =
    "設定ファイル zrk.ini を読み込めませんでした。\n"
    "今回は標準の設定で動きます。このファイルは上書きしないので、変更は保存されません。";

const char kCauseDenied[] = "ファイルに書き込む権限がありません（読み取り専用のファイルか、書き込めないフォルダーです）。";
const char kCauseInUse[] = "ほかのプログラムがファイルを使っています。";
const char kCauseFull[] = "ディスクに空きがありません。";
const char kCauseFolder[] = "同じ名前のフォルダーがあります。";
const char kCauseProtected[] = "起動したときに読み込めなかったファイルなので、上書きしていません。";

std::string CauseOther(unsigned long code) {
    return "ファイルを書き込めませんでした（エラー番号 " + std::to_string(code) + "）。";
}

std::string CauseBackup(const std::string& backupPath, const std::string& cause) {
    return "元のファイルを " + backupPath + " として残せなかったので、上書きしていません。\n" + cause;
}

std::string SaveFailed(const std::string& path, const std::string& cause) {
    return "設定をファイルに保存できませんでした。\n" + path + "\n\n" + cause +
           "\n\n変更は Torvane が動いている間は有効です。"
           "このあと設定が変わって保存できたときに、まとめて書き込まれます。";
}

std::string HotkeyRefused(const std::string& chord) {
    return "ショートカットキー " + chord +
           " を登録できませんでした。\n"
           "ほかのプログラムが使っているようです。設定で別のキーを選んでください。";
}

std::string_view Cut(std::string_view text, std::size_t most) {
    std::size_t end = 0;
    while (end < text.size()) {
        const auto lead = static_cast<unsigned char>(text[end]);
        const std::size_t step = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
        if (end + step > most || end + step > text.size()) break;
        end += step;
    }
    return text.substr(0, end);
}

const char kRefusedTitle[] = "Torvane: 移動できないウィンドウ";

std::string Refused(std::string_view rule, std::string_view window) {
    // The names are cut first, so that what the notice says stays whole.
    std::string text = "「";
    text.append(Cut(window, 60)).append("」（ルール「").append(Cut(rule, 40)).append(
        "」）は、管理者として実行されているプログラムのウィンドウなので移動できません。"
        "Torvane も管理者として実行すると移動できます。");
    return std::string(Cut(text, 255));
}

}  // namespace torvane::texts
