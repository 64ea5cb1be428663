// A release written by tools/release (tests/release/make-release-for-e2e, run by the test's
// command before this program) installs end to end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

TEST(ReleaseTest, AReleaseOfTheReleaseToolInstalls) {
    const std::wstring documents = GetDocumentsFolder();
    const std::wstring desktop = GetDesktopFolder();
    RunningInstaller installer =
        StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
    const std::vector<DialogState> history = RunToTheEnd(installer);
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().status, L"安装完成！桌面快捷方式已创建。");
    const std::wstring dir = documents + L"\\ReleaseSuite\\1.0";
    for (const wchar_t* file : {L"\\sample_app.exe", L"\\data\\readme.txt", L"\\data\\说明.txt"})
        EXPECT_TRUE(PathExists(dir + file)) << Utf8(file);
    EXPECT_FALSE(PathExists(dir + L"\\package.zip"));
    EXPECT_TRUE(PathExists(desktop + L"\\发布测试.lnk"));
    StopInstaller(installer);
}

}  // namespace
