// The extraction strategies against the unpacker stand-in (unpacker_standin.cpp), which the
// test runner installs in the system folder as tar.exe, cscript.exe and powershell.exe (for the
// NoTar cases: only the last two) and which records what it was given in a log.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "extract/commands.h"
#include "extract/extract.h"
#include "loader/system_library.h"
#include "handles/handles.h"
#include "status/status_memory.h"
#include "tests/extract/zip_writer.h"
#include "tests/support/test_files.h"
#include "tests/support/test_text.h"

namespace {

// The detail texts: an attempt announced, an attempt that unpacked, all failed.
const std::wstring Tar = L"[tar]正在解压安装包...";
const std::wstring TarDone = L"[tar]解压成功";
const std::wstring Script = L"[VBScript]正在解压安装包...";
const std::wstring ScriptDone = L"[VBScript]解压成功";
const std::wstring PowerShell = L"[PowerShell]正在解压安装包...";
const std::wstring PowerShellDone = L"[PowerShell]解压成功";
const std::wstring AllFailed = L"文件解压失败，请检查ZIP文件是否损坏";

// The file's bytes; "<missing>" when it cannot be read, which no expected content equals.
std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : "<missing>";
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << Utf8(path);
}

// The script file from the bytes the stand-in recorded (in hex), decoded by hand: a UTF-16LE
// byte-order mark, then little-endian code units, which a Windows wchar_t holds as they are.
std::wstring ScriptFromRecordedBytes(const std::wstring& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    if (bytes.size() % 2 != 0 || bytes.rfind("\xFF\xFE", 0) != 0) return L"<not UTF-16LE>";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    return text;
}

// The script strategy with its own time limit.
bool ExtractWithScriptHost(const std::wstring& zip, const std::wstring& dest) {
    return ExtractWithVbscript(zip, dest);
}

// --- the sample package: stored and deflated entries, folders, a UTF-8 name ---

struct SampleFile {
    std::wstring relative;
    std::string data;
};

std::vector<SampleFile> SampleFiles() {
    std::string program;
    for (int i = 0; i < 2000; ++i)
        program += "line " + std::to_string(i % 37) + " of the program\n";
    return {
        {L"readme.txt", "hello from the package\r\n"},
        {L"bin\\app.exe", program},
        {L"bin\\data\\配置.json", "{\"名字\": \"值\"}"},
    };
}

std::string SampleZip() {
    const std::vector<SampleFile> files = SampleFiles();
    return BuildZip({
        {"readme.txt", files[0].data, false},
        {"bin/", "", false},
        {"bin/app.exe", files[1].data, true},
        {"bin/data/" + Utf8(L"配置.json"), files[2].data, true},
        {"empty/", "", false},
    });
}

// Writes the sample package as folder\package.zip; its path.
std::wstring PlaceSampleZip(const std::wstring& folder) {
    const std::wstring zip = folder + L"\\package.zip";
    WriteBytes(zip, SampleZip());
    return zip;
}

void ExpectSampleUnpacked(const std::wstring& dest) {
    std::wstring base = dest;
    if (base.back() != L'\\') base += L'\\';
    for (const SampleFile& file : SampleFiles()) {
        EXPECT_EQ(ReadBytes(base + file.relative), file.data) << Utf8(base + file.relative);
    }
    EXPECT_TRUE(PathExists(base + L"empty")) << Utf8(base);
}

// --- the stand-in's log ---

struct StandinRecord {
    std::wstring kind;  // "run" or "exit"
    std::vector<std::pair<std::wstring, std::wstring>> fields;

    std::wstring Get(const std::wstring& key) const {
        for (const auto& [name, value] : fields) {
            if (name == key) return value;
        }
        return L"<absent>";
    }
};

std::string Unescape(const std::string& value) {
    std::string plain;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            plain += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            plain += value[i];
        }
    }
    return plain;
}

std::vector<StandinRecord> ReadStandinLog(const std::wstring& logPath) {
    std::vector<StandinRecord> records;
    std::string log;
    if (!ReadFileBytes(logPath, log)) return records;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(pos, end - pos);
        pos = end + 1;
        if (line == "[run]" || line == "[exit]") {
            records.push_back({FromUtf8(line.substr(1, line.size() - 2)), {}});
        } else if (!line.empty() && !records.empty()) {
            const size_t equals = line.find('=');
            records.back().fields.push_back(
                {FromUtf8(line.substr(0, equals)), FromUtf8(Unescape(line.substr(equals + 1)))});
        }
    }
    return records;
}

