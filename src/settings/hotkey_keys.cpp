#include "settings/hotkey_keys.h"

#include <algorithm>
#include <string>

namespace torvane::settings {

const std::vector<HotkeyKey>& HotkeyKeyTable() {
    static const std::vector<HotkeyKey> table = [] {
        std::vector<HotkeyKey> t{{"", 0}};
        for (char c = 'A'; c <= 'Z'; ++c) t.push_back({std::string(1, c), c});
        t.push_back({"", 0});
        for (char c = '0'; c <= '9'; ++c) t.push_back({std::string(1, c), c});
        t.push_back({"", 0});
        for (char c = '0'; c <= '9'; ++c) t.push_back({std::string("NUM_").append(1, c), 96 + (c - '0')});
        for (const HotkeyKey& k : {HotkeyKey{".", 110}, HotkeyKey{"/", 111}, HotkeyKey{"*", 106}, HotkeyKey{"-", 109},
                                   HotkeyKey{"+", 107}, HotkeyKey{"", 0}})
            t.push_back(k);
        for (int f = 1; f <= 12; ++f) t.push_back({std::string("F").append(std::to_string(f)), 111 + f});
        for (const HotkeyKey& k :
             {HotkeyKey{"", 0}, HotkeyKey{"SPACE", 32}, HotkeyKey{"RETURN", 13}, HotkeyKey{"ESCAPE", 27},
              HotkeyKey{"INSERT", 45}, HotkeyKey{"DELETE", 46}, HotkeyKey{"HOME", 36}, HotkeyKey{"END", 35},
              HotkeyKey{"PAGEUP", 33}, HotkeyKey{"PAGEDOWN", 34}, HotkeyKey{"", 0}, HotkeyKey{"UP", 38},
              HotkeyKey{"DOWN", 40}, HotkeyKey{"LEFT", 37}, HotkeyKey{"RIGHT", 39}, HotkeyKey{"", 0}})
            t.push_back(k);
        return t;
    }();
    return table;
}

int KeyEntryOf(std::int32_t code) {
    const std::vector<HotkeyKey>& table = HotkeyKeyTable();
    const auto entry = std::find_if(table.begin(), table.end(), [code](const HotkeyKey& k) { return k.code == code; });
    return entry == table.end() ? -1 : static_cast<int>(entry - table.begin());
}

}  // namespace torvane::settings
