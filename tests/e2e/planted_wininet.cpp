// A wininet.dll planted beside a program: leaves "<its own path>.loaded" behind when a process
// loads it (planted_dll_main.cpp), and exports (as failing stubs) what the installer imports from
// WININET.
#include <windows.h>
#include <wininet.h>

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
