#include <windows.h>
#include <commctrl.h>

#include "app/shared_state.h"
#include "app/status.h"

HWND StatusLabel = nullptr;
HWND ProgressBar = nullptr;
HWND DetailLabel = nullptr;
HWND ActionButton = nullptr;

std::atomic<bool> InstallInProgress{false};

// Never destroyed: a worker may still hold it while the process is ending.
std::wstring& LaunchTarget = *new std::wstring;

void SetStatusText(const std::wstring& text) {
    if (StatusLabel != nullptr) SetWindowTextW(StatusLabel, text.c_str());
}

void SetDetailText(const std::wstring& text) {
    if (DetailLabel != nullptr) SetWindowTextW(DetailLabel, text.c_str());
}

void SetProgress(int position) {
    if (ProgressBar != nullptr)
        SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
