// Whole install runs through the window, as a user would: the sample package from the local
// test server, unpacked by the stand-in unpackers beside the installer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <shlobj.h>

#include "handles/handles.h"
#include "shell/shell.h"
#include "tests/app/app_test.h"

namespace {

// Files below folder (subfolders included) that hold the sample package's bytes or a
// configuration document, one a line.
std::string CopiesBelow(const std::wstring& folder, const std::string& package) {
    std::string found;
    WIN32_FIND_DATAW entry{};
    const FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!search) return found;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        std::string bytes;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            found += CopiesBelow(path, package);
        } else if (ReadFileBytes(path, bytes) &&
                   (bytes == package || bytes.find("\"package_name\"") != std::string::npos)) {
            found += Utf8(path) + "\n";
        }
    } while (FindNextFileW(search.get(), &entry));
    return found;
}

// WinINet's cache of the user: whatever it keeps of a run's downloads.
std::string InternetCacheCopies() {
    TaskMemString cache;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_InternetCache, 0, nullptr, cache.put())) || !cache)
        return "no internet cache folder";
    std::string package;
    ReadFileBytes(WindowsPathFromEnvironment("INSTALLER_SAMPLE_PACKAGE"), package);
    return CopiesBelow(cache.get(), package);
}

// The end of a completed run with a shortcut, and of one without.
const DialogState Installed =
    Ended(L"安装完成！桌面快捷方式已创建。", L"安装成功完成！", 100, L"打开程序");
