// The program inside the sample package: when started it leaves a marker beside itself
// (started.txt: the line "started", then its current folder in UTF-8) and ends, so a test can
// see that it ran and where.
#include <windows.h>

#include <fstream>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring marker(path);
    marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"started.txt";
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    char utf8[4 * MAX_PATH] = {};
    const int bytes = length == 0 || length >= MAX_PATH
                          ? 0
                          : WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(length), utf8,
                                                sizeof(utf8), nullptr, nullptr);
    std::ofstream out(marker.c_str(), std::ios::binary | std::ios::trunc);
    out << "started\n" << std::string(utf8, bytes > 0 ? bytes : 0) << "\n";
    return out ? 0 : 1;
}
