#include "loader/system_library.h"

#include <delayimp.h>

#include <cstring>
#include <string>

namespace {

// What a function of a delay-loaded DLL answers when the DLL or the function is missing: the
// failure its callers already handle, instead of the helper's exception, which nothing of ours
// catches (catch (...) does not see it under g++) and which would end the process.
INT_PTR WINAPI FailWithZero() { return 0; }  // FALSE, a null handle
// An NTSTATUS error: 0 means success there, so a zero answer would pass a check that never ran.
LONG WINAPI FailWithDllNotFound() { return static_cast<LONG>(0xC0000135); }  // STATUS_DLL_NOT_FOUND

struct DelayLoadedDll {
    const char* name;
    FARPROC failure;
};

// Every DLL the installer delay-loads, with the answer its functions give when it cannot load.
const DelayLoadedDll DelayLoadedDlls[] = {
    {"wininet.dll", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FailWithZero))},
    {"bcrypt.dll", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FailWithDllNotFound))},
};

const DelayLoadedDll* Listed(const char* dllName) {
    for (const DelayLoadedDll& dll : DelayLoadedDlls) {
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, dll.name, -1, dllName, -1) ==
            CSTR_EQUAL) {
            return &dll;
        }
    }
    return nullptr;
}

// A DLL the table does not name fails as if it could not be loaded, wherever a copy of it lies: a
// search by name could find one beside the exe. Its answer is zero, the failure of BOOL, handle,
// pointer and count results; our status-code callers check the handles their calls fill, so not
// even they take a zero for a call that ran. No one answer fails for every kind of result: a DLL
// whose zero means success belongs in the table with an answer of its own.
FARPROC FailureFor(const char* dllName) {
    const DelayLoadedDll* dll = Listed(dllName);
    return dll ? dll->failure : reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FailWithZero));
}

// A listed DLL from the system folder; null for one the table does not name.
HMODULE LoadListed(const char* dllName) {
    if (!Listed(dllName)) return nullptr;
    const std::wstring name(dllName, dllName + std::strlen(dllName));
    return LoadSystemLibrary(name.c_str());
}

// The helper writes each function's address into the delay-load import table, which binutils 2.44
// (Debian 13) places in a read-only section; mingw-w64 12's helper does not unprotect it as
// Microsoft's does, and the first call would end the process. The entry's page is writable from
// dliStartProcessing to dliNoteEndProcessing, which the helper sends on every path that returns
// (it writes the entry in between or not at all), and then gets its protection back. Resolutions
// take turns: two at once could each take the other's writable page for the one to restore.
SRWLOCK EntryLock = SRWLOCK_INIT;
FARPROC* WritableEntry = nullptr;
DWORD EntryProtection = 0;

void MakeEntryWritable(FARPROC* entry) {
    AcquireSRWLockExclusive(&EntryLock);
    if (VirtualProtect(entry, sizeof(*entry), PAGE_READWRITE, &EntryProtection)) {
        WritableEntry = entry;
    }
}

void RestoreEntryProtection() {
    DWORD writable = 0;
    if (WritableEntry)
        VirtualProtect(WritableEntry, sizeof(*WritableEntry), EntryProtection, &writable);
    WritableEntry = nullptr;
    ReleaseSRWLockExclusive(&EntryLock);
}

// Before the helper loads a DLL: a listed one from the system folder by full path; otherwise the
// DLL's failure answer in place of the function (not kept: the next call tries again). Without the
// early answer the helper would fall back to its own search by name, which on Windows 7 without
// KB2533623 looks beside the exe first. Every path below answers, so the helper never raises its
// exception and always ends with dliNoteEndProcessing.
FARPROC WINAPI OnDelayLoadNotice(unsigned notice, PDelayLoadInfo info) {
    switch (notice) {
        case dliStartProcessing:
            MakeEntryWritable(info->ppfn);
            return LoadListed(info->szDll) == nullptr ? FailureFor(info->szDll) : nullptr;
        case dliNotePreLoadLibrary: {
            // A null module here would make the helper load by name. The program's own module
            // exports none of the DLL's functions, so the failure hook answers instead.
            const HMODULE module = LoadListed(info->szDll);
            return reinterpret_cast<FARPROC>(module ? module : GetModuleHandleW(nullptr));
        }
        case dliNoteEndProcessing:
            RestoreEntryProtection();
            return nullptr;
        default:
            return nullptr;
    }
}

FARPROC WINAPI OnDelayLoadFailure(unsigned notice, PDelayLoadInfo info) {
    if (notice == dliFailGetProc) return FailureFor(info->szDll);
    return nullptr;
}

}  // namespace

// The delay-load helper calls these; delayimp.h declares them extern "C" (const in MSVC's).
#if defined(_MSC_VER)
#define INSTALLER_DELAY_LOAD_HOOK const
#else
#define INSTALLER_DELAY_LOAD_HOOK
#endif
INSTALLER_DELAY_LOAD_HOOK PfnDliHook __pfnDliNotifyHook2 = OnDelayLoadNotice;
INSTALLER_DELAY_LOAD_HOOK PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;

std::wstring SystemFolderPath(const std::wstring& relativePath) {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return {};
    return std::wstring(folder, length) + L"\\" + relativePath;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    const std::wstring path = SystemFolderPath(fileName);
    return path.empty() ? nullptr
                        : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
