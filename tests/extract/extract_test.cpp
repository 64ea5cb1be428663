// The extraction strategies against the unpacker stand-in (unpacker_standin.cpp), which the
// test runner installs in the system folder as tar.exe, cscript.exe and powershell.exe (for the
// NoTar cases: only the last two) and which records what it was given in a log.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "extract/commands.h"
#include "extract/extract.h"
#include "handles/handles.h"
#include "status/status_memory.h"
#include "tests/extract/zip_writer.h"

namespace {

const std::wstring TarBefore = L"[tar]正在解压安装包...";
const std::wstring TarDone = L"[tar]解压成功";
const std::wstring ScriptBefore = L"[VBScript]正在解压安装包...";
const std::wstring ScriptDone = L"[VBScript]解压成功";
const std::wstring PowerShellBefore = L"[PowerShell]正在解压安装包...";
const std::wstring PowerShellDone = L"[PowerShell]解压成功";
const std::wstring AllFailed = L"文件解压失败，请检查ZIP文件是否损坏";

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

std::wstring FromUtf8(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        size);
    return text;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The file's bytes; "<missing>" when it cannot be read.
std::string ReadBytes(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "<missing>";
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << ToUtf8(path);
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::wstring Hex(const std::string& bytes) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
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
        {"bin/data/" + ToUtf8(L"配置.json"), files[2].data, true},
        {"empty/", "", false},
    });
}

void ExpectSampleUnpacked(const std::wstring& dest) {
    std::wstring base = dest;
    if (base.back() != L'\\') base += L'\\';
    for (const SampleFile& file : SampleFiles()) {
        EXPECT_EQ(ReadBytes(base + file.relative), file.data) << ToUtf8(base + file.relative);
    }
    EXPECT_TRUE(Exists(base + L"empty")) << ToUtf8(base);
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
    std::string log = ReadBytes(logPath);
    if (log == "<missing>") return records;
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

std::vector<std::wstring> Programs(const std::vector<StandinRecord>& runs) {
    std::vector<std::wstring> programs;
    for (const StandinRecord& run : runs) programs.push_back(run.Get(L"program"));
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

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        root_ = std::wstring(temp) + L"解压 测试 " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr)) << ToUtf8(root_);
        log_ = root_ + L"\\standin.log";
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_LOG", log_.c_str());
        SetBehaviours(L"unpack", L"unpack", L"unpack");
        ResetRecordedStatus();
    }

    void TearDown() override {
        for (const wchar_t* name :
             {L"INSTALLER_STANDIN_LOG", L"INSTALLER_STANDIN_TAR", L"INSTALLER_STANDIN_CSCRIPT",
              L"INSTALLER_STANDIN_POWERSHELL"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(root_), ignored);
    }

    static void SetBehaviours(const std::wstring& tar, const std::wstring& cscript,
                              const std::wstring& powershell) {
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_TAR", tar.c_str());
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_CSCRIPT", cscript.c_str());
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_POWERSHELL", powershell.c_str());
    }

    // A new folder root\relative (with its parents).
    std::wstring MakeFolder(const std::wstring& relative) const {
        const std::wstring path = root_ + L"\\" + relative;
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path), ignored);
        return path;
    }

    // Starts a fresh log and status record for one case of a table.
    void StartCase() {
        DeleteFileW(log_.c_str());
        ResetRecordedStatus();
    }

    std::vector<StandinRecord> Runs() const { return OfKind(ReadStandinLog(log_), L"run"); }
    std::vector<StandinRecord> Exits() const { return OfKind(ReadStandinLog(log_), L"exit"); }

    std::wstring root_;
    std::wstring log_;
};

class NoTarExtractTest : public ExtractTest {};

