#include <windows.h>
#include <commctrl.h>

#include "app/dialog.h"
#include "app/resource.h"
#include "status/shared_state.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALLER), nullptr, InstallerDialogProc, 0);
    // A worker may still be inside WinINet or waiting on an unpacker: end at once, without
    // running its remaining steps or any library's shutdown code under it.
    if (InstallInProgress.load(std::memory_order_acquire)) TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}