std::vector<StandinRecord> OfKind(const std::vector<StandinRecord>& records,
                                  const std::wstring& kind) {
    std::vector<StandinRecord> chosen;
    for (const StandinRecord& record : records) {
        if (record.kind == kind) chosen.push_back(record);
    }
    return chosen;
}

// The programs the stand-in played, in order, separated by blanks.
std::wstring Programs(const std::vector<StandinRecord>& runs) {
    std::wstring programs;
    for (const StandinRecord& run : runs)
        programs += (programs.empty() ? L"" : L" ") + run.Get(L"program");
    return programs;
}

// The unpackers that the detail texts announce, in the same form.
std::wstring Announced(const std::vector<std::wstring>& details) {
    std::wstring programs;
    for (const std::wstring& detail : details) {
        const wchar_t* program = detail == Tar          ? L"tar"
                                 : detail == Script     ? L"cscript"
                                 : detail == PowerShell ? L"powershell"
                                                        : nullptr;
        if (program != nullptr) programs += (programs.empty() ? L"" : L" ") + std::wstring(program);
    }
    return programs;
}

// True while some stand-in holds its running-mutex, i.e. is still alive.
bool StandinStillRunning() {
    KernelHandle running(OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\InstallerUnpackerStandin"));
    if (!running) return false;
    const DWORD waited = WaitForSingleObject(running.get(), 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(running.get());
    return waited == WAIT_TIMEOUT;
}

constexpr const wchar_t* BehaviourVariables[] = {
    L"INSTALLER_STANDIN_TAR", L"INSTALLER_STANDIN_CSCRIPT", L"INSTALLER_STANDIN_POWERSHELL"};

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        root_ = std::wstring(temp) + L"解压 测试 " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr)) << Utf8(root_);
        log_ = root_ + L"\\standin.log";
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_LOG", log_.c_str());
        StartCase();
    }

    void TearDown() override {
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_LOG", nullptr);
        for (const wchar_t* name : BehaviourVariables) SetEnvironmentVariableW(name, nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(root_), ignored);
    }

    // behaviours: the tar, cscript and powershell stand-ins' own, in this order, blank-separated.
    static void SetBehaviours(const std::wstring& behaviours) {
        std::wistringstream words(behaviours);
        for (const wchar_t* name : BehaviourVariables) {
            std::wstring word;
            words >> word;
            SetEnvironmentVariableW(name, word.c_str());
        }
    }

    // A new folder root\relative (with its parents).
    std::wstring MakeFolder(const std::wstring& relative) const {
        const std::wstring path = root_ + L"\\" + relative;
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path), ignored);
        return path;
    }

    // Starts one case of a table: a fresh log and status record, the stand-ins' behaviours.
    void StartCase(const std::wstring& behaviours = L"unpack unpack unpack") {
        DeleteFileW(log_.c_str());
        ResetRecordedStatus();
        SetBehaviours(behaviours);
    }

    std::vector<StandinRecord> Runs() const { return OfKind(ReadStandinLog(log_), L"run"); }
    std::vector<StandinRecord> Exits() const { return OfKind(ReadStandinLog(log_), L"exit"); }

    std::wstring root_;
    std::wstring log_;
};

class NoTarExtractTest : public ExtractTest {};

