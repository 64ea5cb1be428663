#include "extract/extract.h"

#include <functional>
#include <optional>
#include <vector>

#include "extract/commands.h"
#include "extract/folder_walk.h"
#include "extract/zip_listing.h"
#include "handles/handles.h"
#include "loader/system_library.h"
#include "status/status.h"

namespace {

// A terminated process is gone within moments; the bound only keeps a stuck teardown from
// blocking the install for ever.
constexpr DWORD TerminationWaitMilliseconds = 30000;

struct Strategy {
    bool (*attempt)(const std::wstring& zipPath, const std::wstring& destDir);
    const wchar_t* beforeText;
    DWORD pauseMilliseconds;
    const wchar_t* successText;
    // Opens the archive sharing reading only, so it fails while anyone holds write access.
    bool sharesReadingOnly;
};

bool AttemptVbscript(const std::wstring& zipPath, const std::wstring& destDir) {
    return ExtractWithVbscript(zipPath, destDir);
}

const Strategy Strategies[] = {
    {ExtractWithTar, L"[tar]正在解压安装包...", 1000, L"[tar]解压成功", false},
    {AttemptVbscript, L"[VBScript]正在解压安装包...", 2000, L"[VBScript]解压成功", true},
    {ExtractWithPowerShell, L"[PowerShell]正在解压安装包...", 1000, L"[PowerShell]解压成功", true},
};

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::vector<wchar_t> buffer(needed);
    const DWORD written = GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
    if (written == 0 || written >= needed) return {};
    std::wstring full(buffer.data(), written);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full;
}

// The archive's file name when the archive lies directly in destDir, else empty: that file
// was there before any unpacker ran and proves nothing.
std::wstring ArchiveNameInside(const std::wstring& zipPath, const std::wstring& destDir) {
    const std::wstring archive = FullPath(zipPath);
    const std::wstring directory = FullPath(destDir);
    const size_t slash = archive.find_last_of(L"\\/");
    if (archive.empty() || directory.empty() || slash == std::wstring::npos) return {};
    std::wstring parent = archive.substr(0, slash);
    if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
    if (!SameTextIgnoringCase(parent, directory)) return {};
    return archive.substr(slash + 1);
}

// A job that ends its processes when the last handle to it closes: when the installer ends (the
// window closed), an unpacker it started stops writing into the install folder. Empty when the
// system refuses one.
KernelHandle CreateKillOnCloseJob() {
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
        job.reset();
    }
    return job;
}

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// path in the one form that every listing and lookup of the unpacked folder goes through: tar
// writes through "\\?\" paths, so only that form reaches all it wrote (past MAX_PATH, where
// long paths are not enabled) under the very names it wrote. Empty when path cannot be made full.
std::wstring LongPathForm(const std::wstring& path) {
    const std::wstring full = FullPath(path);
    return full.empty() ? full : ExtendedLengthPath(full);
}

FoundEntry LookUpBelow(const std::wstring& longDir, const std::wstring& relativePath) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(PathBelow(longDir, relativePath).c_str(), GetFileExInfoStandard,
                              &data)) {
        return FoundEntry{};
    }
    return FoundEntry{true, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                      (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

// One folder of the walk; folder is already in the long-path form.
bool ListFolder(const std::wstring& folder, std::vector<ListedEntry>& entries) {
    WIN32_FIND_DATAW found{};
    const FindHandle search(FindFirstFileW(PathBelow(folder, L"*").c_str(), &found));
    if (!search) return false;
    do {
        if (IsDotOrDotDot(found.cFileName)) continue;
        const bool reparsePoint = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back({found.cFileName,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, reparsePoint,
                           reparsePoint ? found.dwReserved0 : 0});
    } while (FindNextFileW(search.get(), &found));
    return true;
}

// After an unpacker exited 0: the folder holds every file of the archive with its size and every
// directory entry as a directory. Without a listing, that the unpacker made anything at all.
bool UnpackedFolderIsComplete(const std::wstring& destDir, const std::wstring& archiveName,
                              const std::optional<std::vector<ZipEntry>>& listing) {
    if (!listing) return DirectoryHasUnpackedEntries(destDir, archiveName);
    const std::wstring longDir = LongPathForm(destDir);
    if (longDir.empty()) return false;
    const auto lookup = [&longDir](const std::wstring& relativePath) {
        return LookUpBelow(longDir, relativePath);
    };
    // The archive and the script at the top were not unpacked.
    const auto ignoredAtTop = [&archiveName](const std::wstring& name) {
        return SameTextIgnoringCase(name, archiveName) ||
               SameTextIgnoringCase(name, ScriptFileName);
    };
    return FolderHoldsArchive(*listing, lookup, CountFilesBelow(longDir, ignoredAtTop, ListFolder));
}

}  // namespace

bool ExtractPackage(const std::wstring& zipPath, const std::wstring& destDir) {
    return ExtractPackage(zipPath, destDir, ReadArchiveListing(zipPath), [] { return true; });
}

bool ExtractPackage(const std::wstring& zipPath, const std::wstring& destDir,
                    const std::optional<std::vector<ZipEntry>>& listing,
                    const std::function<bool()>& beforeReadSharingUnpacker) {
    const std::wstring archiveName = ArchiveNameInside(zipPath, destDir);
    bool readSharingPrepared = false;
    for (const Strategy& strategy : Strategies) {
        SetDetailText(strategy.beforeText);
        if (strategy.sharesReadingOnly && !readSharingPrepared) {
            if (!beforeReadSharingUnpacker()) break;
            readSharingPrepared = true;
        }
        if (!strategy.attempt(zipPath, destDir)) continue;
        Sleep(strategy.pauseMilliseconds);
        // An unpacker may exit 0 with half the package on disk (the shell's copy ends with the
        // script host), and files of an earlier run may fill the folder: only a complete one
        // counts.
        if (!UnpackedFolderIsComplete(destDir, archiveName, listing)) continue;
        SetDetailText(strategy.successText);
        return true;
    }
    SetDetailText(L"文件解压失败，请检查ZIP文件是否损坏");
    return false;
}

std::optional<std::vector<ZipEntry>> ReadArchiveListing(const std::wstring& zipPath) {
    // Shares writing, as tar does: the installer may hold the archive open for writing itself so
    // that nobody else can change it, and that must not lock out its listing.
    const FileHandle file(CreateFileW(zipPath.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) return std::nullopt;
    const ArchiveReader read = [&file](std::uint64_t offset, std::size_t count, std::string& out) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return false;
        out.assign(count, '\0');
        std::size_t done = 0;
        while (done < count) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1 << 20));
            if (!ReadFile(file.get(), out.data() + done, want, &got, nullptr) || got == 0)
                return false;
            done += got;
        }
        return true;
    };
    return ListZipEntries(static_cast<std::uint64_t>(size.QuadPart), read);
}

