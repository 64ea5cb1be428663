#pragma once
// Drives a running installer.exe from another process, as a user would: reads the
// controls by their identifiers, presses the button, closes the window.

#include <windows.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The driver's users read and write files and print texts with the shared test helpers.
#include "tests/support/test_files.h"
#include "tests/support/test_text.h"

struct DialogState {
    std::wstring title;
    std::wstring status;
    std::wstring detail;
    std::wstring caption;
    int progress = -1;
    bool buttonEnabled = false;
    bool operator==(const DialogState&) const = default;
};

// The state on one line in UTF-8 ("[title | status | detail | progress | caption]"), for messages.
std::ostream& operator<<(std::ostream& out, const DialogState& state);

struct RunningInstaller {
    PROCESS_INFORMATION process{};
    HWND dialog = nullptr;
};

// Starts exePath in workingFolder (default: the exe's own folder); the dialog is null when it
// did not appear within the time-out.
RunningInstaller StartInstaller(const std::wstring& exePath,
                                const std::wstring& workingFolder = L"");
// Ends the process if it still runs and closes its handles.
void StopInstaller(RunningInstaller& installer);
// The controls' current texts, position and enabled state.
DialogState ReadDialog(HWND dialog);
// Polls until done(state) holds or the time-out passes; every distinct state seen is appended
// to history. Returns whether done held.
bool WaitForDialog(HWND dialog, const std::function<bool(const DialogState&)>& done,
                   std::vector<DialogState>& history,
                   std::chrono::milliseconds timeout = std::chrono::seconds(60));
// A click on the action button (BM_CLICK: ignored by a disabled button, like a mouse click).
void ClickActionButton(HWND dialog);
// A WM_COMMAND for the action button sent directly, as another program could.
void SendActionCommand(HWND dialog);
// The run has ended: the button is enabled again as "重新安装" or "打开程序".
bool RunEnded(const DialogState& state);
// Takes a screenshot of the whole (virtual) screen into a PNG under the artifacts folder.
bool SaveScreenshot(const std::string& name);
// The Windows form (Z:\...) of a Unix path from the environment variable; empty when unset.
std::wstring WindowsPathFromEnvironment(const char* variable);
// Copies what the screen shows of window into a 24-bit BMP file; false on failure.
bool CaptureWindowToBmp(HWND window, const std::wstring& bmpPath);
