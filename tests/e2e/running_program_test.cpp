// A rerun while a file of the install is in use (the program runs, or another program holds the
// program or a data file open): it stops before any unpacker starts and leaves the install as it
// was; once the file is free, the same window installs again. A read-only file is not in use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handles/handles.h"
#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

std::string Bytes(const std::wstring& path) {
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : "<missing>";
}

struct RunningProgramTest : testing::Test {
    RunningInstaller installer;
    ProcessHandles holder;
    std::wstring documents = GetDocumentsFolder();
    std::wstring log;

    void SetUp() override {
        ASSERT_FALSE(documents.empty());
        log = WindowsPathFromEnvironment("INSTALLER_RUN_DIR") + L"\\standin.log";
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_LOG", log.c_str());
    }
    void TearDown() override {
        StopInstaller(installer);
        EndHolder();
    }

    bool Hold(const std::wstring& program, const std::wstring& file) {
        return StartFileHolder(program, file, L"", holder);
    }
    void EndHolder() { EndFileHolder(holder); }
    DialogState Run() {
        const std::vector<DialogState> history = RunToTheEnd(installer);
        return history.empty() ? DialogState{} : history.back();
    }
};

TEST_F(RunningProgramTest, ARerunStopsBeforeUnpackingOverAProgramInUse) {
    const std::wstring fileHolder = WindowsPathFromEnvironment("INSTALLER_FILE_HOLDER");
    struct Case {
        const char* package_name;
        bool theProgramRuns;      // else another program holds heldFile open, shared with nobody
        const wchar_t* heldFile;  // below the install folder
    } cases[] = {{"HeldOpen", false, L"sample_app.exe"},
                 {"Running", true, L"sample_app.exe"},
                 {"DataHeldOpen", false, L"data\\readme.txt"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.package_name);
        ASSERT_TRUE(PublishSample({c.package_name}));
        installer = StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
        ASSERT_EQ(Run().status, L"安装完成！桌面快捷方式已创建。");
        const std::wstring dir = documents + L"\\" + FromUtf8(c.package_name) + L"\\1.0";
        const std::wstring program = dir + L"\\sample_app.exe";
        const std::wstring readme = dir + L"\\data\\readme.txt";
        ASSERT_TRUE(WriteFileBytes(readme, "from the earlier version"));
        if (c.theProgramRuns) {
            ASSERT_TRUE(CopyFileW(fileHolder.c_str(), program.c_str(), FALSE));
        }
        const std::string programBytes = Bytes(program);
        ASSERT_TRUE(c.theProgramRuns ? Hold(program, L"")
                                     : Hold(fileHolder, dir + L"\\" + c.heldFile));

        DeleteFileW(log.c_str());
        StopInstaller(installer);
        installer = StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
        const DialogState stopped = Run();
        EXPECT_EQ(stopped.status, L"错误：程序正在运行");
        EXPECT_EQ(stopped.detail, L"请关闭正在运行的程序后点击重新安装");
        EXPECT_EQ(stopped.progress, 70);
        EXPECT_EQ(stopped.caption, L"重新安装");
        EXPECT_TRUE(SaveScreenshot(std::string("program-in-use-") + c.package_name));
        EXPECT_EQ(Bytes(log), "<missing>") << "an unpacker started";
        EXPECT_TRUE(PathExists(dir + L"\\package.zip"));

        // The program ended, the same window installs.
        EndHolder();
        EXPECT_EQ(Bytes(readme), "from the earlier version");
        EXPECT_TRUE(Bytes(program) == programBytes) << "the program was replaced";
        EXPECT_EQ(Run().status, L"安装完成！桌面快捷方式已创建。");
        EXPECT_NE(Bytes(readme), "from the earlier version");
        EXPECT_NE(Bytes(log), "<missing>");
        StopInstaller(installer);
    }
}

TEST_F(RunningProgramTest, AReadOnlyFileIsNotAProgramInUse) {
    ASSERT_TRUE(PublishSample({"ReadOnly"}));
    installer = StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
    ASSERT_EQ(Run().status, L"安装完成！桌面快捷方式已创建。");
    const std::wstring readme = documents + L"\\ReadOnly\\1.0\\data\\readme.txt";
    ASSERT_TRUE(SetFileAttributesW(readme.c_str(), FILE_ATTRIBUTE_READONLY));

    DeleteFileW(log.c_str());
    StopInstaller(installer);
    installer = StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
    const DialogState rerun = Run();
    SetFileAttributesW(readme.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(rerun.status, L"错误：程序正在运行") << rerun;
    EXPECT_NE(Bytes(log), "<missing>") << "no unpacker started";
}

}  // namespace
