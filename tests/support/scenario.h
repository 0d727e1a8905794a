// The scenario files' language, shared by the two players: the Windows
// driver, which plays scenarios against the real program under Wine, and
// the unit tests, which play them against the portable core. Texts are
// UTF-8 in the files and code page 932 bytes once read; docs/testing.md
// describes the format.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace scenario {

struct Failure {
    std::string message;
};
[[noreturn]] inline void Fail(const std::string& message) { throw Failure{message}; }
inline void Check(bool ok, const std::string& message) { ok ? void() : Fail(message); }

// UTF-8 as the program's code page 932 bytes: each player supplies it.
std::string ToCp932(const std::string& utf8);

// A scenario's text as code page 932 bytes. Escapes give bytes that UTF-8
// cannot: \xNN, \r, \n; \z stands for nothing (a file line without a line
// end); \\ and \" for themselves. They are decoded before the conversion, so
// that a converted second byte 0x5C never starts one.
inline std::string Decode(const std::string& utf8) {
    std::string out, run;
    auto flush = [&] { out += ToCp932(std::exchange(run, {})); };
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\\' || i + 1 == utf8.size()) {
            run += utf8[i];
            continue;
        }
        flush();
        const char e = utf8[++i];
        if (e == 'x' && i + 2 < utf8.size()) {
            out += static_cast<char>(std::strtoul(utf8.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else if (e != 'z') {
            out += e == 'r' ? '\r' : e == 'n' ? '\n' : e;
        }
    }
    flush();
    return out;
}

// Bytes as readable C escapes, for failure messages.
inline std::string Escaped(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c == '\r' ? "\\r" : c == '\n' ? "\\n\n    " : (c >= 0x20 && c < 0x7F && c != '\\') ? std::string(1, c) : hex;
    }
    return out;
}

inline int Number(const std::string& word) {
    char* end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 0);
    Check(!word.empty() && *end == '\0', "not a number: " + word);
    return static_cast<int>(value);
}

// --- scenarios ---

// One step: its words, the lines of its block (a file's lines, as bytes), or
// the steps of its body (repeat).
struct Step {
    std::string where;  // file:line
    std::vector<std::string> words;
    std::vector<std::string> block;
    std::vector<Step> body;
};

inline std::string Trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// Words separated by blanks; "quoted words" may hold blanks. Each word is decoded.
inline std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string raw;
        for (bool quoted = false; i < line.size() && (quoted || line[i] != ' '); ++i) {
            if (line[i] == '"') quoted = !quoted;
            else raw += line[i] == '\\' && i + 1 < line.size() ? line.substr(i++, 2) : line.substr(i, 1);
        }
        words.push_back(Decode(raw));
    }
    return words;
}

// A block line's bytes: with CR LF, unless it ends in \n or \z. "@system k=v"
// and "@rule <name> k=v" give the section as the writer writes it, with the
// defaults where no value is named.
inline std::string BlockLine(const std::string& raw) {
    const std::vector<std::string> w = Words(raw);
    if (w.empty() || (w[0] != "@system" && w[0] != "@rule")) {
        const bool ownEnd = raw.size() >= 2 && raw[raw.size() - 2] == '\\' && (raw.back() == 'n' || raw.back() == 'z');
        return Decode(raw) + (ownEnd ? "" : "\r\n");
    }
    const bool system = w[0] == "@system";
    Check(system || w.size() >= 2, "@rule needs a name");
    // The keys in the writer's order, with the defaults.
    std::vector<std::pair<std::string, std::string>> keys;
    for (const std::string& kv :
         Words(system ? "Enabled=1 TaskIcon=1 ShcutCtrl=1 ShcutAlt=1 ShcutShift=1 ShcutWin=0 ShcutKey=32"
                      : "class= title= usclsttle=2 movex=0 movey=0 sizex=0 sizey=0 lmovex=0 lmovey=0 lsizex=0 lsizey=0 "
                        "left=0 top=0 width=0 height=0 msfstt=0 state=-1 forcestt=0 fstforce=1"))
        keys.emplace_back(kv.substr(0, kv.find('=')), kv.substr(kv.find('=') + 1));
    if (!system) keys[0].second = w[1];
    for (std::size_t i = system ? 1 : 2; i < w.size(); ++i) {
        const std::string key = w[i].substr(0, w[i].find('='));
        bool found = false;
        for (auto& [k, v] : keys) {
            if (k == key && key.size() < w[i].size()) v = w[i].substr(key.size() + 1), found = true;
        }
        Check(found, "no key " + w[i] + " in " + w[0]);
    }
    std::string out = system ? "[!SystemConfig]\r\n" : "[" + w[1] + "]\r\n";
    for (const auto& [k, v] : keys) out += k + "=" + v + "\r\n";
    return out;
}

