// The keyed installer holds its package from the download to the end of the unpack: while an
// unpacker reads it, nobody else can write, rename or delete it, and a second window of the same
// release fails to open it; when tar fails, the unpacker that shares reading only still gets it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

const wchar_t Installed[] = L"安装完成！桌面快捷方式已创建。";

struct HeldPackageTest : testing::Test {
    RunningInstaller installer;
    RunningInstaller second;
    ProcessHandles holder;
    std::wstring documents = GetDocumentsFolder();
    std::wstring dir = documents + L"\\Signed\\1.0";
    std::wstring zip = dir + L"\\package.zip";

    void SetUp() override {
        ASSERT_FALSE(documents.empty());
        ASSERT_TRUE(PublishSample(
            {"Signed", "1.0", "sample_app.exe", "Sample", SignatureEntry("trusted")}));
    }
    void TearDown() override {
        StopInstaller(second);
        StopInstaller(installer);
        EndFileHolder(holder);
        SetUnpackers(L"", L"", L"");
    }
    static void SetUnpackers(const wchar_t* tar, const wchar_t* cscript,
                             const wchar_t* powershell) {
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_TAR", tar);
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_CSCRIPT", cscript);
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_POWERSHELL", powershell);
    }
    static RunningInstaller StartKeyed() {
        return StartInstaller(WindowsPathFromEnvironment("INSTALLER_KEYED_TEST_PROGRAM"));
    }
    // Starts the keyed installer with the unpackers behaving as given, presses the button and
    // waits until the detail text is detail; the last state seen.
    DialogState StartUntil(const wchar_t* tar, const wchar_t* cscript, const wchar_t* powershell,
                           const std::wstring& detail) {
        SetUnpackers(tar, cscript, powershell);
        installer = StartKeyed();
        std::vector<DialogState> history;
        if (installer.dialog == nullptr) return {};
        ClickActionButton(installer.dialog);
        WaitForDialog(
            installer.dialog,
            [&detail](const DialogState& state) {
                return state.detail == detail || RunEnded(state);
            },
            history, std::chrono::minutes(2));
        return history.empty() ? DialogState{} : history.back();
    }
    // Another program's attempts to write, rename and delete the package; each must fail.
    void ExpectNobodyElseChangesThePackage() {
        const FileHandle writer(CreateFileW(
            zip.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_FALSE(writer) << "opened for writing";
        EXPECT_FALSE(DeleteFileW(zip.c_str())) << "deleted";
        EXPECT_FALSE(MoveFileW(zip.c_str(), (zip + L".moved").c_str())) << "renamed";
        EXPECT_TRUE(PathExists(zip));
    }
    DialogState WaitForTheEnd() {
        std::vector<DialogState> history;
        WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3));
        return history.empty() ? ReadDialog(installer.dialog) : history.back();
    }
};

TEST_F(HeldPackageTest, WhileTarUnpacksNobodyElseChangesThePackageAndASecondWindowFails) {
    const std::wstring tarWaits = L"[tar]正在解压安装包...";
    const DialogState reached = StartUntil(L"unpack:20000", L"fail", L"fail", tarWaits);
    ASSERT_EQ(reached.detail, tarWaits) << reached;

    ExpectNobodyElseChangesThePackage();
    second = StartKeyed();
    const std::vector<DialogState> secondRun = RunToTheEnd(second);
    ASSERT_FALSE(secondRun.empty());
    EXPECT_EQ(secondRun.back().status, L"错误：无法下载安装包") << secondRun.back();
    EXPECT_EQ(secondRun.back().detail, L"文件打开失败，请检查目录权限");
    // Only meaningful while the first window still unpacks.
    ASSERT_EQ(ReadDialog(installer.dialog).detail, tarWaits) << "tar ended too early";
    EXPECT_TRUE(SaveScreenshot("held-package-second-window"));

    EXPECT_EQ(WaitForTheEnd().status, Installed);
    EXPECT_TRUE(PathExists(dir + L"\\sample_app.exe"));
    EXPECT_FALSE(PathExists(zip));
}

TEST_F(HeldPackageTest, WhenTarFailsPowerShellGetsThePackageStillHeldFromOthers) {
    const std::wstring powerShellWaits = L"[PowerShell]正在解压安装包...";
    const DialogState reached = StartUntil(L"fail", L"fail", L"unpack:5000", powerShellWaits);
    ASSERT_EQ(reached.detail, powerShellWaits) << reached;
    ExpectNobodyElseChangesThePackage();

    // The stand-in opens the archive sharing reading only, as Expand-Archive does: it fails
    // while the installer still holds its writer.
    EXPECT_EQ(WaitForTheEnd().status, Installed);
    EXPECT_TRUE(PathExists(dir + L"\\data\\readme.txt"));
    EXPECT_FALSE(PathExists(zip));
}

// A program that opened the old package before the run, sharing reading and writing but not
// deleting: the download still opens it, and the swapped package cannot be deleted afterwards.
TEST_F(HeldPackageTest, APackageThatFailsItsCheckAndCannotBeDeletedIsNotCalledDeleted) {
    CreateDirectoryW((documents + L"\\Signed").c_str(), nullptr);
    CreateDirectoryW(dir.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(zip, "an earlier download"));
    ASSERT_TRUE(StartFileHolder(WindowsPathFromEnvironment("INSTALLER_FILE_HOLDER"), zip,
                                L"readwrite", holder));
    std::string bytes;
    const std::wstring served =
        WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT") + L"\\packages\\sample.zip";
    ASSERT_TRUE(ReadFileBytes(served, bytes));
    ASSERT_TRUE(WriteFileBytes(served, bytes + "trailing bytes the publisher never signed"));

    installer = StartKeyed();
    const std::vector<DialogState> history = RunToTheEnd(installer);
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().status, L"错误：安装包签名无效") << history.back();
    EXPECT_EQ(history.back().detail, L"安装包未通过签名验证，请联系发布者");
    EXPECT_TRUE(PathExists(zip));
    EndFileHolder(holder);
}

}  // namespace
