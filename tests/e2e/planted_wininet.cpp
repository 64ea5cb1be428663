// A wininet.dll planted beside a program: leaves "<its own path>.loaded" behind when a process
// loads it, and exports (as failing stubs) what the installer imports from WININET.
#include <windows.h>
#include <wininet.h>

#include <string>

#include "handles/handles.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size())));
    const FileHandle mark(CreateFileW((path + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return TRUE;
}

extern "C" {

HINTERNET WINAPI PlantedInternetOpenW(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) { return nullptr; }
HINTERNET WINAPI PlantedInternetOpenUrlW(HINTERNET, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR) {
    return nullptr;
}
BOOL WINAPI PlantedInternetReadFile(HINTERNET, LPVOID, DWORD, LPDWORD) { return FALSE; }
BOOL WINAPI PlantedInternetCloseHandle(HINTERNET) { return FALSE; }
BOOL WINAPI PlantedInternetQueryOptionW(HINTERNET, DWORD, LPVOID, LPDWORD) { return FALSE; }
BOOL WINAPI PlantedHttpQueryInfoW(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD) { return FALSE; }
}