// The steps up to "end" (nested) or the next scenario.
inline std::vector<Step> ParseSteps(const std::string& file, const std::vector<std::string>& lines, std::size_t& i,
                             bool nested) {
    std::vector<Step> steps;
    for (; i < lines.size(); ++i) {
        const std::string text = Trim(lines[i]);
        if (text.empty() || text[0] == '#') continue;
        if (text.rfind("scenario ", 0) == 0 || text == "end") break;
        Step step{file + ":" + std::to_string(i + 1), Words(text), {}, {}};
        if (step.words[0] == "zrk.ini" || step.words[0] == "file") {
            while (++i < lines.size() && Trim(lines[i]) != "end") step.block.push_back(BlockLine(Trim(lines[i])));
        } else if (step.words[0] == "repeat") {
            step.body = ParseSteps(file, lines, ++i, true);
        }
        steps.push_back(std::move(step));
    }
    Check(nested == (i < lines.size() && Trim(lines[i]) == "end"), file + ":" + std::to_string(i + 1) + ": end?");
    return steps;
}

struct Scenario {
    std::string name;
    std::vector<Step> steps;
};

// Every scenario of a file's text.
inline std::vector<Scenario> ParseScenarios(const std::string& file, const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::vector<Scenario> scenarios;
    for (std::size_t i = 0; i < lines.size();) {
        const std::string line = Trim(lines[i++]);
        if (line.rfind("scenario ", 0) != 0) {
            Check(line.empty() || line[0] == '#', file + ":" + std::to_string(i) + ": outside a scenario");
            continue;
        }
        scenarios.push_back({Trim(line.substr(9)), ParseSteps(file, lines, i, false)});
    }
    return scenarios;
}

// --- playing ---

// A rectangle as the scenarios give it: "x,y,w,h".
struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Box&, const Box&) = default;
};
inline Box ParseBox(const std::string& word) {
    Box b;
    Check(std::sscanf(word.c_str(), "%d,%d,%d,%d", &b.x, &b.y, &b.w, &b.h) == 4, "not x,y,w,h: " + word);
    return b;
}
inline std::string Describe(const Box& b) {
    return std::to_string(b.x) + "," + std::to_string(b.y) + "," + std::to_string(b.w) + "," + std::to_string(b.h);
}

// What a scenario reads of a dialog's control.
struct ControlState {
    bool enabled = false, checked = false, visible = false;
    std::string text;
    std::vector<std::string> rows;  // of a list or a drop-down list
    int selected = -1, top = 0;
    std::string bar;  // a scroll bar's "min max page position"
};

// What a player acts on: the program, the windows of other programs around
// it, and the program's dialogs. The Wine driver has the real ones; the
// unit tests have the core's parts on a fake desktop and fake dialogs.
class Platform {
public:
    virtual ~Platform() = default;
    // Lets the program and the desktop run until `done` holds or `ms` have passed.
    virtual bool WaitFor(const std::function<bool()>& done, int ms) = 0;
    int deadlineMs = 5000;  // for what must come true
    int quietMs = 400;      // for what must not happen
    // Lets things run for about `ms`: "wait", and before what must not happen.
    virtual void Pause(int ms) { WaitFor([] { return false; }, ms); }
    // After every step: what the program does in between.
    virtual void AfterStep() {}

    virtual void WriteSettings(const std::string& bytes) = 0;
    virtual std::optional<std::string> Settings() = 0;  // zrk.ini now, if there is one
    // Another file in the program's folder; the names of all its files.
    virtual void PutFile(const std::string& name, const std::string& bytes) = 0;
    virtual std::vector<std::string> Files() = 0;
    // Another program holds zrk.ini open (it can be neither read nor
    // replaced), or lets it go; the user deletes it.
    virtual void HoldFile(bool hold) = 0;
    virtual void DeleteFile() = 0;
    virtual void Start() = 0;
    // The program is started once more while it runs.
    virtual void SecondStart() = 0;
    // The exit code once the program has ended, waiting up to `ms`.
    virtual std::optional<int> Ended(int ms) = 0;
    virtual void Command(int id) = 0;
    virtual void Post(unsigned message, long long wParam, long long lParam) = 0;
    virtual void Tray(bool right) = 0;  // a click on the tray icon
    virtual void Keys(const std::string& chord) = 0;
    // The text of a message box of the program with that caption, which is
    // then closed with OK; nothing while none is shown. A help box has the
    // information icon, any other the warning icon.
    virtual std::optional<std::string> TakeNotice(const std::string& caption, bool help) = 0;

