#include <windows.h>

#include "status/shared_state.h"
#include "status/status.h"

std::wstring DetailText() {
    if (DetailLabel == nullptr) return {};
    const int length = GetWindowTextLengthW(DetailLabel);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(DetailLabel, text.data(), length + 1)));
    return text;
}
