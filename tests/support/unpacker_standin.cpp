// A stand-in for tar.exe, cscript.exe and powershell.exe in tests. Copied under those names
// beside a program under test, it finds out which one it plays from its own file name, reads
// its command line (and, as the script host, its script) the way the real program would,
// records what it understood, and then behaves as the test asks.
//
// Behaviour, per program: INSTALLER_STANDIN_TAR, INSTALLER_STANDIN_CSCRIPT,
// INSTALLER_STANDIN_POWERSHELL, else the first word of the file <program>.standin beside the
// stand-in, else "unpack". A value is ACTION or ACTION:MILLISECONDS (sleep that long first):
//   unpack   unpack the ZIP archive into the destination; exit 0, or 1 when that fails
//   partial  unpack only the first file of the archive; exit 1
//   cut      unpack only the first file of the archive, as an unpacker that stops early does,
//            and still exit 0
//   empty    exit 0 having done nothing
//   fail     exit 1
//   hang     sleep (10 minutes, or MILLISECONDS), then exit 1
//
// Log: appended to INSTALLER_STANDIN_LOG (a Windows path, or a Unix path that is reached
// through Z:), else to unpacker-standin.log beside the stand-in. UTF-8; each run writes a
// "[run]" record when it starts and an "[exit]" record when it ends, each a block of
// key=value lines closed by an empty line, with '%', CR and LF in values written as %25, %0D
// and %0A. Keys of [run]: program, pid, commandline, arg (one per argument, argv[0] first),
// behaviour, startflags and showwindow (from its STARTUPINFO, decimal), overlap (1 when another
// stand-in was running at its start), currentfolder (as GetCurrentDirectoryW gives it), archive,
// destination, and where they apply:
// executionpolicy, archiveparameter (LiteralPath or Path), script (the script's path),
// scriptbytes (its bytes in upper-case hex), scriptencoding (utf-16le or ansi), copyoptions (the
// CopyHere options; without 16, "Yes to All", a file that exists stops the copy at a question
// nobody answers: the stand-in waits 10 minutes), parseerror.
// Keys of [exit]: program, pid, code, error.

#include <windows.h>

#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "handles/handles.h"
#include "names/names.h"
#include "tests/support/test_files.h"
#include "tests/support/test_text.h"
#include "tests/support/unpacker_parsing.h"

namespace {

constexpr wchar_t OverlapMutexName[] = L"Local\\InstallerUnpackerStandin";

std::wstring Environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD written = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(written < size ? written : 0);
    return value;
}

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    const DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(size);
    return path;
}

std::wstring CurrentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD written = GetCurrentDirectoryW(size, folder.data());
    folder.resize(written < size ? written : 0);
    return folder;
}