const DialogState InstalledWithoutShortcut =
    Ended(L"安装完成！", L"安装成功完成！", 100, L"打开程序");

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
        ASSERT_TRUE(PublishSamplePackage()) << "no sample package";
    }
    void TearDown() override { StopInstaller(installer); }

    void Publish(const Package& package) {
        ASSERT_TRUE(PublishConfig(ConfigDocument(package.package_name, package.application_name,
                                                 package.desktop_shortcut, package.version,
                                                 TestServerUrl("/packages/sample.zip"))));
    }

    // Publishes package, runs the installer and presses its button; the state the run ends in.
    DialogState Run(const Package& package) {
        Publish(package);
        installer = StartInstaller(InstallerFolder + L"installer-test.exe");
        EXPECT_NE(installer.dialog, nullptr);
        if (installer.dialog == nullptr) return {};
        ClickActionButton(installer.dialog);
        std::vector<DialogState> history;
        EXPECT_TRUE(WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3)));
        return history.empty() ? DialogState{} : history.back();
    }

    // Presses "打开程序" and expects the installer to end (dialog result 1, exit code 0).
    // Wine's ShellExecuteW waits up to 30 s for what it started to become idle (explorer.exe
    // for a folder, on a loaded machine): the bound leaves room past that wait.
    void OpenAndExpectExit() {
        ClickActionButton(installer.dialog);
        ASSERT_EQ(WaitForSingleObject(installer.process.hProcess, 90000),
                  static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD exitCode = 1;
        GetExitCodeProcess(installer.process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }

    // Presses "打开程序", expects the installer to end and the installed program in dir to
    // start with dir as its current folder (it leaves started.txt there, which says so).
    void OpenAndExpectTheProgramToStart(const std::wstring& dir) {
        OpenAndExpectExit();
        const std::wstring marker = dir + L"\\started.txt";
        std::string text;
        for (int round = 0; round < 300; ++round) {
            // Complete once the line after the folder has ended.
            if (ReadFileBytes(marker, text) && text.size() > 8 && text.back() == '\n') break;
            Sleep(100);
        }
        EXPECT_EQ(FromUtf8(text), L"started\n" + dir + L"\n") << "the installed program's marker";
    }

    // Expects the package unpacked into documents\relative and its archive gone; that folder.
    std::wstring ExpectUnpackedInto(const std::wstring& relative) {
        const std::wstring dir = documents + L"\\" + relative;
        EXPECT_TRUE(PathExists(dir + L"\\sample_app.exe")) << Utf8(dir);
        EXPECT_FALSE(PathExists(dir + L"\\package.zip")) << Utf8(dir);
        return dir;
    }
};

TEST_F(InstallTest, InstallsTheSamplePackageAndOpensTheProgram) {
    EXPECT_EQ(Run({"SampleSuite", "sample_app.exe", "Sample App", "1.0"}), Installed);
    const std::wstring dir = ExpectUnpackedInto(L"SampleSuite\\1.0");
    EXPECT_TRUE(PathExists(dir + L"\\data\\readme.txt"));
    EXPECT_TRUE(PathExists(dir + L"\\data\\说明.txt"));
    EXPECT_FALSE(PathExists(dir + L"\\extract_temp.vbs"));
    EXPECT_TRUE(PathExists(desktop + L"\\Sample App.lnk"));
    EXPECT_TRUE(SaveScreenshot("install-finished"));
    // The installer keeps nothing of a run: no second copy of the package in the user's cache.
    EXPECT_EQ(InternetCacheCopies(), "");
    OpenAndExpectTheProgramToStart(dir);
}

TEST_F(InstallTest, WithoutAShortcutNameTheButtonStillOpensTheProgram) {
    EXPECT_EQ(Run({"NoShortcut", "sample_app.exe", "", "2.0"}), InstalledWithoutShortcut);
    const std::wstring dir = ExpectUnpackedInto(L"NoShortcut\\2.0");
    EXPECT_FALSE(PathExists(desktop + L".lnk"));
    OpenAndExpectTheProgramToStart(dir);
}

TEST_F(InstallTest, WithoutAnApplicationNameTheButtonOpensTheFolder) {
    EXPECT_EQ(Run({"NoApp", "", "No App", "1.0"}), InstalledWithoutShortcut);
    ExpectUnpackedInto(L"NoApp\\1.0");
    EXPECT_FALSE(PathExists(desktop + L"\\No App.lnk"));
    OpenAndExpectExit();
}

TEST_F(InstallTest, AnEmptyVersionInstallsIntoThePackageFolder) {
    EXPECT_EQ(Run({"NoVersion", "sample_app.exe", "No Version", ""}), Installed);
    ExpectUnpackedInto(L"NoVersion");
    EXPECT_TRUE(PathExists(desktop + L"\\No Version.lnk"));
}

TEST_F(InstallTest, AFailedShortcutStillCompletesAndASecondRunInstallsAgain) {
    // The shortcut's folder does not exist on the Desktop, so saving the link fails.
    const Package package{"ShortcutFails", "sample_app.exe", "missing folder\\\\Sample", "1.0"};
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(Run(package), Ended(L"安装完成，但创建快捷方式失败。",
                                      L"应用程序已安装，但快捷方式创建失败", 100, L"重新安装"));
        const std::wstring dir = ExpectUnpackedInto(L"ShortcutFails\\1.0");
        if (run == 0) DeleteFileW((dir + L"\\sample_app.exe").c_str());
        StopInstaller(installer);
    }
}

TEST_F(InstallTest, WhenEveryUnpackerFailsThePackageStays) {
    SetEnvironmentVariableW(L"INSTALLER_STANDIN_TAR", L"fail");
    SetEnvironmentVariableW(L"INSTALLER_STANDIN_CSCRIPT", L"fail");
    SetEnvironmentVariableW(L"INSTALLER_STANDIN_POWERSHELL", L"empty");
    EXPECT_EQ(Run({"Broken", "sample_app.exe", "Broken", "1.0"}),
              Ended(L"错误：无法解压安装包", L"请检查ZIP文件是否损坏", 70, L"重新安装"));
    EXPECT_TRUE(PathExists(documents + L"\\Broken\\1.0\\package.zip"));
    EXPECT_FALSE(PathExists(desktop + L"\\Broken.lnk"));
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
    EXPECT_EQ(Run({"Moved", "sample_app.exe", "移动 的 程序", "1.0"}), Installed);
    const std::wstring dir = ExpectUnpackedInto(L"Moved\\1.0");
    EXPECT_TRUE(PathExists(desktop + L"\\移动 的 程序.lnk"));
    OpenAndExpectTheProgramToStart(dir);
}

}  // namespace
