#pragma once
// What the window tests (dialog_test.cpp, install_test.cpp) share.

#include <string>

#include "tests/support/test_server.h"
#include "tools/driver/driver.h"

// The folder holding the installers under test (from the command line), with a backslash.
extern std::wstring InstallerFolder;

// The state a run ends in: its last texts and progress, the button enabled with caption.
DialogState Ended(const wchar_t* status, const wchar_t* detail, int progress,
                  const wchar_t* caption);
