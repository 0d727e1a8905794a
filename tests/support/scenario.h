// The scenario language, shared by the Wine driver and the core's player
// (docs/testing.md). Texts are UTF-8 in the files, code page 932 bytes once read.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"
#include "settings/settings_format.h"
#include "shell/shell.h"

namespace scenario {

struct Failure {
    std::string message;
};
[[noreturn]] inline void Fail(const std::string& message) { throw Failure{message}; }
inline void Check(bool ok, const std::string& message) { ok ? void() : Fail(message); }

// UTF-8 as the program's code page 932 bytes: each player supplies it.
std::string ToCp932(const std::string& utf8);

// A text as code page 932 bytes, its escapes decoded before the conversion,
// so that a converted second byte 0x5C never starts one.
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

// One step: its words, its block's lines (as bytes), or its body (repeat).
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

// A block line's bytes; "@system k=v" and "@rule <name> k=v" as the writer writes them.
inline std::string BlockLine(const std::string& raw) {
    const std::vector<std::string> w = Words(raw);
    if (w.empty() || (w[0] != "@system" && w[0] != "@rule")) {
        const bool ownEnd = raw.size() >= 2 && raw[raw.size() - 2] == '\\' && (raw.back() == 'n' || raw.back() == 'z');
        return Decode(raw) + (ownEnd ? "" : "\r\n");
    }
    const bool system = w[0] == "@system";
    Check(system || w.size() >= 2, "@rule needs a name");
    // The program's own defaults; a rule's class is the section's name.
    std::vector<std::pair<std::string, std::string>> keys;
    if (system) {
        // A key the writer leaves out at its default is written when given.
        for (const torvane::SystemKey& k : torvane::kSystemKeys) {
            if (!k.written || raw.find(" " + std::string(k.name) + "=") != std::string::npos)
                keys.emplace_back(k.name, std::to_string(k.get(torvane::SystemConfig::Defaults())));
        }
    } else {
        for (const torvane::RuleKey& k : torvane::kRuleKeys) keys.emplace_back(k.name, k.write(torvane::WindowRule::Named(w[1])));
    }
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
        const bool block = step.words[0] == "zrk.ini" || step.words[0] == "file" || step.words[0] == "backup";
        if (block && step.words.size() > 1) {
            step.block.push_back(BlockLine(Trim(text.substr(text.find(' ')))));  // a block of one line
        } else if (block) {
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

// Every scenario of a scenario file, or of every file of a folder in the
// order of their names: the tests' list of scenarios.
inline std::vector<Scenario> LoadScenarios(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (entry.path().extension() == ".txt") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    std::vector<Scenario> all;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        Check(static_cast<bool>(in), "cannot read " + file.string());
        for (Scenario& s : ParseScenarios(file.filename().string(), std::string(std::istreambuf_iterator<char>(in), {})))
            all.push_back(std::move(s));
    }
    return all;
}

// A scenario's name as a test's name: its letters and digits, "_" for the rest.
inline std::string TestName(std::string name) {
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}
inline void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

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
    std::vector<int> marks;  // of a list's rows: 0 none, 1 administrator, 2 not answering
};

// What a player acts on: the program, other programs' windows, the dialogs.
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
    virtual std::optional<std::string> ReadFile(const std::string& name) = 0;  // a file of the folder, if it is there
    virtual void PutFile(const std::string& name, const std::string& bytes) = 0;
    virtual std::vector<std::string> Files() = 0;
    virtual void HoldFile(bool hold) = 0;
    virtual void DeleteFile() = 0;
    // A folder of that name beside zrk.ini, or none.
    virtual void Folder(const std::string& name, bool there) = 0;
    // A file of the folder from the root of its drive, as the program names it.
    virtual std::string FullPath(const std::string& name) = 0;
    virtual void Start() = 0;
    virtual void SecondStart() = 0;
    virtual void StartTwice() = 0;  // two copies at the same moment
    // The screen takes another size, as when a monitor is changed.
    virtual void Screen(int width, int height) = 0;
    // The exit code once the program has ended, waiting up to `ms`.
    virtual std::optional<int> Ended(int ms) = 0;
    virtual void Command(int id) = 0;
    virtual void Post(unsigned message, long long wParam, long long lParam) = 0;
    virtual void Tray(bool right) = 0;  // a click on the tray icon
    virtual void Keys(const std::string& chord) = 0;
    // The text of the shown message box with that caption, closed with OK.
    virtual std::optional<std::string> TakeNotice(const std::string& caption, bool help) = 0;