    virtual void OpenWindows(const std::string& name, const std::string& className, const std::string& title, Box at,
                             const std::string& owner, int count) = 0;
    virtual void Move(const std::string& window, Box to, bool async) = 0;
    virtual void Show(const std::string& window, const std::string& state) = 0;  // min, max, normal, restore
    virtual Box RectOf(const std::string& window) = 0;
    virtual int StateOf(const std::string& window) = 0;  // 1 normal, 2 minimized, 3 maximized
    virtual void Hang(const std::string& window, bool hang) = 0;
    // Its program hides it; whether it is shown.
    virtual void Hide(const std::string& window) = 0;
    virtual bool Shown(const std::string& window) = 0;

    // Makes the program's dialog (settings, input, about, or a caption) the
    // one the steps act on; false while it is not shown.
    virtual bool OpenDialog(const std::string& which) = 0;
    virtual bool DialogClosed() = 0;
    virtual void Click(int id) = 0;
    virtual void Press(const std::string& key) = 0;  // return, escape
    virtual void CloseBox() = 0;
    // As a click into the control: the focus moves, and a field that loses it says so.
    virtual void Focus(int id) = 0;
    virtual void Type(int id, const std::string& text) = 0;
    // A user's choice in a list or a drop-down list.
    virtual void Select(int id, int row) = 0;
    virtual void Scroll(int bar, int code, int position) = 0;
    virtual void Wheel(int list, int delta) = 0;
    virtual void Help(int id) = 0;
    // A drag from the dialog's cursor icon onto a window ("dialog": the
    // dialog itself), or onto the edit field inside it.
    virtual void Drag(const std::string& window, bool edit, const std::string& shot) = 0;
    virtual ControlState Control(int id) = 0;

    // A step of this platform alone; false for one it does not know.
    virtual bool Extra(const Step& step) = 0;
};

// The keys of a chord such as "ctrl+alt+shift+space", in order.
inline std::vector<std::string> ChordKeys(const std::string& chord) {
    std::vector<std::string> keys;
    for (std::size_t at = 0; at <= chord.size(); at = std::min(chord.find('+', at), chord.size()) + 1)
        keys.push_back(chord.substr(at, std::min(chord.find('+', at), chord.size()) - at));
    return keys;
}

inline int CommandId(const std::string& word) {
    static const std::map<std::string, int> named = {{"correct", 32780}, {"toggle", 32779}, {"settings", 32772},
                                                     {"help", 32781},    {"readme", 32782}, {"about", 104},
                                                     {"exit", 105}};
    return named.count(word) ? named.at(word) : Number(word);
}

inline unsigned MessageId(const std::string& word) {
    static const std::map<std::string, unsigned> named = {{"save", 0x400 + 20}, {"tray", 0x400 + 100},
                                                          {"hotkey", 0x312},    {"close", 0x10},
                                                          {"queryendsession", 0x11}, {"endsession", 0x16}};
    return named.count(word) ? named.at(word) : static_cast<unsigned>(Number(word));
}

// Steps of the real program that the core's player passes.
inline bool PlayedElsewhere(const std::string& step) {
    static const char* const kOnly[] = {"owner", "shot", "backlog-below"};
    return std::find(std::begin(kOnly), std::end(kOnly), step) != std::end(kOnly);
}

class Player {
public:
    explicit Player(Platform& platform) : p_(platform) {}

    void Play(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            where_ = step.where;
            if (step.words[0] == "repeat") {
                for (int n = Number(step.words.at(1)); n > 0; --n) Play(step.body);
            } else {
                Do(step);
            }
            p_.AfterStep();
        }
    }
    const std::string& where() const { return where_; }

