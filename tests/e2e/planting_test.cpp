// Programs and DLLs planted beside the installer and in its current folder, as a web page can
// leave them in a Downloads folder: a whole install under Wine must never start or load them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handles/handles.h"
#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

const wchar_t* const UnpackerNames[] = {L"tar.exe", L"cscript.exe", L"powershell.exe"};

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
        ASSERT_TRUE(PublishSample({"Planted"}));
    }
    void TearDown() override { StopInstaller(installer); }

    // Runs the installer from Downloads with currentFolder as its working folder.
    DialogState Install() {
        installer = StartInstaller(downloads + L"\\installer.exe", currentFolder);
        const std::vector<DialogState> history = RunToTheEnd(installer);
        return history.empty() ? DialogState{} : history.back();
    }

    // The control: an ordinary program that imports the DLL does load a copy planted beside it in
    // this test bed.
    void ExpectTheBedLoadsAPlantedDll(const char* plantedDll, const char* ordinaryUser,
                                      const std::wstring& dllName) {
        const std::wstring control = currentFolder + L"\\control";
        CreateDirectoryW(control.c_str(), nullptr);
        ASSERT_TRUE(Copy(ProgramPath(plantedDll), control + L"\\" + dllName));
        ASSERT_TRUE(Copy(ProgramPath(ordinaryUser), control + L"\\user.exe"));
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        std::wstring commandLine = L"\"" + control + L"\\user.exe\"";
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   control.c_str(), &startup, &started));
        const ProcessHandles user = OwnProcess(started);
        WaitForSingleObject(user.process.get(), 30000);
        ASSERT_TRUE(PathExists(control + L"\\" + dllName + L".loaded"))
            << "the test bed hides DLL planting";
    }

    void ExpectInstalled(const DialogState& last) {
        EXPECT_EQ(last.status, L"安装完成！桌面快捷方式已创建。");
        EXPECT_TRUE(PathExists(documents + L"\\Planted\\1.0\\sample_app.exe"));
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
            EXPECT_FALSE(PathExists(folder + L"\\" + name + L".ran"))
                << Utf8(folder + L"\\" + name);
    }
}

// Runs under WINEDLLOVERRIDES wininet=n,b: a native DLL first, as Windows looks for one.
TEST_F(PlantingTest, AWininetDllBesideTheInstallerIsNeverLoaded) {
    ASSERT_NO_FATAL_FAILURE(ExpectTheBedLoadsAPlantedDll(
        "INSTALLER_PLANTED_WININET", "INSTALLER_ORDINARY_WININET_USER", L"wininet.dll"));

    for (const std::wstring& folder : {downloads, currentFolder})
        ASSERT_TRUE(Copy(ProgramPath("INSTALLER_PLANTED_WININET"), folder + L"\\wininet.dll"));
    ExpectInstalled(Install());
    for (const std::wstring& folder : {downloads, currentFolder})
        EXPECT_FALSE(PathExists(folder + L"\\wininet.dll.loaded")) << Utf8(folder);
}

// Runs under WINEDLLOVERRIDES bcrypt=n,b with INSTALLER_TEST_PROGRAM a keyed or an unkeyed build:
// WinINet's TLS loads bcrypt.dll in both, the keyed check calls it too.
TEST_F(PlantingTest, ABcryptDllBesideTheInstallerIsNeverLoaded) {
    ASSERT_NO_FATAL_FAILURE(ExpectTheBedLoadsAPlantedDll(
        "INSTALLER_PLANTED_BCRYPT", "INSTALLER_ORDINARY_BCRYPT_USER", L"bcrypt.dll"));

    for (const std::wstring& folder : {downloads, currentFolder})
        ASSERT_TRUE(Copy(ProgramPath("INSTALLER_PLANTED_BCRYPT"), folder + L"\\bcrypt.dll"));
    ASSERT_TRUE(
        PublishSample({"Signed", "1.0", "sample_app.exe", "Sample", SignatureEntry("trusted")}));
    const DialogState last = Install();
    EXPECT_EQ(last.status, L"安装完成！桌面快捷方式已创建。") << last;
    EXPECT_TRUE(PathExists(documents + L"\\Signed\\1.0\\sample_app.exe"));
    for (const std::wstring& folder : {downloads, currentFolder})
        EXPECT_FALSE(PathExists(folder + L"\\bcrypt.dll.loaded")) << Utf8(folder);
}

}  // namespace