void CreateDirectories(const std::wstring& path) {
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos;
         pos = path.find(L'\\', pos + 1)) {
        CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

// --- the log ---

struct Record {
    std::string text;
    void Add(const char* key, const std::wstring& value) {
        text += key;
        text += '=';
        for (char c : Utf8(value)) {
            if (c == '%') {
                text += "%25";
            } else if (c == '\r') {
                text += "%0D";
            } else if (c == '\n') {
                text += "%0A";
            } else {
                text += c;
            }
        }
        text += '\n';
    }
};

void AppendToLog(const std::wstring& logPath, const std::string& block) {
    const FileHandle file(CreateFileW(logPath.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
}

// --- the ZIP archive ---

unsigned ReadU16(const std::string& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
unsigned long ReadU32(const std::string& b, size_t at) {
    return ReadU16(b, at) | (static_cast<unsigned long>(ReadU16(b, at + 2)) << 16);
}

struct ZipEntry {
    std::wstring name;  // with backslashes
    bool directory = false;
    unsigned method = 0;
    unsigned long crc = 0;
    unsigned long compressedSize = 0;
    unsigned long size = 0;
    size_t dataOffset = 0;
};

// An entry name that stays inside the destination: relative, no drive, no "..", by the rules
// the installer's listing applies. Other names the stand-in writes as Windows lets it.
bool IsContainedName(const std::wstring& name) {
    const StoredName read = ReadStoredName(name);
    return !read.empty && !read.absolute && !read.driveLetter && !read.parentComponent &&
           name.find(L':') == std::wstring::npos;
}

bool ReadZipDirectory(const std::string& zip, std::vector<ZipEntry>& entries, std::wstring& error) {
    if (zip.size() < 22) {
        error = L"not a ZIP archive (too short)";
        return false;
    }
    size_t end = std::string::npos;
    const size_t lowest = zip.size() > 22 + 65535 ? zip.size() - 22 - 65535 : 0;
    for (size_t at = zip.size() - 22 + 1; at-- > lowest;) {
        if (ReadU32(zip, at) == 0x06054b50) {
            end = at;
            break;
        }
    }
    if (end == std::string::npos) {
        error = L"not a ZIP archive (no end of central directory)";
        return false;
    }
    const unsigned count = ReadU16(zip, end + 10);
    size_t at = ReadU32(zip, end + 16);
    for (unsigned i = 0; i < count; ++i) {
        if (at + 46 > zip.size() || ReadU32(zip, at) != 0x02014b50) {
            error = L"broken central directory";
            return false;
        }
        const unsigned flags = ReadU16(zip, at + 8);
        ZipEntry entry;
        entry.method = ReadU16(zip, at + 10);
        entry.crc = ReadU32(zip, at + 16);
        entry.compressedSize = ReadU32(zip, at + 20);
        entry.size = ReadU32(zip, at + 24);
        const unsigned nameLength = ReadU16(zip, at + 28);
        const size_t next = at + 46 + nameLength + ReadU16(zip, at + 30) + ReadU16(zip, at + 32);
        const size_t local = ReadU32(zip, at + 42);
        if (next > zip.size() || local + 30 > zip.size() || ReadU32(zip, local) != 0x04034b50) {
            error = L"broken entry header";
            return false;
        }
        if (flags & 1) {
            error = L"encrypted entry";
            return false;
        }
        const std::string rawName = zip.substr(at + 46, nameLength);
        entry.name = FromCodePage((flags & 0x800) ? CP_UTF8 : 437, rawName);
        for (wchar_t& c : entry.name) {
            if (c == L'/') c = L'\\';
        }
        if (!entry.name.empty() && entry.name.back() == L'\\') {
            entry.directory = true;
            entry.name.pop_back();
        }
        if (!IsContainedName(entry.name)) {
            error = L"entry outside the destination: " + entry.name;
            return false;
        }
        entry.dataOffset = local + 30 + ReadU16(zip, local + 26) + ReadU16(zip, local + 28);
        if (entry.dataOffset + entry.compressedSize > zip.size()) {
            error = L"entry data beyond the archive: " + entry.name;
            return false;
        }
        entries.push_back(entry);
        at = next;
    }
    return true;
}

bool EntryData(const std::string& zip, const ZipEntry& entry, std::string& data,
               std::wstring& error) {
    const std::string packed = zip.substr(entry.dataOffset, entry.compressedSize);
    if (entry.method == 0) {
        data = packed;
    } else if (entry.method == 8) {
        data.assign(entry.size, '\0');
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
            error = L"inflateInit2 failed";
            return false;
        }
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        stream.avail_in = static_cast<uInt>(packed.size());
        stream.next_out = reinterpret_cast<Bytef*>(data.data());
        stream.avail_out = static_cast<uInt>(data.size());
        const int result = inflate(&stream, Z_FINISH);
        const uLong produced = stream.total_out;
        inflateEnd(&stream);
        if (result != Z_STREAM_END || produced != entry.size) {
            error = L"corrupt deflated data: " + entry.name;
            return false;
        }
    } else {
        error = L"unsupported compression method: " + entry.name;
        return false;
    }
    const uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    if (data.size() != entry.size || crc != entry.crc) {
        error = L"CRC mismatch: " + entry.name;
        return false;
    }
    return true;
}

// The shell's question before it replaces a file: in a hidden script host nobody answers it.
constexpr DWORD UnansweredQuestionMilliseconds = 600000;

// Unpacks every entry (or only the first file) of zipPath into destination. askBeforeReplacing:
// a file that exists already stops the copy at a question that nobody answers, as the shell's
// copy does without "Yes to All".
bool Unpack(const std::wstring& zipPath, bool archiveSharesReadingOnly,
            const std::wstring& destination, bool firstFileOnly, bool askBeforeReplacing,
            std::wstring& error) {
    // Held while the archive is read, which shares writing too (as tar's open does).
    FileHandle sharingReadingOnly;
    if (archiveSharesReadingOnly) {
        sharingReadingOnly.reset(CreateFileW(zipPath.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
        if (!sharingReadingOnly) {
            error = L"cannot open the archive sharing reading only (error " +
                    std::to_wstring(GetLastError()) + L"): " + zipPath;
            return false;
        }
    }
    std::string zip;
    if (!ReadFileBytes(zipPath, zip)) {
        error = L"cannot read the archive: " + zipPath;
        return false;
    }
    std::vector<ZipEntry> entries;
    if (!ReadZipDirectory(zip, entries, error)) return false;
    std::wstring base = destination;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    for (const ZipEntry& entry : entries) {
        const std::wstring target = base + entry.name;
        if (entry.directory) {
            CreateDirectories(target);
            continue;
        }
        std::string data;
        if (!EntryData(zip, entry, data, error)) return false;
        const size_t slash = target.find_last_of(L'\\');
        if (slash != std::wstring::npos) CreateDirectories(target.substr(0, slash));
        if (askBeforeReplacing && PathExists(target)) {
            Sleep(UnansweredQuestionMilliseconds);
            error = L"replace question unanswered: " + target;
            return false;
        }
        if (!WriteFileBytes(target, data)) {
            error = L"cannot write " + target;
            return false;
        }
        if (firstFileOnly) return true;
    }
    return true;
}

// --- what each program was asked to do ---

struct Request {
    bool understood = false;
    std::wstring archive;
    std::wstring destination;
    bool createDestination = false;   // Expand-Archive makes it; tar and the shell need it
    bool askBeforeReplacing = false;  // the shell's copy without option 16, "Yes to All"
    // tar opens the archive as msvcrt's _wopen does, sharing reading and writing (not deleting);
    // the shell's ZIP folder and Expand-Archive share reading only, so they fail while anyone
    // holds it with write access.
    bool archiveSharesReadingOnly = true;
    std::wstring error;
};

std::wstring Hex(const std::string& bytes) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

Request ReadTarRequest(const std::vector<std::wstring>& args) {
    Request request;
    bool extract = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == L"-xf" && i + 1 < args.size()) {
            extract = true;
            request.archive = args[++i];
        } else if (args[i] == L"-C" && i + 1 < args.size()) {
            request.destination = args[++i];
        } else {
            request.error = L"tar: unexpected argument: " + args[i];
            return request;
        }
    }
    if (!extract) {
        request.error = L"tar: no -xf ARCHIVE";
        return request;
    }
    if (request.destination.empty()) request.destination = L".";
    request.archiveSharesReadingOnly = false;
    request.understood = true;
    return request;
}

Request ReadCscriptRequest(const std::vector<std::wstring>& args, Record& record) {
    Request request;
    std::wstring script;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].rfind(L"//", 0) == 0) continue;  // host options
        script = args[i];
        break;
    }
    record.Add("script", script);
    if (script.empty()) {
        request.error = L"cscript: no script named";
        return request;
    }
    const size_t dot = script.find_last_of(L'.');
    if (dot == std::wstring::npos || FoldAsciiCase(script.substr(dot)) != L".vbs") {
        request.error = L"cscript: no script engine for " + script;
        return request;
    }
    std::string bytes;
    if (!ReadFileBytes(script, bytes)) {
        request.error = L"cscript: cannot read " + script;
        return request;
    }
    record.Add("scriptbytes", Hex(bytes));
    // The script host reads UTF-16LE when the file starts with its byte-order mark, else
    // the system's ANSI code page.
    std::wstring text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        record.Add("scriptencoding", L"utf-16le");
        text = DecodeUtf16Le(bytes.substr(2));
    } else {
        record.Add("scriptencoding", L"ansi");
        text = FromCodePage(CP_ACP, bytes);
    }
    const std::vector<std::wstring> folders = ScriptNameSpaceArguments(text);
    if (folders.size() != 2) {
        request.error = L"cscript: expected two NameSpace calls";
        return request;
    }
    request.archive = folders[0];
    request.destination = folders[1];
    const long options = ScriptCopyOptions(text);
    record.Add("copyoptions", std::to_wstring(options));
    request.askBeforeReplacing = options < 0 || (options & 16) == 0;
    request.understood = true;
    return request;
}