TEST_F(ExtractTest, TriesTheUnpackersInOrderUntilOneLeavesFiles) {
    // Where the archive lies: in the destination (as the worker has it), elsewhere, or in a
    // destination given with a trailing backslash.
    enum Layout { Inside, Elsewhere, Backslash };
    struct Case {
        const char* name;
        const wchar_t* behaviours;  // of tar, cscript and powershell; empty: exit 0, no files
        Layout layout;
        std::vector<std::wstring> details;  // each announced attempt runs its unpacker once
    } cases[] = {
        // clang-format off
        {"tar unpacks", L"unpack unpack unpack", Inside, {Tar, TarDone}},
        {"tar fails", L"fail unpack unpack", Inside, {Tar, Script, ScriptDone}},
        {"tar, script fail", L"fail fail unpack", Inside, {Tar, Script, PowerShell, PowerShellDone}},
        {"no files, archive inside", L"empty empty unpack", Inside, {Tar, Script, PowerShell, PowerShellDone}},
        {"no files, archive elsewhere", L"empty unpack unpack", Elsewhere, {Tar, Script, ScriptDone}},
        {"no files, dest ends in \\", L"empty unpack unpack", Backslash, {Tar, Script, ScriptDone}},
        {"all fail", L"fail fail fail", Inside, {Tar, Script, PowerShell, AllFailed}},
        {"all leave no files", L"empty empty empty", Inside, {Tar, Script, PowerShell, AllFailed}},
        {"all unpack partly", L"partial partial partial", Inside, {Tar, Script, PowerShell, AllFailed}},
        // clang-format on
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartCase(c.behaviours);
        const std::wstring caseRoot = MakeFolder(L"case " + std::to_wstring(++index));
        std::wstring dest = MakeFolder(L"case " + std::to_wstring(index) + L"\\文档\\应用\\1.0");
        const std::wstring zip = (c.layout == Elsewhere ? caseRoot : dest) + L"\\package.zip";
        if (c.layout == Backslash) dest += L"\\";
        const std::string archive = SampleZip();
        WriteBytes(zip, archive);
        const bool unpacked = c.details.back() != AllFailed;

        EXPECT_EQ(ExtractPackage(zip, dest), unpacked);

        EXPECT_EQ(ReadRecordedStatus().detailTexts, c.details);
        const std::vector<StandinRecord> runs = Runs();
        EXPECT_EQ(Programs(runs), Announced(c.details));
        for (const StandinRecord& run : runs) {
            EXPECT_EQ(run.Get(L"archive"), zip);
            EXPECT_EQ(run.Get(L"destination"), dest);
            EXPECT_EQ(run.Get(L"overlap"), L"0");
        }
        EXPECT_EQ(ReadBytes(zip), archive) << "the archive is kept unchanged";
        EXPECT_FALSE(PathExists(ExtractScriptPath(dest)));
        if (unpacked) ExpectSampleUnpacked(dest);
        if (std::wstring_view(c.behaviours).starts_with(L"partial")) {
            EXPECT_EQ(ReadBytes(dest + L"\\readme.txt"), SampleFiles()[0].data)
                << "what a failed attempt unpacked stays";
        }
    }
}

TEST_F(ExtractTest, EveryUnpackerReceivesAwkwardPathsIntact) {
    struct Strategy {
        const wchar_t* program;
        bool (*attempt)(const std::wstring& zip, const std::wstring& dest);
    } strategies[] = {
        {L"tar", ExtractWithTar},
        {L"cscript", ExtractWithScriptHost},
        {L"powershell", ExtractWithPowerShell},
    };
    const std::pair<const wchar_t*, bool> folders[] = {
        {L"用户\\张三\\文档\\应用\\1.0", false},
        {L"O'Brien's files\\it's", false},
        {L"app [x64]\\v[1]", false},
        {L"Bob\u2019s \u2018app\u2019 \u201Aq\u201B", false},
        {L"%TEMP% $env:PATH `x & ^a; #b", false},
        {L"trailing\\应用", true},
    };
    int index = 0;
    for (const Strategy& strategy : strategies) {
        for (const auto& [folder, trailingBackslash] : folders) {
            SCOPED_TRACE(Utf8(std::wstring(strategy.program) + L" into " + folder));
            StartCase();
            std::wstring dest = MakeFolder(std::to_wstring(++index) + L"\\" + folder);
            if (trailingBackslash) dest += L"\\";
            const std::wstring zip = PlaceSampleZip(dest);

            EXPECT_TRUE(strategy.attempt(zip, dest));

            const std::vector<StandinRecord> runs = Runs();
            ASSERT_EQ(runs.size(), 1u);
            const StandinRecord& run = runs[0];
            EXPECT_EQ(run.Get(L"program"), strategy.program);
            EXPECT_EQ(run.Get(L"parseerror"), L"<absent>");
            EXPECT_EQ(run.Get(L"archive"), zip);
            EXPECT_EQ(run.Get(L"destination"), dest);
            ExpectSampleUnpacked(dest);
            const unsigned long flags = std::stoul(run.Get(L"startflags"));
            if (strategy.program == std::wstring(L"cscript")) {
                EXPECT_EQ(run.Get(L"script"), ExtractScriptPath(dest));
                EXPECT_EQ(run.Get(L"scriptencoding"), L"utf-16le");
                EXPECT_EQ(ScriptFromRecordedBytes(run.Get(L"scriptbytes")),
                          ExtractScriptText(zip, dest));
                EXPECT_FALSE(PathExists(ExtractScriptPath(dest)));
                EXPECT_TRUE(flags & STARTF_USESHOWWINDOW);
                EXPECT_EQ(run.Get(L"showwindow"), std::to_wstring(SW_HIDE));
            } else {
                EXPECT_FALSE(flags & STARTF_USESHOWWINDOW);
            }
            if (strategy.program == std::wstring(L"powershell")) {
                EXPECT_EQ(run.Get(L"archiveparameter"), L"LiteralPath");
                EXPECT_EQ(run.Get(L"executionpolicy"), L"Bypass");
            }
        }
    }
}

