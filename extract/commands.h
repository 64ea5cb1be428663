#pragma once
// Portable text of the extraction: command lines, the script, and its bytes on disk.

#include <string>

// Where the unpackers live inside the Windows system folder. They are started from there only:
// a search by name would try the installer's own folder (Downloads) first.
constexpr wchar_t TarProgram[] = L"tar.exe";
constexpr wchar_t ScriptHostProgram[] = L"cscript.exe";
constexpr wchar_t PowerShellProgram[] = L"WindowsPowerShell\\v1.0\\powershell.exe";

// Wraps a path in double quotes for a Windows command line, doubling backslashes that
// would otherwise escape the closing quote. Never fails.
std::wstring QuoteCommandLinePath(const std::wstring& path);
// "tar.exe -xf ..." for zipPath into destDir. Never fails.
std::wstring TarCommandLine(const std::wstring& zipPath, const std::wstring& destDir);
// "cscript.exe //NoLogo ..." running the script at scriptPath. Never fails.
std::wstring CscriptCommandLine(const std::wstring& scriptPath);
// "powershell.exe ... Expand-Archive ..." with both paths single-quote escaped. Never fails.
std::wstring PowerShellCommandLine(const std::wstring& zipPath, const std::wstring& destDir);
// The temporary script's file name inside the destination folder.
constexpr wchar_t ScriptFileName[] = L"extract_temp.vbs";
// destDir + "\extract_temp.vbs". Never fails.
std::wstring ExtractScriptPath(const std::wstring& destDir);
// The six-line VBScript that copies the archive's items into destDir. Never fails.
std::wstring ExtractScriptText(const std::wstring& zipPath, const std::wstring& destDir);
// text as UTF-16LE with a byte-order mark, the form the script host reads. Never fails.
std::string EncodeScriptFile(const std::wstring& text);
