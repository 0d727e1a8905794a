// The program's own texts, as the code page 932 bytes that reach the 8-bit
// platform functions. Written as escaped bytes so that every build agrees on
// them byte for byte; the Japanese stands in the comment above each one.
#pragma once

namespace torvane::texts {

inline constexpr char kProductName[] = "Torvane";
inline constexpr char kMainWindowClass[] = "ZrkwinMainWindowClass";
inline constexpr char kVersionLine[] = "Torvane ver5.23";
inline constexpr char kTaskbarClass[] = "Shell_TrayWnd";
inline constexpr char kHelpDocument[] = "./HowtoUse.pdf";
inline constexpr char kReadmeDocument[] = "./readme.txt";

// "監視が無効です" (monitoring is off)
inline constexpr char kMonitoringOff[] = "\x8A\xC4\x8E\x8B\x82\xAA\x96\xB3\x8C\xF8\x82\xC5\x82\xB7";
// "すでに起動しています。" (already running)
inline constexpr char kAlreadyRunning[] =
    "\x82\xB7\x82\xC5\x82\xC9\x8B\x4E\x93\xAE\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81\x42";
// "ヘルプファイルがありません" (no help file)
inline constexpr char kNoHelpFile[] =
    "\x83\x77\x83\x8B\x83\x76\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// "Readmeファイルがありません" (no readme file)
inline constexpr char kNoReadmeFile[] =
    "Readme\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";

}  // namespace torvane::texts
