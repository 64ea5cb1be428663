#include "app/dialog.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "app/resource.h"
#include "status/shared_state.h"
#include "status/status.h"
#include "install/install.h"

namespace {

// The detail text's area covers the button, and the detail text comes first in the template, so
// each new detail text would paint over the button. Above it in the z-order, and with the text
// clipping its siblings, the button is drawn over the text and never erased by it.
void KeepButtonAboveDetailText() {
    if (ActionButton == nullptr || DetailLabel == nullptr) return;
    SetWindowPos(ActionButton, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const LONG_PTR style = GetWindowLongPtrW(DetailLabel, GWL_STYLE);
    SetWindowLongPtrW(DetailLabel, GWL_STYLE, style | WS_CLIPSIBLINGS);
}

void InitialiseControls(HWND dialog) {
    StatusLabel = GetDlgItem(dialog, IDC_STATUS);
    ProgressBar = GetDlgItem(dialog, IDC_PROGRESS);
    ActionButton = GetDlgItem(dialog, IDC_ACTION);
    DetailLabel = GetDlgItem(dialog, IDC_DETAIL);
    if (ProgressBar != nullptr) {
        SendMessageW(ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendMessageW(ProgressBar, PBM_SETSTEP, 1, 0);
    }
    SetStatusText(L"准备就绪，点击开始安装");
    if (ProgressBar != nullptr) SendMessageW(ProgressBar, PBM_SETPOS, 0, 0);
    KeepButtonAboveDetailText();
}

void StartInstallRun() {
    InstallInProgress.store(true, std::memory_order_release);
    if (ActionButton != nullptr) EnableWindow(ActionButton, FALSE);
    SetWindowTextW(ActionButton, L"安装中...");
    if (StartInstallWorker()) return;
    // Without a worker nobody would ever hand the button back.
    InstallInProgress.store(false, std::memory_order_release);
    SetStatusText(L"错误：安装过程中发生未知错误");
    SetDetailText(L"请重新运行安装程序");
    if (ActionButton != nullptr) EnableWindow(ActionButton, TRUE);
    SetWindowTextW(ActionButton, L"重新安装");
}

void OnActionButton(HWND dialog) {
    if (InstallInProgress.load(std::memory_order_acquire)) return;
    // Both written by the worker before it cleared the flag seen clear above (acquire).
    if (!LaunchTarget.empty()) {
        ShellExecuteW(nullptr, L"open", LaunchTarget.c_str(), nullptr, LaunchFolder.c_str(),
                      SW_SHOWNORMAL);
        EndDialog(dialog, 1);
        return;
    }
    StartInstallRun();
}

}  // namespace

INT_PTR CALLBACK InstallerDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            InitialiseControls(window);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_EXIT:
                    EndDialog(window, IDC_EXIT);
                    break;
                case IDC_ACTION:
                    OnActionButton(window);
                    break;
                default:
                    // Escape (IDCANCEL) included: only the close box and the exit command end the
                    // dialog.
                    break;
            }
            return FALSE;
        case WM_CLOSE:
            EndDialog(window, LOWORD(wParam));
            return FALSE;
        default:
            return FALSE;
    }
}
