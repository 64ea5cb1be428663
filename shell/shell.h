#pragma once
// Known folders and the desktop shortcut. COM must be initialised on the calling thread.

#include <string>

// The current user's Documents folder; empty on failure.
std::wstring GetDocumentsFolder();
// The current user's Desktop folder; empty on failure.
std::wstring GetDesktopFolder();
// Saves a shortcut at linkPath pointing at targetPath, starting it in workingFolder; false when
// any step fails.
bool CreateDesktopShortcut(const std::wstring& targetPath, const std::wstring& linkPath,
                           const std::wstring& description, const std::wstring& workingFolder);
