#include <windows.h>
#include <commctrl.h>

#include "app/dialog.h"
#include "app/resource.h"
#include "loader/system_library.h"
#include "status/shared_state.h"

namespace {

// A Downloads folder holds whatever a web page left there: every DLL loaded by name from now on
// (what the system's own libraries load later) comes from the system folder only; our own
// delay-loaded DLLs are loaded by full path (loader/). SetDefaultDllDirectories is looked up
// because Windows 7 has it only with KB2533623; without it the current folder at least leaves the
// search.
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
    // WinINet's TLS (secur32, schannel) loads bcrypt.dll as a dependency through a search that can
    // include the exe's folder; loaded now from the system folder, it is found by name from then
    // on and no copy from another folder can follow.
    LoadSystemLibrary(L"bcrypt.dll");
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALLER), nullptr, InstallerDialogProc, 0);
    // A worker may still be inside WinINet or waiting on an unpacker: end at once, without
    // running its remaining steps or any library's shutdown code under it.
    if (InstallInProgress.load(std::memory_order_acquire)) TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}
