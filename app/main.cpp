#include <windows.h>
#include <commctrl.h>

#include "app/dialog.h"
#include "app/resource.h"
#include "status/shared_state.h"

namespace {

// A Downloads folder holds whatever a web page left there: every DLL loaded by name from now on
// (the delay-loaded WININET, and what the system's own libraries load later) comes from the system
// folder only. SetDefaultDllDirectories is looked up because Windows 7 has it only with KB2533623;
// without it the current folder at least leaves the search.
void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystemFolder();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALLER), nullptr, InstallerDialogProc, 0);
    // A worker may still be inside WinINet or waiting on an unpacker: end at once, without
    // running its remaining steps or any library's shutdown code under it.
    if (InstallInProgress.load(std::memory_order_acquire)) TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}
