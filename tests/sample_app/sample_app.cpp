// The program inside the sample package: when started it leaves a marker beside itself
// (started.txt, holding its command line) and ends, so a test can see that it ran.
#include <windows.h>

#include <fstream>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring marker(path);
    marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"started.txt";
    std::ofstream out(marker.c_str(), std::ios::binary | std::ios::trunc);
    out << "started\n";
    return out ? 0 : 1;
}
