// Whole install runs through the window, as a user would: the sample package from the local
// test server, unpacked by the stand-in unpackers beside the installer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "tools/driver/driver.h"

extern std::wstring InstallerFolder;

namespace {

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RunEnded(const DialogState& state) {
    return state.buttonEnabled && (state.caption == L"重新安装" || state.caption == L"打开程序");
}

struct Package {
    std::string package_name;
    std::string application_name = "sample_app.exe";
    std::string desktop_shortcut;
    std::string version = "1.0";
};

struct InstallTest : testing::Test {
    RunningInstaller installer;
    std::wstring documents;
    std::wstring desktop;

    void SetUp() override {
        documents = GetDocumentsFolder();
        desktop = GetDesktopFolder();
        ASSERT_FALSE(documents.empty());
        ASSERT_FALSE(desktop.empty());
        for (const wchar_t* name : {L"INSTALLER_STANDIN_TAR", L"INSTALLER_STANDIN_CSCRIPT",
                                    L"INSTALLER_STANDIN_POWERSHELL"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
        const std::wstring root = WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT");
        for (const wchar_t* folder : {L"", L"\\app", L"\\app\\lumadesk", L"\\packages"})
            CreateDirectoryW((root + folder).c_str(), nullptr);
        const std::string package =
            ReadFileBytes(WindowsPathFromEnvironment("INSTALLER_SAMPLE_PACKAGE"));
        ASSERT_FALSE(package.empty()) << "no sample package";
        ASSERT_TRUE(WriteFileBytes(root + L"\\packages\\sample.zip", package));
    }
    void TearDown() override { StopInstaller(installer); }

    void Publish(const Package& package) {
        const std::string url = std::string("https://") + std::getenv("INSTALLER_TEST_HOST") + ":" +
                                std::getenv("INSTALLER_TEST_HTTPS_PORT") + "/packages/sample.zip";
        const std::string document = "{\"package_name\":\"" + package.package_name +
                                     "\",\"windows\":{\"application_name\":\"" +
                                     package.application_name + "\",\"desktop_shortcut\":\"" +
                                     package.desktop_shortcut + "\",\"version\":\"" +
                                     package.version + "\",\"url\":\"" + url + "\",\"sign\":\"\"}}";
        const std::wstring root = WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT");
        ASSERT_TRUE(WriteFileBytes(root + L"\\app\\lumadesk\\version.json", document));
    }

    DialogState Run() {
        installer = StartInstaller(InstallerFolder + L"installer-test.exe");
        EXPECT_NE(installer.dialog, nullptr);
        if (installer.dialog == nullptr) return {};
        ClickActionButton(installer.dialog);
        std::vector<DialogState> history;
        EXPECT_TRUE(WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3)));
        return history.back();
    }

