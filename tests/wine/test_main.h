// The main function of the Windows test programs: a program started again as
// a second process runs its child part; otherwise the tests run.
#pragma once

#include <gtest/gtest.h>

#include "support.h"

namespace torvane::wine_test {

inline int RunTestProgram(int argc, char** argv) {
    int code = 0;
    if (RunChildIfAsked(argc, argv, code)) return code;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace torvane::wine_test
