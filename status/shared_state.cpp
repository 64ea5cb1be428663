#include "status/shared_state.h"

HWND StatusLabel = nullptr;
HWND ProgressBar = nullptr;
HWND DetailLabel = nullptr;
HWND ActionButton = nullptr;

std::atomic<bool> InstallInProgress{false};

// Never destroyed: a worker may still hold it while the process is ending.
std::wstring& LaunchTarget = *new std::wstring;
std::wstring& LaunchFolder = *new std::wstring;