    virtual void OpenWindows(const std::string& name, const std::string& className, const std::string& title, Box at,
                             const std::string& owner, int count) = 0;
    virtual void Move(const std::string& window, Box to, bool async) = 0;
    virtual void Show(const std::string& window, const std::string& state) = 0;  // min, max, normal, restore
    virtual Box RectOf(const std::string& window) = 0;
    virtual int StateOf(const std::string& window) = 0;  // 1 normal, 2 minimized, 3 maximized
    virtual void Hang(const std::string& window, bool hang) = 0;
    virtual void Hide(const std::string& window) = 0;
    virtual bool Shown(const std::string& window) = 0;

    // Makes that dialog the one the steps act on; false while it is not shown.
    virtual bool OpenDialog(const std::string& which) = 0;
    virtual bool DialogClosed() = 0;
    virtual void Click(int id) = 0;
    virtual void Press(const std::string& key) = 0;  // return, escape
    virtual void CloseBox() = 0;
    virtual void Focus(int id) = 0;
    virtual void Type(int id, const std::string& text) = 0;
    virtual void Select(int id, int row) = 0;
    virtual void Scroll(int bar, int code, int position) = 0;
    virtual void Wheel(int list, int delta) = 0;
    virtual void Help(int id) = 0;
    virtual void Drag(const std::string& window, bool edit, const std::string& shot) = 0;
    virtual ControlState Control(int id) = 0;

    // The two marks of the tray menu: monitoring on, correct-now enabled.
    virtual std::pair<bool, bool> Marks() = 0;
    virtual bool TrayIconShown() = 0;
    virtual void TakeHotkey(const std::string& chord) = 0;

    // A step of this player alone; false for one it does not know.
    virtual bool Extra(const Step& step) = 0;
};

// The keys of a chord such as "ctrl+alt+shift+space", in order.
inline std::vector<std::string> ChordKeys(const std::string& chord) {
    std::vector<std::string> keys;
    for (std::size_t at = 0; at <= chord.size(); at = std::min(chord.find('+', at), chord.size()) + 1)
        keys.push_back(chord.substr(at, std::min(chord.find('+', at), chord.size()) - at));
    return keys;
}

// A key's virtual-key code by its name in a chord: a modifier, "space",
// "return", "escape", "f1" to "f12", "num0" to "num9", a letter or a digit.
inline unsigned KeyCode(const std::string& name) {
    static const std::map<std::string, unsigned> named = {{"ctrl", 0x11}, {"alt", 0x12}, {"shift", 0x10},
                                                          {"win", 0x5B}, {"space", 0x20}, {"return", 0x0D},
                                                          {"escape", 0x1B}};
    if (named.count(name)) return named.at(name);
    if (name.size() > 1 && name[0] == 'f') return 0x6F + static_cast<unsigned>(Number(name.substr(1)));
    if (name.rfind("num", 0) == 0) return 0x60 + static_cast<unsigned>(Number(name.substr(3)));
    return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(name[0])));
}

// The hotkey that a chord is: its modifiers and its other key.
inline torvane::shell::Hotkey ChordHotkey(const std::string& chord) {
    using namespace torvane::shell;
    static const std::map<std::string, unsigned> modifiers = {
        {"alt", kModAlt}, {"ctrl", kModControl}, {"shift", kModShift}, {"win", kModWin}};
    Hotkey hotkey{0, 0};
    for (const std::string& k : ChordKeys(chord)) modifiers.count(k) ? void(hotkey.modifiers |= modifiers.at(k)) : void(hotkey.key = KeyCode(k));
    return hotkey;
}

inline int CommandId(const std::string& word) {
    static const std::map<std::string, int> named = {
        {"correct", IDM_CORRECT_NOW}, {"toggle", IDM_MONITORING}, {"settings", IDM_SETTINGS}, {"help", IDM_HELP},
        {"readme", IDM_README},       {"about", IDM_ABOUT},       {"exit", IDM_EXIT}};
    return named.count(word) ? named.at(word) : Number(word);
}