// The installer's current folder is often Downloads, where a program looks for the DLLs it loads
// on demand: every unpacker starts in the system folder instead.
TEST_F(ExtractTest, EveryUnpackerStartsInTheSystemFolder) {
    StartCase(L"fail fail unpack");
    const std::wstring dest = MakeFolder(L"应用\\1.0");
    const std::wstring zip = PlaceSampleZip(dest);
    wchar_t previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(MakeFolder(L"下载").c_str()));

    const bool unpacked = ExtractPackage(zip, dest);
    SetCurrentDirectoryW(previous);  // else the folder cannot be removed

    EXPECT_TRUE(unpacked);
    wchar_t system[MAX_PATH + 1] = {};
    ASSERT_NE(GetSystemDirectoryW(system, MAX_PATH + 1), 0u);
    const std::vector<StandinRecord> runs = Runs();
    EXPECT_EQ(Programs(runs), L"tar cscript powershell");
    for (const StandinRecord& run : runs)
        EXPECT_EQ(run.Get(L"currentfolder"), system) << Utf8(run.Get(L"program"));
}

TEST_F(ExtractTest, ScriptHostOverItsLimitIsEndedBeforePowerShellStarts) {
    SetBehaviours(L"fail hang unpack");
    const std::wstring dest = MakeFolder(L"应用\\1.0");
    const std::wstring zip = PlaceSampleZip(dest);

    EXPECT_FALSE(ExtractWithVbscript(zip, dest, 1500));
    EXPECT_FALSE(StandinStillRunning()) << "the script host was left running";
    EXPECT_FALSE(PathExists(ExtractScriptPath(dest)));

    EXPECT_TRUE(ExtractWithPowerShell(zip, dest));
    const std::vector<StandinRecord> runs = Runs();
    EXPECT_EQ(Programs(runs), L"cscript powershell");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].Get(L"overlap"), L"0");
    EXPECT_EQ(Programs(Exits()), L"powershell") << "the script host never ended on its own";
    ExpectSampleUnpacked(dest);
}

// Guards the check above: the stand-in does notice an unpacker still running beside it.
TEST_F(ExtractTest, StandinNoticesAnotherUnpackerRunning) {
    SetBehaviours(L"hang unpack empty");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    std::wstring line = L"tar.exe -xf \"a.zip\" -C \"b\"";
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &started));
    const ProcessHandles child = OwnProcess(started);
    // The hanging stand-in takes its mutex first thing; wait (bounded) until its record is written.
    for (int i = 0; i < 200 && Runs().empty(); ++i) Sleep(50);
    ASSERT_EQ(Runs().size(), 1u);

    EXPECT_TRUE(RunHiddenCommand(SystemFolderPath(PowerShellProgram),
                                 L"powershell.exe -command \"Expand-Archive\"", INFINITE, false));
    TerminateProcess(child.process.get(), 1);
    WaitForSingleObject(child.process.get(), 30000);

    const std::vector<StandinRecord> runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].Get(L"overlap"), L"1");
}

TEST_F(ExtractTest, ScriptFileIsReplacedAndAlwaysDeleted) {
    struct Case {
        const char* name;
        const wchar_t* behaviour;
        DWORD limit;
        bool result;
    } cases[] = {
        {"host succeeds", L"unpack", ScriptHostWaitMilliseconds, true},
        {"host fails", L"fail", ScriptHostWaitMilliseconds, false},
        {"host outlives its limit", L"hang", 1000, false},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartCase(std::wstring(L"fail ") + c.behaviour + L" fail");
        const std::wstring dest = MakeFolder(L"case " + std::to_wstring(++index));
        const std::wstring zip = PlaceSampleZip(dest);
        WriteBytes(ExtractScriptPath(dest), std::string(5000, 'x'));

        EXPECT_EQ(ExtractWithVbscript(zip, dest, c.limit), c.result);

        const std::vector<StandinRecord> runs = Runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(ScriptFromRecordedBytes(runs[0].Get(L"scriptbytes")),
                  ExtractScriptText(zip, dest))
            << "the old file's tail must not survive";
        EXPECT_FALSE(PathExists(ExtractScriptPath(dest)));
        EXPECT_FALSE(StandinStillRunning());
    }
}

