// The settings dialog's own texts, as the code page 932 bytes that reach the
// 8-bit platform functions (texts.cpp is compiled to code page 932).
#pragma once

namespace torvane::settings {

// What the help box shows for a control: its caption and text.
struct Help {
    int id;
    const char* caption;
    const char* text;
};
// The help of control `id`, or none for controls without help (labels,
// group boxes, the scroll bars).
const Help* HelpFor(int id);

// The state list's entries, in order: the window's own state, normal,
// minimized, maximized.
extern const char* const kStateNames[4];

// The marks of the window list's rows: a window of a program that runs as
// administrator, and one whose program does not answer.
extern const char kMarkRefused[];
extern const char kMarkNotAnswering[];

extern const char kNoticeCaption[];      // "通知"
extern const char kAlreadyAdded[];       // the keys of a new rule are in the table already
extern const char kLineBreakInKeys[];    // a class or title with a line break cannot be kept in the file

}  // namespace torvane::settings
