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

std::wstring DetailText() {
    if (DetailLabel == nullptr) return {};
    const int length = GetWindowTextLengthW(DetailLabel);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(DetailLabel, text.data(), length + 1)));
    return text;
}

void SetProgress(int position) {
    if (ProgressBar != nullptr)
        SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