TEST_F(ExtractTest, ScriptThatCannotBeWrittenStartsNoHost) {
    const std::wstring dest = root_ + L"\\missing parent\\1.0";
    EXPECT_FALSE(ExtractWithVbscript(dest + L"\\package.zip", dest));
    EXPECT_TRUE(Runs().empty());
}

TEST_F(ExtractTest, DirectoryEntriesCountEveryNameButTheDots) {
    struct Case {
        const char* name;
        std::vector<std::wstring> entries;  // a name that ends in a backslash is a folder
        bool hiddenSystemFiles;
        bool hasEntries;
        bool hasUnpackedEntries;  // entries besides the archive and the script
    } cases[] = {
        // clang-format off
        {"empty", {}, false, false, false},
        {"only subdirectories", {L"bin\\", L"数据\\"}, false, true, true},
        {"only a hidden system file", {L"desktop.ini"}, true, true, true},
        {"names of dots and more", {L"..a", L".b"}, false, true, true},
        {"the archive and the script", {L"package.zip", L"extract_temp.vbs"}, false, true, false},
        {"both in other case", {L"PACKAGE.ZIP", L"Extract_Temp.VBS"}, false, true, false},
        {"the archive and a folder", {L"package.zip", L"bin\\"}, false, true, true},
        // clang-format on
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring dir = root_ + L"\\dir " + std::to_wstring(++index);
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
        for (const std::wstring& entry : c.entries) {
            const std::wstring path = dir + L"\\" + entry;
            if (entry.back() == L'\\') {
                CreateDirectoryW(path.c_str(), nullptr);
                continue;
            }
            WriteBytes(path, "x");
            if (c.hiddenSystemFiles)
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        }
        EXPECT_EQ(DirectoryHasEntries(dir), c.hasEntries);
        EXPECT_EQ(DirectoryHasUnpackedEntries(dir, L"package.zip"), c.hasUnpackedEntries);
        EXPECT_EQ(DirectoryHasEntries(dir), c.hasEntries);
    }
    const std::wstring missing = root_ + L"\\missing";
    EXPECT_FALSE(DirectoryHasEntries(missing));
    EXPECT_FALSE(DirectoryHasUnpackedEntries(missing, L"package.zip"));
}

TEST_F(ExtractTest, HiddenCommandSucceedsOnExitCodeZeroOnly) {
    const wchar_t* const TarLine = L"tar.exe -xf \"a.zip\" -C \"b\"";
    struct Case {
        const char* name;
        const wchar_t* program;
        const wchar_t* commandLine;
        const wchar_t* behaviour;
        DWORD limit;
        bool result;
    } cases[] = {
        // clang-format off
        {"exit 0", TarProgram, TarLine, L"empty", INFINITE, true},
        {"exit 1", TarProgram, TarLine, L"fail", INFINITE, false},
        {"no such program", L"no-such.exe", L"no-such.exe -x", L"empty", INFINITE, false},
        {"over the limit", TarProgram, TarLine, L"hang", 1000, false},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetBehaviours(std::wstring(c.behaviour) + L" fail fail");
        EXPECT_EQ(RunHiddenCommand(SystemFolderPath(c.program), c.commandLine, c.limit, false),
                  c.result);
        EXPECT_FALSE(StandinStillRunning());
    }
}

TEST_F(NoTarExtractTest, MissingTarGoesStraightToTheScriptHost) {
    ASSERT_FALSE(PathExists(SystemFolderPath(TarProgram)))
        << "this test needs a system without tar.exe";
    struct Case {
        const char* name;
        const wchar_t* behaviours;  // of tar, cscript and powershell
        const wchar_t* programs;    // that ran
        std::vector<std::wstring> details;
    } cases[] = {
        // clang-format off
        {"script host unpacks", L"unpack unpack unpack", L"cscript", {Tar, Script, ScriptDone}},
        {"everything fails", L"unpack fail fail", L"cscript powershell", {Tar, Script, PowerShell, AllFailed}},
        // clang-format on
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartCase(c.behaviours);
        const std::wstring dest = MakeFolder(L"应用 " + std::to_wstring(++index));
        const std::wstring zip = PlaceSampleZip(dest);

        EXPECT_EQ(ExtractPackage(zip, dest), c.details.back() != AllFailed);

        EXPECT_EQ(ReadRecordedStatus().detailTexts, c.details);
        EXPECT_EQ(Programs(Runs()), c.programs);
        EXPECT_TRUE(PathExists(zip));
    }
}

}  // namespace
