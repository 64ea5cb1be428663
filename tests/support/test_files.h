#pragma once
// Whole-file reads and writes that the tests, the unpacker stand-in and the installer driver
// share (Windows).

#include <string>

// The file's bytes into bytes (read while others may write it, as a log being appended); false
// when it cannot be opened or read.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
// Replaces the file with bytes; false when it cannot be created or fully written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Whether a file or folder is at path; false when not or when it cannot be looked at.
bool PathExists(const std::wstring& path);
// Whether a folder is at path; false when not or when it cannot be looked at.
bool IsDirectory(const std::wstring& path);
