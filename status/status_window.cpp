#include <windows.h>
#include <commctrl.h>

#include "status/shared_state.h"
#include "status/status.h"

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
