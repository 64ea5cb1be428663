#include "tests/support/gtest_runs.h"

#include <gtest/gtest.h>

#include <cstdio>

int RunAllTestsRequiringOne() {
    const int result = RUN_ALL_TESTS();
    if (GTEST_FLAG_GET(list_tests)) return result;
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matches the filter \"%s\": nothing ran\n",
                     GTEST_FLAG_GET(filter).c_str());
        return 1;
    }
    return result;
}