TEST_F(ExtractTest, TriesTheUnpackersInOrderUntilOneLeavesFiles) {
    struct Case {
        const char* name;
        const wchar_t* tar;
        const wchar_t* cscript;
        const wchar_t* powershell;
        bool archiveInDestination;
        bool trailingBackslash;
        bool result;
        std::vector<std::wstring> programs;
        std::vector<std::wstring> details;
    } cases[] = {
        {"tar unpacks",
         L"unpack",
         L"unpack",
         L"unpack",
         true,
         false,
         true,
         {L"tar"},
         {TarBefore, TarDone}},
        {"tar fails",
         L"fail",
         L"unpack",
         L"unpack",
         true,
         false,
         true,
         {L"tar", L"cscript"},
         {TarBefore, ScriptBefore, ScriptDone}},
        {"tar and the script fail",
         L"fail",
         L"fail",
         L"unpack",
         true,
         false,
         true,
         {L"tar", L"cscript", L"powershell"},
         {TarBefore, ScriptBefore, PowerShellBefore, PowerShellDone}},
        {"exit 0 without files beside the archive",
         L"empty",
         L"empty",
         L"unpack",
         true,
         false,
         true,
         {L"tar", L"cscript", L"powershell"},
         {TarBefore, ScriptBefore, PowerShellBefore, PowerShellDone}},
        {"exit 0 without files, archive elsewhere",
         L"empty",
         L"unpack",
         L"unpack",
         false,
         false,
         true,
         {L"tar", L"cscript"},
         {TarBefore, ScriptBefore, ScriptDone}},
        {"exit 0 without files, destination ends in a backslash",
         L"empty",
         L"unpack",
         L"unpack",
         true,
         true,
         true,
         {L"tar", L"cscript"},
         {TarBefore, ScriptBefore, ScriptDone}},
        {"all fail",
         L"fail",
         L"fail",
         L"fail",
         true,
         false,
         false,
         {L"tar", L"cscript", L"powershell"},
         {TarBefore, ScriptBefore, PowerShellBefore, AllFailed}},
        {"all exit 0 without files",
         L"empty",
         L"empty",
         L"empty",
         true,
         false,
         false,
         {L"tar", L"cscript", L"powershell"},
         {TarBefore, ScriptBefore, PowerShellBefore, AllFailed}},
        {"all unpack a part and fail",
         L"partial",
         L"partial",
         L"partial",
         true,
         false,
         false,
         {L"tar", L"cscript", L"powershell"},
         {TarBefore, ScriptBefore, PowerShellBefore, AllFailed}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartCase();
        SetBehaviours(c.tar, c.cscript, c.powershell);
        const std::wstring caseRoot = MakeFolder(L"case " + std::to_wstring(++index));
        std::wstring dest = MakeFolder(L"case " + std::to_wstring(index) + L"\\文档\\应用\\1.0");
        const std::wstring zip = (c.archiveInDestination ? dest : caseRoot) + L"\\package.zip";
        if (c.trailingBackslash) dest += L"\\";
        const std::string archive = SampleZip();
        WriteBytes(zip, archive);

        EXPECT_EQ(ExtractPackage(zip, dest), c.result);

        EXPECT_EQ(ReadRecordedStatus().detailTexts, c.details);
        const std::vector<StandinRecord> runs = Runs();
        EXPECT_EQ(Programs(runs), c.programs);
        for (const StandinRecord& run : runs) {
            EXPECT_EQ(run.Get(L"archive"), zip);
            EXPECT_EQ(run.Get(L"destination"), dest);
            EXPECT_EQ(run.Get(L"overlap"), L"0");
        }
        EXPECT_EQ(ReadBytes(zip), archive) << "the archive is kept unchanged";
        EXPECT_FALSE(Exists(ExtractScriptPath(dest)));
        if (c.result) ExpectSampleUnpacked(dest);
        if (std::wstring(c.tar) == L"partial") {
            EXPECT_EQ(ReadBytes(dest + L"\\readme.txt"), SampleFiles()[0].data)
                << "what a failed attempt unpacked stays";
        }
    }
}

TEST_F(ExtractTest, EveryUnpackerReceivesAwkwardPathsIntact) {
    struct Strategy {
        const wchar_t* program;
        std::function<bool(const std::wstring&, const std::wstring&)> attempt;
    } strategies[] = {
        {L"tar", ExtractWithTar},
        {L"cscript", [](const std::wstring& zip,
                        const std::wstring& dest) { return ExtractWithVbscript(zip, dest); }},
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
            SCOPED_TRACE(ToUtf8(std::wstring(strategy.program) + L" into " + folder));
            StartCase();
            std::wstring dest = MakeFolder(std::to_wstring(++index) + L"\\" + folder);
            if (trailingBackslash) dest += L"\\";
            const std::wstring zip = dest + L"\\package.zip";
            WriteBytes(zip, SampleZip());

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
                EXPECT_EQ(run.Get(L"scriptbytes"),
                          Hex(EncodeScriptFile(ExtractScriptText(zip, dest))));
                EXPECT_FALSE(Exists(ExtractScriptPath(dest)));
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

TEST_F(ExtractTest, ScriptHostOverItsLimitIsEndedBeforePowerShellStarts) {
    SetBehaviours(L"fail", L"hang", L"unpack");
    const std::wstring dest = MakeFolder(L"应用\\1.0");
    const std::wstring zip = dest + L"\\package.zip";
    WriteBytes(zip, SampleZip());

    EXPECT_FALSE(ExtractWithVbscript(zip, dest, 1500));
    EXPECT_FALSE(StandinStillRunning()) << "the script host was left running";
    EXPECT_FALSE(Exists(ExtractScriptPath(dest)));

    EXPECT_TRUE(ExtractWithPowerShell(zip, dest));
    const std::vector<StandinRecord> runs = Runs();
    EXPECT_EQ(Programs(runs), (std::vector<std::wstring>{L"cscript", L"powershell"}));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].Get(L"overlap"), L"0");
    EXPECT_EQ(Programs(Exits()), std::vector<std::wstring>{L"powershell"})
        << "the script host never ended on its own";
    ExpectSampleUnpacked(dest);
}

// Guards the check above: the stand-in does notice an unpacker still running beside it.
TEST_F(ExtractTest, StandinNoticesAnotherUnpackerRunning) {
    SetBehaviours(L"hang", L"unpack", L"empty");
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

    EXPECT_TRUE(RunHiddenCommand(SystemProgramPath(PowerShellProgram),
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
        StartCase();
        SetBehaviours(L"fail", c.behaviour, L"fail");
        const std::wstring dest = MakeFolder(L"case " + std::to_wstring(++index));
        const std::wstring zip = dest + L"\\package.zip";
        WriteBytes(zip, SampleZip());
        WriteBytes(ExtractScriptPath(dest), std::string(5000, 'x'));

        EXPECT_EQ(ExtractWithVbscript(zip, dest, c.limit), c.result);

        const std::vector<StandinRecord> runs = Runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].Get(L"scriptbytes"), Hex(EncodeScriptFile(ExtractScriptText(zip, dest))))
            << "the old file's tail must not survive";
        EXPECT_FALSE(Exists(ExtractScriptPath(dest)));
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
        std::function<void(const std::wstring& dir)> fill;
        bool missing;
        bool hasEntries;
        bool hasEntriesBesidesArchiveAndScript;
    } cases[] = {
        {"empty", [](const std::wstring&) {}, false, false, false},
        {"missing", [](const std::wstring&) {}, true, false, false},
        {"only subdirectories",
         [](const std::wstring& dir) {
             CreateDirectoryW((dir + L"\\bin").c_str(), nullptr);
             CreateDirectoryW((dir + L"\\数据").c_str(), nullptr);
         },
         false, true, true},
        {"only a hidden system file",
         [](const std::wstring& dir) {
             WriteBytes(dir + L"\\desktop.ini", "x");
             SetFileAttributesW((dir + L"\\desktop.ini").c_str(),
                                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
         },
         false, true, true},
        {"names of dots and more",
         [](const std::wstring& dir) {
             WriteBytes(dir + L"\\..a", "x");
             WriteBytes(dir + L"\\.b", "x");
         },
         false, true, true},
        {"only the archive and the script",
         [](const std::wstring& dir) {
             WriteBytes(dir + L"\\package.zip", "x");
             WriteBytes(dir + L"\\extract_temp.vbs", "x");
         },
         false, true, false},
        {"the archive and the script in other case",
         [](const std::wstring& dir) {
             WriteBytes(dir + L"\\PACKAGE.ZIP", "x");
             WriteBytes(dir + L"\\Extract_Temp.VBS", "x");
         },
         false, true, false},
        {"the archive and a folder",
         [](const std::wstring& dir) {
             WriteBytes(dir + L"\\package.zip", "x");
             CreateDirectoryW((dir + L"\\bin").c_str(), nullptr);
         },
         false, true, true},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring dir = root_ + L"\\dir " + std::to_wstring(++index);
        if (!c.missing) {
            ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
            c.fill(dir);
        }
        EXPECT_EQ(DirectoryHasEntries(dir), c.hasEntries);
        EXPECT_EQ(DirectoryHasUnpackedEntries(dir, L"package.zip"),
                  c.hasEntriesBesidesArchiveAndScript);
        EXPECT_EQ(DirectoryHasEntries(dir), c.hasEntries);
    }
}

TEST_F(ExtractTest, HiddenCommandSucceedsOnExitCodeZeroOnly) {
    struct Case {
        const char* name;
        const wchar_t* program;
        const wchar_t* commandLine;
        const wchar_t* behaviour;
        DWORD limit;
        bool result;
    } cases[] = {
        {"exit 0", TarProgram, L"tar.exe -xf \"a.zip\" -C \"b\"", L"empty", INFINITE, true},
        {"exit 1", TarProgram, L"tar.exe -xf \"a.zip\" -C \"b\"", L"fail", INFINITE, false},
        {"no such program", L"no-such-unpacker.exe", L"no-such-unpacker.exe -x", L"empty", INFINITE,
         false},
        {"over the limit", TarProgram, L"tar.exe -xf \"a.zip\" -C \"b\"", L"hang", 1000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetBehaviours(c.behaviour, L"fail", L"fail");
        EXPECT_EQ(RunHiddenCommand(SystemProgramPath(c.program), c.commandLine, c.limit, false),
                  c.result);
        EXPECT_FALSE(StandinStillRunning());
    }
}

TEST_F(NoTarExtractTest, MissingTarGoesStraightToTheScriptHost) {
    ASSERT_FALSE(Exists(SystemProgramPath(TarProgram)))
        << "this test needs a system without tar.exe";
    struct Case {
        const char* name;
        const wchar_t* cscript;
        const wchar_t* powershell;
        bool result;
        std::vector<std::wstring> programs;
        std::vector<std::wstring> details;
    } cases[] = {
        {"script host unpacks",
         L"unpack",
         L"unpack",
         true,
         {L"cscript"},
         {TarBefore, ScriptBefore, ScriptDone}},
        {"everything fails",
         L"fail",
         L"fail",
         false,
         {L"cscript", L"powershell"},
         {TarBefore, ScriptBefore, PowerShellBefore, AllFailed}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartCase();
        SetBehaviours(L"unpack", c.cscript, c.powershell);
        const std::wstring dest = MakeFolder(L"应用 " + std::to_wstring(++index));
        const std::wstring zip = dest + L"\\package.zip";
        WriteBytes(zip, SampleZip());

        EXPECT_EQ(ExtractPackage(zip, dest), c.result);

        EXPECT_EQ(ReadRecordedStatus().detailTexts, c.details);
        EXPECT_EQ(Programs(Runs()), c.programs);
        EXPECT_TRUE(Exists(zip));
    }
}

}  // namespace