Request ReadPowerShellRequest(const std::vector<std::wstring>& args, Record& record) {
    Request request;
    const PowerShellInvocation call = ParsePowerShellArguments(args);
    record.Add("executionpolicy", call.executionPolicy);
    if (!call.ok) {
        request.error = L"powershell: " + call.error;
        return request;
    }
    if (!EqualsIgnoringAsciiCase(call.cmdlet, L"Expand-Archive")) {
        request.error = L"powershell: not Expand-Archive: " + call.cmdlet;
        return request;
    }
    bool literal = false;
    bool wildcard = false;
    request.archive = PowerShellParameter(call, L"LiteralPath", &literal);
    if (!literal) request.archive = PowerShellParameter(call, L"Path", &wildcard);
    record.Add("archiveparameter", literal ? L"LiteralPath" : wildcard ? L"Path" : L"");
    if (!literal && !wildcard) {
        request.error = L"powershell: no archive given";
        return request;
    }
    // -Path takes wildcards: brackets and the like name other files, or none.
    if (wildcard && request.archive.find_first_of(L"*?[]") != std::wstring::npos) {
        request.error = L"powershell: wildcard path matches nothing: " + request.archive;
        return request;
    }
    request.destination = PowerShellParameter(call, L"DestinationPath");
    request.createDestination = true;
    request.understood = true;
    return request;
}

