// Plays the user for the demo: starts the installer, presses its button once, and captures
// the window at each stage it reaches (ready, configuration, download, extraction, finished).
//   demo-driver.exe INSTALLER.exe SHOT_FOLDER
// Prints one line per capture and the final texts; exits 0 when the installation completed.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/driver/driver.h"

namespace {

struct Stage {
    const wchar_t* status;  // the status line that marks the stage
    const wchar_t* name;
};

const Stage Stages[] = {
    {L"正在下载配置文件...", L"2-configuration"},
    {L"正在解析配置...", L"2-configuration"},
    {L"正在下载安装包...", L"3-download"},
    {L"正在解压安装包...", L"4-extraction"},
};

void Capture(HWND dialog, const std::wstring& folder, const std::wstring& name,
             std::vector<std::wstring>& taken) {
    for (const std::wstring& done : taken)
        if (done == name) return;
    taken.push_back(name);
    // The status text changes before the window has repainted the rest of the stage.
    Sleep(600);
    const std::wstring path = folder + L"\\" + name + L".bmp";
    std::printf("%s %s\n", CaptureWindowToBmp(dialog, path) ? "captured" : "capture failed:",
                Utf8(name).c_str());
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: demo-driver INSTALLER.exe SHOT_FOLDER\n", stderr);
        return 2;
    }
    const std::wstring folder = argv[2];
    CreateDirectoryW(folder.c_str(), nullptr);
    RunningInstaller installer = StartInstaller(argv[1]);
    if (installer.dialog == nullptr) {
        std::fputs("demo-driver: the installer window did not appear\n", stderr);
        StopInstaller(installer);
        return 1;
    }
    std::vector<std::wstring> taken;
    std::vector<DialogState> history;
    // Let the window paint before the first capture.
    WaitForDialog(
        installer.dialog, [](const DialogState&) { return false; }, history,
        std::chrono::milliseconds(700));
    Capture(installer.dialog, folder, L"1-ready", taken);
    ClickActionButton(installer.dialog);
    const bool ended = WaitForDialog(
        installer.dialog,
        [&](const DialogState& state) {
            for (const Stage& stage : Stages)
                if (state.status == stage.status)
                    Capture(installer.dialog, folder, stage.name, taken);
            return RunEnded(state);
        },
        history, std::chrono::minutes(10));
    // The final texts are drawn by then; a short pause lets the last repaint land.
    WaitForDialog(
        installer.dialog, [](const DialogState&) { return false; }, history,
        std::chrono::milliseconds(500));
    Capture(installer.dialog, folder, L"5-finished", taken);
    const DialogState last = ReadDialog(installer.dialog);
    std::printf("status: %s\ndetail: %s\nbutton: %s\nprogress: %d\n", Utf8(last.status).c_str(),
                Utf8(last.detail).c_str(), Utf8(last.caption).c_str(), last.progress);
    const bool completed = ended && last.status.rfind(L"安装完成", 0) == 0;
    // Leaves the window open for a person when one is watching; the demo script decides.
    return completed ? 0 : 1;
}
