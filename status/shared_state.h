#pragma once
// State shared by the dialog thread and the install worker. The handles are written
// once while the dialog initialises, before any worker exists, and only read after.
// Nothing here is ever destroyed, so a worker still running while the process ends
// never sees freed state.

#include <windows.h>

#include <atomic>
#include <string>

extern HWND StatusLabel;   // control 1002, null until the dialog initialises
extern HWND ProgressBar;   // control 1001
extern HWND DetailLabel;   // control 1005
extern HWND ActionButton;  // control 1004

// Set by the dialog thread before it starts a worker; cleared by the worker (release)
// after it has written LaunchTarget and LaunchFolder.
extern std::atomic<bool> InstallInProgress;

// What the action button opens after a successful run; written by the worker only,
// read by the dialog thread only after it has seen InstallInProgress clear (acquire).
extern std::wstring& LaunchTarget;
// The folder the opened program starts in (the install directory), written together with
// LaunchTarget and under the same rules: the program's current folder, where Windows also looks
// for the DLLs it loads on demand, is then its own and not the installer's (often Downloads).
extern std::wstring& LaunchFolder;
