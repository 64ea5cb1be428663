#pragma once
// Runs a test program's tests so that a filter matching none fails: a renamed test would
// otherwise leave its ctest entry passing without running anything.

// RUN_ALL_TESTS()'s result, or 1 when no test was selected to run (a listing of the tests
// aside). Call after testing::InitGoogleTest.
int RunAllTestsRequiringOne();
