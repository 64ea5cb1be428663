// Programs and DLLs planted beside the installer and in its current folder, as a web page can
// leave them in a Downloads folder: a whole install under Wine must never start or load them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "handles/handles.h"
#include "shell/shell.h"
#include "tools/driver/driver.h"

namespace {

const wchar_t* const UnpackerNames[] = {L"tar.exe", L"cscript.exe", L"powershell.exe"};

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Copy(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::wstring ProgramPath(const char* variable) { return WindowsPathFromEnvironment(variable); }

struct PlantingTest : testing::Test {
    RunningInstaller installer;
    std::wstring documents = GetDocumentsFolder();
    std::wstring downloads;
    std::wstring currentFolder;

    void SetUp() override {
        ASSERT_FALSE(documents.empty());
        const std::wstring profile = documents.substr(0, documents.find_last_of(L'\\'));
        downloads = profile + L"\\Downloads";
        currentFolder = profile + L"\\Current";
        CreateDirectoryW(downloads.c_str(), nullptr);
        CreateDirectoryW(currentFolder.c_str(), nullptr);
        ASSERT_TRUE(Copy(ProgramPath("INSTALLER_TEST_PROGRAM"), downloads + L"\\installer.exe"));
        Publish();
    }
    void TearDown() override { StopInstaller(installer); }

    static void Publish() {
        const std::wstring root = WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT");
        for (const wchar_t* folder : {L"", L"\\app", L"\\app\\lumadesk", L"\\packages"})
            CreateDirectoryW((root + folder).c_str(), nullptr);
        ASSERT_TRUE(
            Copy(ProgramPath("INSTALLER_SAMPLE_PACKAGE"), root + L"\\packages\\sample.zip"));
        const std::string url = std::string("https://") + std::getenv("INSTALLER_TEST_HOST") + ":" +
                                std::getenv("INSTALLER_TEST_HTTPS_PORT") + "/packages/sample.zip";
        ASSERT_TRUE(
            WriteFileBytes(root + L"\\app\\lumadesk\\version.json",
                           "{\"package_name\":\"Planted\",\"windows\":{\"application_name\":"
                           "\"sample_app.exe\",\"desktop_shortcut\":\"Planted\","
                           "\"version\":\"1.0\",\"url\":\"" +
                               url + "\"}}"));
    }

    // Runs the installer from Downloads with currentFolder as its working folder.
    DialogState Install() {
        installer = StartInstaller(downloads + L"\\installer.exe", currentFolder);
        EXPECT_NE(installer.dialog, nullptr);
        if (installer.dialog == nullptr) return {};
        ClickActionButton(installer.dialog);
        std::vector<DialogState> history;
        EXPECT_TRUE(WaitForDialog(
            installer.dialog, [](const DialogState& state) { return state.buttonEnabled; }, history,
            std::chrono::minutes(3)));
        return history.back();
    }

    void ExpectInstalled(const DialogState& last) {
        EXPECT_EQ(last.status, L"安装完成！桌面快捷方式已创建。");
        EXPECT_TRUE(Exists(documents + L"\\Planted\\1.0\\sample_app.exe"));
    }
};

TEST_F(PlantingTest, UnpackersBesideTheInstallerAndInItsCurrentFolderAreNeverStarted) {
    for (const std::wstring& folder : {downloads, currentFolder}) {
        for (const wchar_t* name : UnpackerNames)
            ASSERT_TRUE(Copy(ProgramPath("INSTALLER_PLANTED_PROGRAM"), folder + L"\\" + name));
    }
    ExpectInstalled(Install());
    for (const std::wstring& folder : {downloads, currentFolder}) {
        for (const wchar_t* name : UnpackerNames)
            EXPECT_FALSE(Exists(folder + L"\\" + name + L".ran")) << Utf8(folder + L"\\" + name);
    }
}

// Runs under WINEDLLOVERRIDES wininet=n,b: a native DLL first, as Windows looks for one.
TEST_F(PlantingTest, AWininetDllBesideTheInstallerIsNeverLoaded) {
    // The control: an ordinary program beside the same DLL does load it in this test bed.
    const std::wstring control = currentFolder + L"\\control";
    CreateDirectoryW(control.c_str(), nullptr);
    ASSERT_TRUE(Copy(ProgramPath("INSTALLER_PLANTED_WININET"), control + L"\\wininet.dll"));
    ASSERT_TRUE(Copy(ProgramPath("INSTALLER_ORDINARY_WININET_USER"), control + L"\\user.exe"));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    std::wstring commandLine = L"\"" + control + L"\\user.exe\"";
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               control.c_str(), &startup, &started));
    const ProcessHandles user = OwnProcess(started);
    WaitForSingleObject(user.process.get(), 30000);
    ASSERT_TRUE(Exists(control + L"\\wininet.dll.loaded")) << "the test bed hides DLL planting";

    for (const std::wstring& folder : {downloads, currentFolder})
        ASSERT_TRUE(Copy(ProgramPath("INSTALLER_PLANTED_WININET"), folder + L"\\wininet.dll"));
    ExpectInstalled(Install());
    for (const std::wstring& folder : {downloads, currentFolder})
        EXPECT_FALSE(Exists(folder + L"\\wininet.dll.loaded")) << Utf8(folder);
}

}  // namespace
