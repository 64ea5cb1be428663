#pragma once
// Drives a running installer.exe from another process, as a user would: reads the
// controls by their identifiers, presses the button, closes the window.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct DialogState {
    std::wstring title;
    std::wstring status;
    std::wstring detail;
    std::wstring caption;
    int progress = -1;
    bool buttonEnabled = false;
    bool operator==(const DialogState&) const = default;
};

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
// Takes a screenshot of the whole (virtual) screen into a PNG under the artifacts folder.
bool SaveScreenshot(const std::string& name);
// The Windows form (Z:\...) of a Unix path from the environment variable; empty when unset.
std::wstring WindowsPathFromEnvironment(const char* variable);
// Writes bytes to a file, replacing it; false on failure.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Reads a whole file; empty when missing.
std::string ReadFileBytes(const std::wstring& path);
// text in UTF-8, for messages. Never fails.
std::string Utf8(const std::wstring& text);
// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();
// Copies what the screen shows of window into a 24-bit BMP file; false on failure.
bool CaptureWindowToBmp(HWND window, const std::wstring& bmpPath);
