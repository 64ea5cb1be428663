// Known folders and shortcuts against Wine's real shell.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <gtest/gtest.h>

#include <memory>

#include "handles/handles.h"
#include "shell/shell.h"

namespace {

struct ComApartment : testing::Test {
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct LinkContents {
    bool loaded = false;
    std::wstring target;
    std::wstring description;
    std::wstring workingFolder;
};

LinkContents ReadLink(const std::wstring& linkPath) {
    LinkContents contents;
    ComPointer<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(link.put()));
    if (FAILED(result)) return contents;
    ComPointer<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()));
    if (FAILED(result) || FAILED(file->Load(linkPath.c_str(), STGM_READ))) return contents;
    wchar_t buffer[MAX_PATH] = {};
    link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
    contents.target = buffer;
    wchar_t description[INFOTIPSIZE] = {};
    link->GetDescription(description, INFOTIPSIZE);
    contents.description = description;
    wchar_t workingFolder[MAX_PATH] = {};
    link->GetWorkingDirectory(workingFolder, MAX_PATH);
    contents.workingFolder = workingFolder;
    contents.loaded = true;
    return contents;
}

TEST_F(ComApartment, KnownFoldersAreTheUsersOwnExistingFolders) {
    const std::wstring documents = GetDocumentsFolder();
    const std::wstring desktop = GetDesktopFolder();
    EXPECT_TRUE(IsDirectory(documents)) << documents.size();
    EXPECT_TRUE(IsDirectory(desktop));
    EXPECT_NE(documents, desktop);
    for (const std::wstring& folder : {documents, desktop}) {
        ASSERT_FALSE(folder.empty());
        EXPECT_NE(folder.back(), L'\\');
    }
}

TEST_F(ComApartment, ShortcutPointsAtTheTargetWithItsDescriptionAndWorkingFolder) {
    const std::wstring desktop = GetDesktopFolder();
    // Wine keeps a link's target in the ANSI code page, so a target outside it comes back as
    // question marks there; Chinese goes into the link's name, description and working folder.
    const std::wstring folder = GetDocumentsFolder() + L"\\Demo Suite\\1.0";
    const std::wstring target = folder + L"\\demo app.exe";
    struct Case {
        std::wstring name;
        std::wstring workingFolder;
    };
    for (const Case& c : {Case{L"Plain", folder}, Case{L"演示 程序", folder + L"\\演示 文件夹"},
                          Case{L"It's [v2]", folder + L"\\[v2]"}}) {
        const std::wstring linkPath = desktop + L"\\" + c.name + L".lnk";
        ASSERT_TRUE(CreateDesktopShortcut(target, linkPath, c.name, c.workingFolder));
        LinkContents contents = ReadLink(linkPath);
        ASSERT_TRUE(contents.loaded);
        EXPECT_EQ(contents.target, target);
        EXPECT_EQ(contents.description, c.name);
        EXPECT_EQ(contents.workingFolder, c.workingFolder);
        // Saving again over an existing link works too (a second install run).
        EXPECT_TRUE(CreateDesktopShortcut(target, linkPath, c.name, c.workingFolder));
        DeleteFileW(linkPath.c_str());
    }
}

TEST_F(ComApartment, ShortcutIntoAMissingFolderFails) {
    const std::wstring linkPath = GetDesktopFolder() + L"\\no such folder\\App.lnk";
    EXPECT_FALSE(CreateDesktopShortcut(L"C:\\app.exe", linkPath, L"App", L"C:\\"));
    EXPECT_EQ(GetFileAttributesW(linkPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ShellWithoutCom, ShortcutFailsCleanlyWithoutAnApartment) {
    const std::wstring linkPath = GetDesktopFolder() + L"\\NoCom.lnk";
    EXPECT_FALSE(CreateDesktopShortcut(L"C:\\app.exe", linkPath, L"NoCom", L"C:\\"));
}

}  // namespace
