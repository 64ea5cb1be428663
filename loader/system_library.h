#pragma once
// System DLLs that Windows does not always take from its system folder, loaded from there by full
// path, never found by a search that could reach the installer's own folder (a Downloads folder).
// This header includes nothing of the installer's own.

#include <windows.h>

#include <string>

// The system folder (GetSystemDirectoryW) + "\\" + relativePath; empty when the system folder
// cannot be read.
std::wstring SystemFolderPath(const std::wstring& relativePath);
// The module GetSystemDirectoryW() + "\\" + fileName; null when it cannot be loaded from there.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
