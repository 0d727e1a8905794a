// The end-to-end scenarios, a test each: the real torvane.exe under Wine
// (wine_platform.h), driven from another process as a user drives it.
// TORVANE_SCENARIOS names a scenario file or folder to play instead of the
// folder beside this test.
#include <gtest/gtest.h>

#include "wine/e2e/wine_platform.h"

namespace {

class EndToEnd : public ::testing::TestWithParam<Scenario> {};

TEST_P(EndToEnd, Play) {
    std::string failure;
    Wine wine;
    Player player(wine);
    try {
        player.Play(GetParam().steps);
        wine.Finish();
    } catch (const Failure& f) {
        failure = player.where() + ": " + f.message;
        try {
            wine.Finish();
        } catch (const Failure& after) {
            failure += "\n    and then: " + after.message;
        }
    }
    EXPECT_TRUE(failure.empty()) << failure;
}

INSTANTIATE_TEST_SUITE_P(, EndToEnd,
                         ::testing::ValuesIn(LoadScenarios(PathSetting("TORVANE_SCENARIOS", TORVANE_SCENARIOS_BUILT))),
                         [](const auto& i) { return TestName(i.param.name); });

}  // namespace