std::wstring Behaviour(const std::wstring& program, const std::wstring& ownDir) {
    std::wstring upper = program;
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
    }
    std::wstring value = Environment((L"INSTALLER_STANDIN_" + upper).c_str());
    if (value.empty()) {
        std::string bytes;
        if (ReadFileBytes(ownDir + program + L".standin", bytes)) {
            value = FromUtf8(bytes);
            const size_t end = value.find_first_of(L" \t\r\n");
            if (end != std::wstring::npos) value.resize(end);
        }
    }
    return value.empty() ? L"unpack" : FoldAsciiCase(value);
}

}  // namespace

int wmain() {
    const std::wstring ownPath = OwnPath();
    const size_t slash = ownPath.find_last_of(L"\\/");
    const std::wstring ownDir = ownPath.substr(0, slash + 1);
    std::wstring program = FoldAsciiCase(ownPath.substr(slash + 1));
    if (program.size() > 4 && program.substr(program.size() - 4) == L".exe") {
        program.resize(program.size() - 4);
    }
    std::wstring logPath = WindowsPath(Environment(L"INSTALLER_STANDIN_LOG"));
    if (logPath.empty()) logPath = ownDir + L"unpacker-standin.log";

    // Held for the whole run: a second stand-in that finds it taken ran alongside this one.
    KernelHandle running(CreateMutexW(nullptr, FALSE, OverlapMutexName));
    const bool overlap = running && WaitForSingleObject(running.get(), 0) == WAIT_TIMEOUT;

    const std::wstring commandLine = GetCommandLineW();
    const std::vector<std::wstring> args = ParseWindowsCommandLine(commandLine);
    const std::wstring behaviour = Behaviour(program, ownDir);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());

    Record record;
    record.text = "[run]\n";
    record.Add("program", program);
    record.Add("pid", pid);
    record.Add("commandline", commandLine);
    for (const std::wstring& arg : args) record.Add("arg", arg);
    record.Add("behaviour", behaviour);
    record.Add("startflags", std::to_wstring(startup.dwFlags));
    record.Add("showwindow", std::to_wstring(startup.wShowWindow));
    record.Add("overlap", overlap ? L"1" : L"0");
    record.Add("currentfolder", CurrentFolder());
    Request request;
    if (program == L"tar") {
        request = ReadTarRequest(args);
    } else if (program == L"cscript") {
        request = ReadCscriptRequest(args, record);
    } else if (program == L"powershell") {
        request = ReadPowerShellRequest(args, record);
    } else {
        request.error = L"unknown program name: " + program;
    }
    record.Add("archive", request.archive);
    record.Add("destination", request.destination);
    if (!request.understood) record.Add("parseerror", request.error);
    AppendToLog(logPath, record.text + "\n");

    const size_t colon = behaviour.find(L':');
    const std::wstring action = behaviour.substr(0, colon);
    const DWORD delay =
        colon == std::wstring::npos
            ? (action == L"hang" ? 600000 : 0)
            : static_cast<DWORD>(wcstoul(behaviour.c_str() + colon + 1, nullptr, 10));
    Sleep(delay);

    int code = 1;
    std::wstring error;
    if (action == L"empty") {
        code = 0;
    } else if (action == L"unpack" || action == L"partial" || action == L"cut") {
        if (!request.understood) {
            error = request.error;
        } else if (!request.createDestination && !IsDirectory(request.destination)) {
            error = L"destination is not a folder: " + request.destination;
        } else {
            if (request.createDestination) CreateDirectories(request.destination);
            const bool unpacked =
                Unpack(request.archive, request.archiveSharesReadingOnly, request.destination,
                       action != L"unpack", request.askBeforeReplacing, error);
            code = unpacked && action != L"partial" ? 0 : 1;
        }
    } else if (action != L"fail" && action != L"hang") {
        error = L"unknown behaviour: " + behaviour;
    }

    Record exit;
    exit.text = "[exit]\n";
    exit.Add("program", program);
    exit.Add("pid", pid);
    exit.Add("code", std::to_wstring(code));
    exit.Add("error", error);
    AppendToLog(logPath, exit.text + "\n");
    if (running && !overlap) ReleaseMutex(running.get());
    return code;
}