private:
    void Wait(const std::function<bool()>& done, const std::function<std::string()>& failure) {
        if (!p_.WaitFor(done, p_.deadlineMs)) Fail(failure());
    }

    void Do(const Step& step) {
        const std::vector<std::string>& w = step.words;
        const std::string& c = w[0];
        auto arg = [&](std::size_t i) -> const std::string& {
            Check(i < w.size(), c + ": too few words");
            return w[i];
        };
        auto id = [&](std::size_t i) { return Number(arg(i)); };
        auto ids = [&] {  // the step's leading numbers
            std::vector<int> out;
            for (std::size_t i = 1; i < w.size() && (w[i][0] == '-' || std::isdigit(static_cast<unsigned char>(w[i][0]))); ++i)
                out.push_back(Number(w[i]));
            return out;
        };
        std::string joined;
        for (const std::string& line : step.block) joined += line;
        const std::string caption = c == "notice" || c == "help-box" ? (w.size() > 3 && w[2] == "caption" ? w[3] : "Torvane")
                                                  : (w.size() > 1 ? w[1] : "Torvane");
        if (c == "zrk.ini") {
            p_.WriteSettings(joined);
        } else if (c == "start") {
            p_.Start();
        } else if (c == "second-start") {
            p_.SecondStart();
        } else if (c == "ends") {  // ends <code>
            const std::optional<int> code = p_.Ended(p_.deadlineMs);
            Check(code.has_value(), "still running");
            Check(*code == id(1), "exit code " + std::to_string(*code));
        } else if (c == "running") {
            Check(!p_.Ended(0), "the program has ended");
        } else if (c == "lock-file" || c == "unlock-file") {
            p_.HoldFile(c == "lock-file");
        } else if (c == "delete-file") {
            p_.DeleteFile();
        } else if (c == "put-file") {  // put-file <name> [text]
            p_.PutFile(arg(1), w.size() > 2 ? w[2] : "");
        } else if (c == "files") {  // files <name> ...: the folder holds these files, no others
            std::vector<std::string> expected(w.begin() + 1, w.end()), seen;
            std::sort(expected.begin(), expected.end());
            Wait([&] {
                seen = p_.Files();
                std::sort(seen.begin(), seen.end());
                return seen == expected;
            }, [&] {
                std::string list;
                for (const std::string& f : seen) list += " " + f;
                return "the folder holds" + list;
            });
        } else if (c == "command") {
            p_.Command(CommandId(arg(1)));
        } else if (c == "post") {
            p_.Post(MessageId(arg(1)), w.size() > 2 ? Number(w[2]) : 0, w.size() > 3 ? Number(w[3]) : 0);
        } else if (c == "tray") {
            p_.Tray(arg(1) == "right");
        } else if (c == "keys") {
            p_.Keys(arg(1));
        } else if (c == "notice" || c == "help-box") {
            std::optional<std::string> text;
            Wait([&] { return (text = p_.TakeNotice(caption, c == "help-box")).has_value(); }, [&] { return "no message box " + Escaped(caption); });
            Check(*text == arg(1), "the message box says " + Escaped(*text));
        } else if (c == "no-notice") {
            p_.Pause(p_.quietMs);
            Check(!p_.TakeNotice(caption, false) && !p_.TakeNotice(caption, true), "a message box " + Escaped(caption) + " is shown");
        } else if (c == "file" || c == "no-file") {
            std::optional<std::string> last;
            if (c == "no-file") p_.Pause(p_.quietMs);
            const std::optional<std::string> expected = c == "file" ? std::optional<std::string>(joined) : std::nullopt;
            Wait([&] { return (last = p_.Settings()) == expected; },
                 [&] { return "zrk.ini is\n    " + (last ? Escaped(*last) : "(missing)") + "\nexpected\n    " + Escaped(joined); });
        } else if (c == "window" || c == "windows") {
            // window <name> class=<class> [title=<title>] [owner=<window>] [x,y,w,h]
            // windows <count> <class> x,y,w,h
            std::string className = c == "windows" ? arg(2) : "", title, owner;
            Box at{480, 360, 260, 180};
            for (std::size_t i = 2; i < w.size(); ++i) {
                if (w[i].rfind("class=", 0) == 0) className = w[i].substr(6);
                else if (w[i].rfind("title=", 0) == 0) title = w[i].substr(6);
                else if (w[i].rfind("owner=", 0) == 0) owner = w[i].substr(6);
                else if (w[i] != className) at = ParseBox(w[i]);
            }
            p_.OpenWindows(arg(1), className, title, at, owner, c == "windows" ? id(1) : 1);
        } else if (c == "move" || c == "move-async") {
            p_.Move(arg(1), ParseBox(arg(2)), c == "move-async");
        } else if (c == "show") {
            // The program may put the window back at once: the command is
            // given again until its state has been seen once.
            const std::string& state = arg(2);
            const int seen = state == "min" ? 2 : state == "max" ? 3 : 1;
            Wait([&] { return p_.Show(arg(1), state), p_.StateOf(arg(1)) == seen; }, [&] { return "never seen " + state; });
        } else if (c == "hide") {
            p_.Hide(arg(1));
        } else if (c == "stays-hidden") {
            Check(!p_.WaitFor([&] { return p_.Shown(arg(1)); }, p_.quietMs), arg(1) + " is shown again");
        } else if (c == "hang" || c == "resume") {
            p_.Hang(arg(1), c == "hang");
        } else if (c == "rect" || c == "stays") {
            const Box expected = ParseBox(arg(2));
            const bool holds = c == "rect" ? p_.WaitFor([&] { return p_.RectOf(arg(1)) == expected; }, p_.deadlineMs)
                                           : !p_.WaitFor([&] { return !(p_.RectOf(arg(1)) == expected); }, p_.quietMs);
            Check(holds, "at " + Describe(p_.RectOf(arg(1))));
        } else if (c == "state") {
            const int state = arg(2) == "min" ? 2 : arg(2) == "max" ? 3 : 1;
            Wait([&] { return p_.StateOf(arg(1)) == state; }, [&] { return "in state " + std::to_string(p_.StateOf(arg(1))); });
        } else if (c == "wait") {
            p_.Pause(id(1));
        } else if (c == "dialog") {
            Wait([&] { return p_.OpenDialog(arg(1)); }, [&] { return "no dialog " + Escaped(arg(1)); });
        } else if (c == "closed") {
            Wait([&] { return p_.DialogClosed(); }, [] { return std::string("the dialog stays open"); });
        } else if (c == "click") {
            for (int button : ids()) p_.Click(button);
        } else if (c == "press") {
            p_.Press(arg(1));
        } else if (c == "close-box") {
            p_.CloseBox();
        } else if (c == "focus") {
            p_.Focus(id(1));
        } else if (c == "type") {
            p_.Type(id(1), arg(2));
        } else if (c == "select") {
            p_.Select(id(1), id(2));
        } else if (c == "scroll") {
            p_.Scroll(id(1), id(2), w.size() > 3 ? id(3) : 0);
        } else if (c == "wheel") {
            p_.Wheel(id(1), id(2));
        } else if (c == "help") {
            p_.Help(id(1));
        } else if (c == "drag-to") {
            // drag-to <window> [edit] [shot <name>]
            p_.Drag(arg(1), w.size() > 2 && w[2] == "edit", w.size() > 3 && w[w.size() - 2] == "shot" ? w.back() : "");
        } else if (c == "enabled" || c == "disabled" || c == "checked" || c == "unchecked" || c == "visible" || c == "hidden") {
            for (int control : ids()) {
                Wait([&] {
                    const ControlState s = p_.Control(control);
                    const bool on = c == "enabled" || c == "disabled" ? s.enabled : c == "checked" || c == "unchecked" ? s.checked : s.visible;
                    return on == (c == "enabled" || c == "checked" || c == "visible");
                }, [&] { return std::to_string(control) + " is not " + c; });
            }
        } else if (c == "text" || c == "rows" || c == "contains" || c == "selected-text" || c == "selected" || c == "top" ||
                   c == "bar" || c == "aligned") {
            // text <field> <text>; rows <list> <rows...>; contains <list> <row>;
            // selected-text <list> <row>; selected <list> <row, -1 for none>;
            // top <list> <row>; bar <bar> <min> <max> <page> <position>;
            // aligned <left list> <right list> <bar>: same selection and top row, the bar there
            std::string seen;
            Wait([&] {
                const ControlState s = p_.Control(id(1));
                std::string expected = w.size() > 2 ? w[2] : "";
                if (c == "text") seen = s.text;
                if (c == "rows" || c == "contains") {
                    seen.clear();
                    for (const std::string& row : s.rows) seen += "[" + row + "]";
                    expected.clear();
                    for (std::size_t i = 2; i < w.size(); ++i) expected += "[" + w[i] + "]";
                    if (c == "contains") return seen.find(expected) != std::string::npos;
                }
                if (c == "selected-text") seen = s.selected >= 0 && s.selected < static_cast<int>(s.rows.size()) ? s.rows[s.selected] : "(none)";
                if (c == "selected" || c == "top") seen = std::to_string(c == "top" ? s.top : s.selected);
                if (c == "bar") seen = s.bar, expected = w.at(2) + " " + w.at(3) + " " + w.at(4) + " " + w.at(5);
                if (c == "aligned") {
                    const ControlState r = p_.Control(id(2)), b = p_.Control(id(3));
                    seen = std::to_string(s.selected) + "/" + std::to_string(s.top) + " " + std::to_string(r.selected) + "/" +
                           std::to_string(r.top) + " " + b.bar;
                    return s.selected == r.selected && s.top == r.top && b.bar.substr(b.bar.rfind(' ') + 1) == std::to_string(s.top);
                }
                return seen == expected;
            }, [&] { return c + " is " + Escaped(seen); });
        } else if (!p_.Extra(step) && !PlayedElsewhere(c)) {
            Fail("unknown step " + c);
        }
    }

    Platform& p_;
    std::string where_;
};

}  // namespace scenario