inline unsigned MessageId(const std::string& word) {
    using namespace torvane::shell;
    static const std::map<std::string, unsigned> named = {
        {"save", kSaveRequest}, {"tray", kTrayCallbackMessage}, {"hotkey", kWmHotkey}, {"close", kWmClose},
        {"queryendsession", kWmQueryEndSession}, {"endsession", kWmEndSession}};
    return named.count(word) ? named.at(word) : static_cast<unsigned>(Number(word));
}

// Steps of the real program that the core's player passes.
inline bool PlayedElsewhere(const std::string& step) {
    static const char* const kOnly[] = {"owner", "backlog-below", "mouse-at", "has-focus"};
    return std::find(std::begin(kOnly), std::end(kOnly), step) != std::end(kOnly);
}

struct Args {
    const std::vector<std::string>& w;
    const std::string& operator[](std::size_t i) const {
        Check(i < w.size(), w[0] + ": too few words");
        return w[i];
    }
    int number(std::size_t i) const { return Number((*this)[i]); }
    std::string opt(std::size_t i) const { return i < w.size() ? w[i] : ""; }
    // The leading numbers after the step's name: the controls of "click 4 5".
    std::vector<int> ids() const {
        std::vector<int> out;
        for (std::size_t i = 1; i < w.size() && (w[i][0] == '-' || std::isdigit(static_cast<unsigned char>(w[i][0]))); ++i)
            out.push_back(Number(w[i]));
        return out;
    }
};

// The window state a word names: 1 normal, 2 minimized, 3 maximized.
inline int StateNumber(const std::string& word) { return word == "min" ? 2 : word == "max" ? 3 : 1; }

class Player {
public:
    explicit Player(Platform& platform) : p_(platform) { Define(); }

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
    using Handler = std::function<void(const Args&, const Step&)>;

    void Wait(const std::function<bool()>& done, const std::function<std::string()>& failure) {
        if (!p_.WaitFor(done, p_.deadlineMs)) Fail(failure());
    }
    // Waits until `value` reads `expected`.
    void Expect(const std::string& what, const std::function<std::string()>& value, const std::string& expected) {
        std::string seen;
        Wait([&] { return (seen = value()) == expected; }, [&] { return what + " is " + Escaped(seen); });
    }

    void Do(const Step& step) {
        const auto it = steps_.find(step.words[0]);
        if (it != steps_.end()) return it->second(Args{step.words}, step);
        if (!p_.Extra(step) && !PlayedElsewhere(step.words[0])) Fail("unknown step " + step.words[0]);
    }

    static std::string Joined(const Step& step) {
        std::string joined;
        for (const std::string& line : step.block) joined += line;
        return joined;
    }
    static std::string Rows(const std::vector<std::string>& rows) {
        std::string out;
        for (const std::string& row : rows) out += "[" + row + "]";
        return out;
    }

    void Notice(const Args& a, bool help) {
        const std::string caption = a.opt(2) == "caption" ? a[3] : "Torvane";
        std::optional<std::string> text;
        Wait([&] { return (text = p_.TakeNotice(caption, help)).has_value(); }, [&] { return "no message box " + Escaped(caption); });
        // "{zrk.ini}" stands for the settings file's full path.
        std::string expected = a[1];
        if (const std::size_t at = expected.find("{zrk.ini}"); at != std::string::npos)
            expected.replace(at, 9, p_.FullPath("zrk.ini"));
        Check(*text == expected, "the message box says " + Escaped(*text));
    }

    // A control's state: enabled/disabled, checked/unchecked, visible/hidden.
    void ControlsAre(const Args& a) {
        const std::string& c = a.w[0];
        const bool wanted = c == "enabled" || c == "checked" || c == "visible";
        for (int control : a.ids()) {
            Wait([&] {
                const ControlState s = p_.Control(control);
                return (c == "enabled" || c == "disabled" ? s.enabled : c == "checked" || c == "unchecked" ? s.checked : s.visible) == wanted;
            }, [&] { return std::to_string(control) + " is not " + c; });
        }
    }

