#pragma once
// Unpacks a ZIP archive with programs that come with Windows: tar.exe, then a VBScript
// under cscript.exe, then PowerShell's Expand-Archive.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "extract/zip_listing.h"

// The script host is given this long before its attempt counts as failed.
constexpr DWORD ScriptHostWaitMilliseconds = 60000;

// True when one unpacker exited 0 and the folder then holds every file and directory of the
// archive (by its central directory; when that cannot be read, entries besides the archive and
// the script); false after all three failed (advice in the detail text). The archive is never
// touched.
bool ExtractPackage(const std::wstring& zipPath, const std::wstring& destDir);
// As above, checking against listing (as ReadArchiveListing gave it) instead of reading it, and
// calling beforeReadSharingUnpacker once, before the first unpacker that opens the archive
// sharing reading only (the script host's shell and Expand-Archive; tar shares writing too):
// its false ends the unpack as failed (advice in the detail text).
bool ExtractPackage(const std::wstring& zipPath, const std::wstring& destDir,
                    const std::optional<std::vector<ZipEntry>>& listing,
                    const std::function<bool()>& beforeReadSharingUnpacker);
// The archive's central directory, read through an open that shares reading and writing (as
// tar's does); nullopt when it cannot be read (a damaged archive is the unpackers' business).
std::optional<std::vector<ZipEntry>> ReadArchiveListing(const std::wstring& zipPath);
// True when tar.exe started and exited with 0.
bool ExtractWithTar(const std::wstring& zipPath, const std::wstring& destDir);
// True when the script host started and exited with 0 within waitMilliseconds; a host still
// running then is terminated. The temporary script is always deleted.
bool ExtractWithVbscript(const std::wstring& zipPath, const std::wstring& destDir,
                         DWORD waitMilliseconds = ScriptHostWaitMilliseconds);
// True when powershell.exe started and exited with 0.
bool ExtractWithPowerShell(const std::wstring& zipPath, const std::wstring& destDir);
// True when dir lists an entry other than "." and ".."; false for a missing directory.
bool DirectoryHasEntries(const std::wstring& dir);
// True when dir lists an entry other than ".", "..", archiveName and extract_temp.vbs (names
// compared case-insensitively; an empty archiveName ignores no archive): an entry an unpacker
// made. False for a missing directory.
bool DirectoryHasUnpackedEntries(const std::wstring& dir, const std::wstring& archiveName);
// True when the program at programPath started (without a console, in the system folder) with
// commandLine and exited with 0 within waitMilliseconds; false when programPath is empty, the
// system folder cannot be read or the program cannot be started. A process
// still running after a finite wait is terminated and counts as failed; one still running when
// the installer ends is ended with it (a job object). hideChildWindows: the windows the child
// opens itself start hidden (the shell's copy progress).
bool RunHiddenCommand(const std::wstring& programPath, const std::wstring& commandLine,
                      DWORD waitMilliseconds, bool hideChildWindows);
// True when another program holds the file at path open so that it cannot be opened for writing
// (a sharing or lock violation); false when it is missing, opens, or fails for another reason.
bool FileIsInUse(const std::wstring& path);
// True when a file of listing that an unpacker would write below destDir is in use (as
// FileIsInUse); false when none is or destDir cannot be made a full path.
bool ArchiveFileInUse(const std::wstring& destDir, const std::vector<ZipEntry>& listing);
