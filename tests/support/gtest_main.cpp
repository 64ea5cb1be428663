// The main of every test program that needs nothing before its tests run.

#include <gtest/gtest.h>

#include "tests/support/gtest_runs.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RunAllTestsRequiringOne();
}
