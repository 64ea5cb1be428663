#include "extract/extract.h"

#include <memory>
#include <vector>

#include "app/status.h"
#include "extract/commands.h"

namespace {

struct ProcessHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct ThreadHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct FileHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct FindHandleCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using ProcessHandle = std::unique_ptr<void, ProcessHandleCloser>;
using ThreadHandle = std::unique_ptr<void, ThreadHandleCloser>;
using FileHandle = std::unique_ptr<void, FileHandleCloser>;
using FindHandle = std::unique_ptr<void, FindHandleCloser>;

// A terminated process is gone within moments; the bound only keeps a stuck teardown from
// blocking the install for ever.
constexpr DWORD TerminationWaitMilliseconds = 30000;

struct Strategy {
    bool (*attempt)(const std::wstring& zipPath, const std::wstring& destDir);
    const wchar_t* beforeText;
    DWORD pauseMilliseconds;
    const wchar_t* successText;
};

bool AttemptVbscript(const std::wstring& zipPath, const std::wstring& destDir) {
    return ExtractWithVbscript(zipPath, destDir);
}

const Strategy Strategies[] = {
    {ExtractWithTar, L"[tar]正在解压安装包...", 1000, L"[tar]解压成功"},
    {AttemptVbscript, L"[VBScript]正在解压安装包...", 2000, L"[VBScript]解压成功"},
    {ExtractWithPowerShell, L"[PowerShell]正在解压安装包...", 1000, L"[PowerShell]解压成功"},
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

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

bool ExtractPackage(const std::wstring& zipPath, const std::wstring& destDir) {
    const std::wstring archiveName = ArchiveNameInside(zipPath, destDir);
    for (const Strategy& strategy : Strategies) {
        SetDetailText(strategy.beforeText);
        if (!strategy.attempt(zipPath, destDir)) continue;
        Sleep(strategy.pauseMilliseconds);
        if (!DirectoryHasEntriesBesides(destDir, archiveName, L"extract_temp.vbs")) continue;
        SetDetailText(strategy.successText);
        return true;
    }
    SetDetailText(L"文件解压失败，请检查ZIP文件是否损坏");
    return false;
}

bool ExtractWithTar(const std::wstring& zipPath, const std::wstring& destDir) {
    CreateDirectoryW(destDir.c_str(), nullptr);
    return RunHiddenCommand(TarCommandLine(zipPath, destDir), INFINITE, false);
}

bool ExtractWithVbscript(const std::wstring& zipPath, const std::wstring& destDir,
                         DWORD waitMilliseconds) {
    CreateDirectoryW(destDir.c_str(), nullptr);
    const std::wstring scriptPath = ExtractScriptPath(destDir);
    {
        HANDLE created = CreateFileW(scriptPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) return false;
        FileHandle file(created);
        const std::string bytes = EncodeScriptFile(ExtractScriptText(zipPath, destDir));
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }  // closed here: the script host must be able to open it
    const bool result = RunHiddenCommand(CscriptCommandLine(scriptPath), waitMilliseconds, true);
    DeleteFileW(scriptPath.c_str());
    return result;
}

bool ExtractWithPowerShell(const std::wstring& zipPath, const std::wstring& destDir) {
    CreateDirectoryW(destDir.c_str(), nullptr);
    return RunHiddenCommand(PowerShellCommandLine(zipPath, destDir), INFINITE, false);
}

bool DirectoryHasEntries(const std::wstring& dir) {
    return DirectoryHasEntriesBesides(dir, std::wstring(), std::wstring());
}

bool DirectoryHasEntriesBesides(const std::wstring& dir, const std::wstring& ignored1,
                                const std::wstring& ignored2) {
    const std::wstring pattern = dir + L"\\*";
    WIN32_FIND_DATAW entry{};
    HANDLE found = FindFirstFileW(pattern.c_str(), &entry);
    if (found == INVALID_HANDLE_VALUE) return false;
    FindHandle search(found);
    do {
        if (IsDotOrDotDot(entry.cFileName)) continue;
        const std::wstring name = entry.cFileName;
        if (!ignored1.empty() && SameTextIgnoringCase(name, ignored1)) continue;
        if (!ignored2.empty() && SameTextIgnoringCase(name, ignored2)) continue;
        return true;
    } while (FindNextFileW(search.get(), &entry));
    return false;
}

bool RunHiddenCommand(const std::wstring& commandLine, DWORD waitMilliseconds, bool hideWindow) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (hideWindow) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION started{};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &started)) {
        return false;
    }
    ThreadHandle thread(started.hThread);
    ProcessHandle process(started.hProcess);
    if (WaitForSingleObject(process.get(), waitMilliseconds) == WAIT_TIMEOUT) {
        // Left running, it would go on writing into the folder the next unpacker fills.
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), TerminationWaitMilliseconds);
        return false;
    }
    DWORD exitCode = STILL_ACTIVE;
    if (!GetExitCodeProcess(process.get(), &exitCode)) return false;
    return exitCode == 0;
}