    // Presses "打开程序" and expects the installer to end (dialog result 1, exit code 0).
    void OpenAndExpectExit() {
        ClickActionButton(installer.dialog);
        ASSERT_EQ(WaitForSingleObject(installer.process.hProcess, 30000),
                  static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD exitCode = 1;
        GetExitCodeProcess(installer.process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }

    bool WaitForFile(const std::wstring& path) {
        for (int round = 0; round < 300; ++round) {
            if (Exists(path)) return true;
            Sleep(100);
        }
        return false;
    }
};

TEST_F(InstallTest, InstallsTheSamplePackageAndOpensTheProgram) {
    Publish({"SampleSuite", "sample_app.exe", "Sample App", "1.0"});
    const DialogState last = Run();
    EXPECT_EQ(last.status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_EQ(last.detail, L"安装成功完成！");
    EXPECT_EQ(last.progress, 100);
    EXPECT_EQ(last.caption, L"打开程序");
    const std::wstring dir = documents + L"\\SampleSuite\\1.0";
    EXPECT_TRUE(Exists(dir + L"\\sample_app.exe"));
    EXPECT_TRUE(Exists(dir + L"\\data\\readme.txt"));
    EXPECT_TRUE(Exists(dir + L"\\data\\说明.txt"));
    EXPECT_FALSE(Exists(dir + L"\\package.zip"));
    EXPECT_FALSE(Exists(dir + L"\\extract_temp.vbs"));
    EXPECT_TRUE(Exists(desktop + L"\\Sample App.lnk"));
    EXPECT_TRUE(SaveScreenshot("install-finished"));
    OpenAndExpectExit();
    EXPECT_TRUE(WaitForFile(dir + L"\\started.txt")) << "the installed program did not start";
}

TEST_F(InstallTest, WithoutAShortcutNameTheButtonStillOpensTheProgram) {
    Publish({"NoShortcut", "sample_app.exe", "", "2.0"});
    const DialogState last = Run();
    EXPECT_EQ(last.status, L"安装完成！");
    EXPECT_EQ(last.progress, 100);
    EXPECT_EQ(last.caption, L"打开程序");
    const std::wstring dir = documents + L"\\NoShortcut\\2.0";
    EXPECT_FALSE(Exists(dir + L"\\package.zip"));
    EXPECT_FALSE(Exists(desktop + L".lnk"));
    OpenAndExpectExit();
    EXPECT_TRUE(WaitForFile(dir + L"\\started.txt"));
}

TEST_F(InstallTest, WithoutAnApplicationNameTheButtonOpensTheFolder) {
    Publish({"NoApp", "", "No App", "1.0"});
    const DialogState last = Run();
    EXPECT_EQ(last.status, L"安装完成！");
    EXPECT_EQ(last.caption, L"打开程序");
    EXPECT_TRUE(Exists(documents + L"\\NoApp\\1.0\\sample_app.exe"));
    EXPECT_FALSE(Exists(desktop + L"\\No App.lnk"));
    OpenAndExpectExit();
}

TEST_F(InstallTest, AnEmptyVersionInstallsIntoThePackageFolder) {
    Publish({"NoVersion", "sample_app.exe", "No Version", ""});
    const DialogState last = Run();
    EXPECT_EQ(last.status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_TRUE(Exists(documents + L"\\NoVersion\\sample_app.exe"));
    EXPECT_FALSE(Exists(documents + L"\\NoVersion\\package.zip"));
    EXPECT_TRUE(Exists(desktop + L"\\No Version.lnk"));
}

TEST_F(InstallTest, AFailedShortcutStillCompletesAndASecondRunInstallsAgain) {
    // The shortcut's folder does not exist on the Desktop, so saving the link fails.
    Publish({"ShortcutFails", "sample_app.exe", "missing folder\\\\Sample", "1.0"});
    const std::wstring dir = documents + L"\\ShortcutFails\\1.0";
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        const DialogState last = Run();
        EXPECT_EQ(last.status, L"安装完成，但创建快捷方式失败。");
        EXPECT_EQ(last.detail, L"应用程序已安装，但快捷方式创建失败");
        EXPECT_EQ(last.progress, 100);
        EXPECT_EQ(last.caption, L"重新安装");
        EXPECT_TRUE(Exists(dir + L"\\sample_app.exe"));
        EXPECT_FALSE(Exists(dir + L"\\package.zip"));
        if (run == 0) DeleteFileW((dir + L"\\sample_app.exe").c_str());
        StopInstaller(installer);
    }
}

TEST_F(InstallTest, WhenEveryUnpackerFailsThePackageStays) {
    SetEnvironmentVariableW(L"INSTALLER_STANDIN_TAR", L"fail");
    SetEnvironmentVariableW(L"INSTALLER_STANDIN_CSCRIPT", L"fail");
    SetEnvironmentVariableW(L"INSTALLER_STANDIN_POWERSHELL", L"empty");
    Publish({"Broken", "sample_app.exe", "Broken", "1.0"});
    const DialogState last = Run();
    EXPECT_EQ(last.status, L"错误：无法解压安装包");
    EXPECT_EQ(last.detail, L"请检查ZIP文件是否损坏");
    EXPECT_EQ(last.progress, 70);
    EXPECT_EQ(last.caption, L"重新安装");
    EXPECT_TRUE(Exists(documents + L"\\Broken\\1.0\\package.zip"));
    EXPECT_FALSE(Exists(desktop + L"\\Broken.lnk"));
    EXPECT_TRUE(SaveScreenshot("install-failed"));
}

}  // namespace

namespace {

// Folders moved the way users move them: Documents to another drive, the Desktop into a synced
// cloud folder whose path holds spaces and Chinese. The wrapper script maps the drive letter.
struct RedirectedFolders : InstallTest {
    static void Redirect(const wchar_t* value, const std::wstring& path) {
        const std::wstring key =
            L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
        ASSERT_EQ(
            RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), value, REG_EXPAND_SZ, path.c_str(),
                            static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
    }
    void SetUp() override {
        const std::wstring documents = L"D:\\Redirected Documents";
        const std::wstring cloud = L"C:\\users\\Public\\云 同步";
        const std::wstring desktop = cloud + L"\\我的 桌面";
        ASSERT_NE(GetFileAttributesW(L"D:\\"), INVALID_FILE_ATTRIBUTES) << "drive D: is not mapped";
        CreateDirectoryW(documents.c_str(), nullptr);
        CreateDirectoryW(cloud.c_str(), nullptr);
        CreateDirectoryW(desktop.c_str(), nullptr);
        Redirect(L"Personal", documents);
        Redirect(L"Desktop", desktop);
        InstallTest::SetUp();
        ASSERT_EQ(this->documents, documents);
        ASSERT_EQ(this->desktop, desktop);
    }
};

TEST_F(RedirectedFolders, InstallsIntoTheMovedFolders) {
    Publish({"Moved", "sample_app.exe", "移动 的 程序", "1.0"});
    const DialogState last = Run();
    EXPECT_EQ(last.status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_EQ(last.caption, L"打开程序");
    EXPECT_TRUE(Exists(L"D:\\Redirected Documents\\Moved\\1.0\\sample_app.exe"));
    EXPECT_FALSE(Exists(L"D:\\Redirected Documents\\Moved\\1.0\\package.zip"));
    EXPECT_TRUE(Exists(desktop + L"\\移动 的 程序.lnk"));
    OpenAndExpectExit();
    EXPECT_TRUE(WaitForFile(L"D:\\Redirected Documents\\Moved\\1.0\\started.txt"));
}

}  // namespace