    void Define() {
        auto& d = steps_;
        // --- the files ---
        d["zrk.ini"] = [this](const Args&, const Step& s) { p_.WriteSettings(Joined(s)); };
        for (const char* name : {"file", "backup"}) {
            d[name] = [this, name](const Args&, const Step& s) {
                const std::string file = name == std::string("file") ? "zrk.ini" : "zrk.ini.bak", expected = Joined(s);
                std::optional<std::string> last;
                Wait([&] { return (last = p_.ReadFile(file)) == expected; }, [&] {
                    return file + " is\n    " + (last ? Escaped(*last) : "(missing)") + "\nexpected\n    " + Escaped(expected);
                });
            };
        }
        d["folder"] = [this](const Args& a, const Step&) { p_.Folder(a[1], true); };
        d["no-folder"] = [this](const Args& a, const Step&) { p_.Folder(a[1], false); };
        d["no-file"] = [this](const Args&, const Step&) {
            p_.Pause(p_.quietMs);
            Check(!p_.ReadFile("zrk.ini"), "zrk.ini is there");
        };
        d["put-file"] = [this](const Args& a, const Step&) { p_.PutFile(a[1], a.opt(2)); };
        d["files"] = [this](const Args& a, const Step&) {
            std::vector<std::string> expected(a.w.begin() + 1, a.w.end());
            std::sort(expected.begin(), expected.end());
            Expect("the folder", [&] {
                std::vector<std::string> seen = p_.Files();
                std::sort(seen.begin(), seen.end());
                return Rows(seen);
            }, Rows(expected));
        };
        d["lock-file"] = [this](const Args&, const Step&) { p_.HoldFile(true); };
        d["unlock-file"] = [this](const Args&, const Step&) { p_.HoldFile(false); };
        d["delete-file"] = [this](const Args&, const Step&) { p_.DeleteFile(); };
        // --- the program ---
        d["start"] = [this](const Args&, const Step&) { p_.Start(); };
        d["second-start"] = [this](const Args&, const Step&) { p_.SecondStart(); };
        d["start-twice"] = [this](const Args&, const Step&) { p_.StartTwice(); };
        d["screen"] = [this](const Args& a, const Step&) {  // screen <width>x<height>
            const Box size = ParseBox("0,0," + a[1].substr(0, a[1].find('x')) + "," + a[1].substr(a[1].find('x') + 1));
            p_.Screen(size.w, size.h);
        };
        d["ends"] = [this](const Args& a, const Step&) {
            const std::optional<int> code = p_.Ended(p_.deadlineMs);
            Check(code.has_value(), "still running");
            Check(*code == a.number(1), "exit code " + std::to_string(*code));
        };
        d["running"] = [this](const Args&, const Step&) { Check(!p_.Ended(0), "the program has ended"); };
        d["command"] = [this](const Args& a, const Step&) { p_.Command(CommandId(a[1])); };
        d["post"] = [this](const Args& a, const Step&) {
            p_.Post(MessageId(a[1]), a.w.size() > 2 ? a.number(2) : 0, a.w.size() > 3 ? a.number(3) : 0);
        };
        d["tray"] = [this](const Args& a, const Step&) { p_.Tray(a[1] == "right"); };
        d["keys"] = [this](const Args& a, const Step&) { p_.Keys(a[1]); };
        d["hotkey-taken"] = [this](const Args& a, const Step&) { p_.TakeHotkey(a[1]); };
        d["notice"] = [this](const Args& a, const Step&) { Notice(a, false); };
        d["help-box"] = [this](const Args& a, const Step&) { Notice(a, true); };
        d["no-notice"] = [this](const Args& a, const Step&) {
            const std::string caption = a.opt(1).empty() ? "Torvane" : a[1];
            p_.Pause(p_.quietMs);
            Check(!p_.TakeNotice(caption, false) && !p_.TakeNotice(caption, true), "a message box " + Escaped(caption) + " is shown");
        };
        d["marks"] = [this](const Args& a, const Step&) {
            const bool on = a[1] == "on";
            Check(p_.Marks() == std::pair<bool, bool>(on, on), "other marks");
        };
        d["tray-icon"] = [this](const Args& a, const Step&) {
            Wait([&] { return p_.TrayIconShown() == (a[1] == "shown"); }, [&] { return "the tray icon is not " + a[1]; });
        };
        d["wait"] = [this](const Args& a, const Step&) { p_.Pause(a.number(1)); };
        // --- the desktop ---
        auto windows = [this](const Args& a, const Step&) {
            const bool many = a.w[0] == "windows";
            std::string className = many ? a[2] : "", title, owner;
            Box at{480, 360, 260, 180};
            for (std::size_t i = 2; i < a.w.size(); ++i) {
                const std::string& word = a.w[i];
                if (word.rfind("class=", 0) == 0) className = word.substr(6);
                else if (word.rfind("title=", 0) == 0) title = word.substr(6);
                else if (word.rfind("owner=", 0) == 0) owner = word.substr(6);
                else if (word != className) at = ParseBox(word);
            }
            if (!many || className.find('%') == std::string::npos)
                return p_.OpenWindows(a[1], className, title, at, owner, many ? a.number(1) : 1);
            for (int i = 0; i < a.number(1); ++i) {  // "C%": C0, C1 ..., each named so
                auto numbered = [i](std::string s) {
                    return s.find('%') == std::string::npos ? s : s.replace(s.find('%'), 1, std::to_string(i));
                };
                p_.OpenWindows(numbered(className), numbered(className), numbered(title), at, owner, 1);
            }
        };
        d["window"] = windows;
        d["windows"] = windows;
        d["move"] = [this](const Args& a, const Step&) { p_.Move(a[1], ParseBox(a[2]), false); };
        d["move-async"] = [this](const Args& a, const Step&) { p_.Move(a[1], ParseBox(a[2]), true); };
        d["show"] = [this](const Args& a, const Step&) {  // show <window> <state> [<window> <state> ...]
            // Repeated until seen: the program may put the window back at once.
            for (std::size_t i = 1; i < a.w.size(); i += 2)
                Wait([&] { return p_.Show(a[i], a[i + 1]), p_.StateOf(a[i]) == StateNumber(a[i + 1]); },
                     [&] { return a[i] + " never seen " + a[i + 1]; });
        };
        d["hide"] = [this](const Args& a, const Step&) { p_.Hide(a[1]); };
        d["stays-hidden"] = [this](const Args& a, const Step&) {
            Check(!p_.WaitFor([&] { return p_.Shown(a[1]); }, p_.quietMs), a[1] + " is shown again");
        };
        d["hang"] = [this](const Args& a, const Step&) { p_.Hang(a[1], true); };
        d["resume"] = [this](const Args& a, const Step&) { p_.Hang(a[1], false); };
        d["rect"] = [this](const Args& a, const Step&) {
            const Box expected = ParseBox(a[2]);
            Check(p_.WaitFor([&] { return p_.RectOf(a[1]) == expected; }, p_.deadlineMs), "at " + Describe(p_.RectOf(a[1])));
        };
        d["stays"] = [this](const Args& a, const Step&) {
            const Box expected = ParseBox(a[2]);
            Check(!p_.WaitFor([&] { return !(p_.RectOf(a[1]) == expected); }, p_.quietMs), "at " + Describe(p_.RectOf(a[1])));
        };
        d["state"] = [this](const Args& a, const Step&) {
            Expect(a[1] + "'s state", [&] { return std::to_string(p_.StateOf(a[1])); }, std::to_string(StateNumber(a[2])));
        };
        // --- the dialogs ---
        d["dialog"] = [this](const Args& a, const Step&) {
            Wait([&] { return p_.OpenDialog(a[1]); }, [&] { return "no dialog " + Escaped(a[1]); });
        };
        d["closed"] = [this](const Args&, const Step&) {
            Wait([&] { return p_.DialogClosed(); }, [] { return std::string("the dialog stays open"); });
        };
        d["click"] = [this](const Args& a, const Step&) {
            for (int button : a.ids()) p_.Click(button);
        };
        d["press"] = [this](const Args& a, const Step&) { p_.Press(a[1]); };
        d["close-box"] = [this](const Args&, const Step&) { p_.CloseBox(); };
        d["focus"] = [this](const Args& a, const Step&) { p_.Focus(a.number(1)); };
        d["type"] = [this](const Args& a, const Step&) { p_.Type(a.number(1), a[2]); };
        d["select"] = [this](const Args& a, const Step&) { p_.Select(a.number(1), a.number(2)); };
        d["scroll"] = [this](const Args& a, const Step&) { p_.Scroll(a.number(1), a.number(2), a.w.size() > 3 ? a.number(3) : 0); };
        d["wheel"] = [this](const Args& a, const Step&) { p_.Wheel(a.number(1), a.number(2)); };
        d["help"] = [this](const Args& a, const Step&) { p_.Help(a.number(1)); };
        d["drag-to"] = [this](const Args& a, const Step&) {
            p_.Drag(a[1], a.opt(2) == "edit", a.w.size() > 3 && a.w[a.w.size() - 2] == "shot" ? a.w.back() : "");
        };
        for (const char* state : {"enabled", "disabled", "checked", "unchecked", "visible", "hidden"})
            d[state] = [this](const Args& a, const Step&) { ControlsAre(a); };
        d["text"] = [this](const Args& a, const Step&) { Expect("text", [&] { return p_.Control(a.number(1)).text; }, a.opt(2)); };
        d["rows"] = [this](const Args& a, const Step&) {
            Expect("rows", [&] { return Rows(p_.Control(a.number(1)).rows); }, Rows({a.w.begin() + 2, a.w.end()}));
        };
        d["contains"] = [this](const Args& a, const Step&) {
            Wait([&] { return Rows(p_.Control(a.number(1)).rows).find(Rows({a[2]})) != std::string::npos; },
                 [&] { return "rows are " + Escaped(Rows(p_.Control(a.number(1)).rows)); });
        };
        // row-mark <list> <row's text> -|admin|hung [refresh]: the list refreshed (button 3) before each look
        d["row-mark"] = [this](const Args& a, const Step&) {
            Expect("the row's mark", [&] {
                if (a.opt(4) == "refresh") p_.Click(IDC_REFRESH);
                const ControlState s = p_.Control(a.number(1));
                const std::size_t at = static_cast<std::size_t>(std::find(s.rows.begin(), s.rows.end(), a[2]) - s.rows.begin());
                static const char* const kNames[] = {"-", "admin", "hung"};
                return std::string(at == s.rows.size() ? "(no row)" : at < s.marks.size() ? kNames[s.marks[at] % 3] : "-");
            }, a[3]);
        };
        d["selected-text"] = [this](const Args& a, const Step&) {
            Expect("selected-text", [&] {
                const ControlState s = p_.Control(a.number(1));
                return s.selected >= 0 && s.selected < static_cast<int>(s.rows.size()) ? s.rows[s.selected] : "(none)";
            }, a.opt(2));
        };
        d["selected"] = [this](const Args& a, const Step&) {
            Expect("selected", [&] { return std::to_string(p_.Control(a.number(1)).selected); }, a[2]);
        };
        d["top"] = [this](const Args& a, const Step&) {
            Expect("top", [&] { return std::to_string(p_.Control(a.number(1)).top); }, a[2]);
        };
        d["bar"] = [this](const Args& a, const Step&) {  // bar <bar> <min> <max> <page> <position>
            Expect("bar", [&] { return p_.Control(a.number(1)).bar; }, a[2] + " " + a[3] + " " + a[4] + " " + a[5]);
        };
        d["aligned"] = [this](const Args& a, const Step&) {
            std::string seen;
            Wait([&] {
                const ControlState l = p_.Control(a.number(1)), r = p_.Control(a.number(2)), b = p_.Control(a.number(3));
                seen = std::to_string(l.selected) + "/" + std::to_string(l.top) + " " + std::to_string(r.selected) + "/" +
                       std::to_string(r.top) + " " + b.bar;
                return l.selected == r.selected && l.top == r.top && b.bar.substr(b.bar.rfind(' ') + 1) == std::to_string(l.top);
            }, [&] { return "aligned is " + seen; });
        };
    }

    Platform& p_;
    std::string where_;
    std::map<std::string, Handler> steps_;
};

}  // namespace scenario
