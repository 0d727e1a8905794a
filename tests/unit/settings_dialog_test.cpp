// What the dialog scenarios cannot show: the bounded wait for the flag, the
// hotkey key table and the help table as a whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "resource.h"
#include "settings/settings_model.h"
#include "settings/texts.h"
#include "support/fake_desktop.h"
#include "support/fake_dialog.h"

namespace torvane {
namespace {

using namespace settings;

TEST(Dialog, OkWaitsForTheFlagAndComesBackLaterWithItsButtonDisabled) {
    Shared shared;
    testing::FakeDesktop desktop;
    testing::FakeDialog view;
    SettingsDialog dialog(shared, desktop, view);
    ASSERT_TRUE(dialog.Open());
    shared.PollInterval = 3;
    ASSERT_TRUE(shared.busy.tryTake());
    dialog.Command(1, 0);
    EXPECT_EQ(view.reposted, std::vector<int>{1});
    EXPECT_EQ(view.sleptMs, 102 * 3) << "101 sleeps between 102 tests, and one more";
    EXPECT_FALSE(view[1].enabled);
    EXPECT_EQ(view.ended, -1);
    shared.busy.release();
    dialog.Command(1, 0);
    EXPECT_EQ(view.ended, 1);
}

TEST(Dialog, TheKeyTableAndTheHelpTable) {
    const std::vector<HotkeyKey>& keys = HotkeyKeyTable();
    ASSERT_EQ(keys.size(), 83u);
    const std::pair<std::string, int> entries[] = {{"", 0},       {"A", 65},     {"Z", 90},       {"0", 48},
                                                    {"NUM_5", 101}, {".", 110},    {"/", 111},      {"*", 106},
                                                    {"-", 109},    {"+", 107},    {"F1", 112},     {"F12", 123},
                                                    {"SPACE", 32}, {"RETURN", 13}, {"PAGEDOWN", 34}, {"RIGHT", 39}};
    for (const auto& [text, code] : entries) {
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const HotkeyKey& k) { return k.text == text; });
        ASSERT_NE(it, keys.end()) << text;
        EXPECT_EQ(it->code, code) << text;
    }
    EXPECT_EQ(keys[44].text, "NUM_5");
    for (int blank : {0, 27, 38, 54, 67, 77, 82}) EXPECT_EQ(keys[blank].code, 0) << blank;
    EXPECT_EQ(KeyEntryOf(0), 0);
    EXPECT_EQ(KeyEntryOf(32), 68);
    EXPECT_EQ(KeyEntryOf(124), -1);

    // Every text begins with its caption, "：" and a blank line.
    int helped = 0;
    for (int id = -1; id < 1100; ++id) {
        if (const Help* h = HelpFor(id)) {
            ++helped;
            EXPECT_EQ(std::string(h->text).rfind(std::string(h->caption) + "\x81\x46\n\n", 0), 0u) << id;
        }
    }
    EXPECT_EQ(helped, 39);
}

}  // namespace
}  // namespace torvane
