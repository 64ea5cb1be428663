#pragma once
// The installer's one window.

#include <windows.h>

// Dialog procedure of template IDD_INSTALLER. Never fails.
INT_PTR CALLBACK InstallerDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