bool ExtractWithTar(const std::wstring& zipPath, const std::wstring& destDir) {
    CreateDirectoryW(destDir.c_str(), nullptr);
    return RunHiddenCommand(SystemFolderPath(TarProgram), TarCommandLine(zipPath, destDir),
                            INFINITE, false);
}

bool ExtractWithVbscript(const std::wstring& zipPath, const std::wstring& destDir,
                         DWORD waitMilliseconds) {
    CreateDirectoryW(destDir.c_str(), nullptr);
    const std::wstring scriptPath = ExtractScriptPath(destDir);
    {
        const FileHandle file(CreateFileW(scriptPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        const std::string bytes = EncodeScriptFile(ExtractScriptText(zipPath, destDir));
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }  // closed here: the script host must be able to open it
    const bool result = RunHiddenCommand(SystemFolderPath(ScriptHostProgram),
                                         CscriptCommandLine(scriptPath), waitMilliseconds, true);
    DeleteFileW(scriptPath.c_str());
    return result;
}

bool ExtractWithPowerShell(const std::wstring& zipPath, const std::wstring& destDir) {
    CreateDirectoryW(destDir.c_str(), nullptr);
    return RunHiddenCommand(SystemFolderPath(PowerShellProgram),
                            PowerShellCommandLine(zipPath, destDir), INFINITE, false);
}

bool DirectoryHasEntries(const std::wstring& dir) {
    const std::wstring pattern = dir + L"\\*";
    WIN32_FIND_DATAW entry{};
    const FindHandle search(FindFirstFileW(pattern.c_str(), &entry));
    if (!search) return false;
    do {
        if (!IsDotOrDotDot(entry.cFileName)) return true;
    } while (FindNextFileW(search.get(), &entry));
    return false;
}

bool DirectoryHasUnpackedEntries(const std::wstring& dir, const std::wstring& archiveName) {
    const std::wstring pattern = dir + L"\\*";
    WIN32_FIND_DATAW entry{};
    const FindHandle search(FindFirstFileW(pattern.c_str(), &entry));
    if (!search) return false;
    do {
        if (IsDotOrDotDot(entry.cFileName)) continue;
        const std::wstring name = entry.cFileName;
        if (!archiveName.empty() && SameTextIgnoringCase(name, archiveName)) continue;
        if (SameTextIgnoringCase(name, ScriptFileName)) continue;
        return true;
    } while (FindNextFileW(search.get(), &entry));
    return false;
}

bool RunHiddenCommand(const std::wstring& programPath, const std::wstring& commandLine,
                      DWORD waitMilliseconds, bool hideChildWindows) {
    if (programPath.empty()) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (hideChildWindows) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION started{};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    // Not the installer's current folder (often Downloads): Windows looks for a DLL that a
    // program loads on demand in its current folder.
    const std::wstring systemFolder = SystemFolderPath(L"");
    if (systemFolder.empty()) return false;
    const KernelHandle job = CreateKillOnCloseJob();
    // Suspended until it is in the job, so that nothing it starts escapes the job.
    if (!CreateProcessW(programPath.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, systemFolder.c_str(),
                        &startup, &started)) {
        return false;
    }
    const ProcessHandles child = OwnProcess(started);
    // Without a job (the system refused one) the unpacker runs as before, only not bound to us.
    if (job) AssignProcessToJobObject(job.get(), child.process.get());
    ResumeThread(child.thread.get());
    if (WaitForSingleObject(child.process.get(), waitMilliseconds) == WAIT_TIMEOUT) {
        // Left running, it would go on writing into the folder the next unpacker fills.
        TerminateProcess(child.process.get(), 1);
        WaitForSingleObject(child.process.get(), TerminationWaitMilliseconds);
        return false;
    }
    DWORD exitCode = STILL_ACTIVE;
    if (!GetExitCodeProcess(child.process.get(), &exitCode)) return false;
    return exitCode == 0;
}

bool FileIsInUse(const std::wstring& path) {
    // Shared with nobody, the open fails while another program has the file open, a running
    // program's image included; the handle is closed at once and never written through.
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return false;
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool ArchiveFileInUse(const std::wstring& destDir, const std::vector<ZipEntry>& listing) {
    const std::wstring longDir = LongPathForm(destDir);
    if (longDir.empty()) return false;
    for (const ZipEntry& entry : listing) {
        // Entries no unpacker writes where the name says replace nothing there.
        if (entry.isDirectory || entry.isUnsafe || !entry.nameIsPortable) continue;
        if (FileIsInUse(PathBelow(longDir, entry.name))) return true;
    }
    return false;
}
