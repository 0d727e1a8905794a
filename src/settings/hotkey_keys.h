// The key list of the hotkey: its 83 entries and their virtual-key codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace torvane::settings {

struct HotkeyKey {
    std::string text;   // as added to the key list, which shows it in lower case
    std::int32_t code;  // the virtual-key code; 0 for the blank entries
};
// The 83 entries of the key list, in its order.
const std::vector<HotkeyKey>& HotkeyKeyTable();
// The first entry that carries `code`, or -1.
int KeyEntryOf(std::int32_t code);

}  // namespace torvane::settings
