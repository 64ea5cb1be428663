// Whole installs unpacked by the real tar.exe (bsdtar, cross-built from Debian's libarchive
// source and installed in the run's system folder): what only the real program can answer.
// The stand-in still plays cscript.exe and powershell.exe and logs every run it makes, so a log
// without any run of theirs means tar.exe unpacked the package.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

struct RealTarTest : testing::Test {
    RunningInstaller installer;
    std::wstring documents;
    std::wstring log;

    void SetUp() override {
        log = WindowsPathFromEnvironment("INSTALLER_RUN_DIR") + L"\\standin.log";
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_LOG", log.c_str());
        DeleteFileW(log.c_str());
        documents = GetDocumentsFolder();
        ASSERT_FALSE(documents.empty());
    }
    void TearDown() override { StopInstaller(installer); }

    DialogState Install() {
        StopInstaller(installer);
        installer = StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
        const std::vector<DialogState> history = RunToTheEnd(installer);
        return history.empty() ? DialogState{} : history.back();
    }
    std::string LogText() const {
        std::string text;
        ReadFileBytes(log, text);
        return text;
    }
    // True when the stand-in (cscript.exe or powershell.exe) had to unpack: tar.exe failed.
    bool FallbackRan() const { return LogText().find("[run]") != std::string::npos; }
    // Publishes one of make-rich-package's packages as /packages/NAME for package_name.
    bool PublishPackage(const char* package_name, const std::wstring& name) const {
        const std::wstring root = WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT");
        const std::wstring from =
            WindowsPathFromEnvironment("INSTALLER_RICH_PACKAGES") + L"\\" + name;
        return PublishConfig(ConfigDocument(package_name, "sample_app.exe", "Sample", "1.0",
                                            TestServerUrl("/packages/" + Utf8(name)))) &&
               CopyFileW(from.c_str(), (root + L"\\packages\\" + name).c_str(), FALSE);
    }
};

TEST_F(RealTarTest, ReceivesExactlyTheFolderTheInstallerMeant) {
    struct Case {
        const char* package_name;
        const char* version;
        const wchar_t* folder;  // below Documents
    } cases[] = {
        {"With Spaces", "1 0", L"\\With Spaces\\1 0"},
        {"O'Brien", "1.0", L"\\O'Brien\\1.0"},
        {"Brackets [x]", "[1.0]", L"\\Brackets [x]\\[1.0]"},
        {"EmptyVersion", "", L"\\EmptyVersion"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.package_name);
        DeleteFileW(log.c_str());
        ASSERT_TRUE(PublishSample({c.package_name, c.version}));
        EXPECT_EQ(Install().status, L"安装完成！桌面快捷方式已创建。");
        EXPECT_FALSE(FallbackRan()) << LogText();
        const std::wstring dir = documents + c.folder;
        EXPECT_TRUE(PathExists(dir + L"\\sample_app.exe"));
        EXPECT_TRUE(PathExists(dir + L"\\data\\说明.txt"));
    }
}

TEST_F(RealTarTest, ChineseNamesNestedFoldersAndAnEmptyFolder) {
    ASSERT_TRUE(PublishPackage("Rich", L"rich.zip"));
    EXPECT_EQ(Install().status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_FALSE(FallbackRan()) << LogText();
    const std::wstring dir = documents + L"\\Rich\\1.0";
    for (const wchar_t* path : {L"\\sample_app.exe", L"\\数据\\说明.txt", L"\\a\\b\\c\\深.txt",
                                L"\\空文件夹", L"\\a\\empty"})
        EXPECT_TRUE(PathExists(dir + path)) << Utf8(path);
}

// Where long paths are not enabled, a folder of 258 characters or more is listed only through a
// "\\?\" path, as tar writes it. (Wine lists longer plain paths too: here the installer's
// long-path form is what is exercised.)
TEST_F(RealTarTest, FilesFarPastMaxPath) {
    ASSERT_TRUE(PublishPackage("Deep", L"deep.zip"));
    EXPECT_EQ(Install().status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_FALSE(FallbackRan()) << LogText();
    std::wstring bottom = L"\\\\?\\" + documents + L"\\Deep\\1.0\\deep";
    for (int level = 0; level < 6; ++level)
        bottom += L"\\level" + std::to_wstring(level) + L"-" + std::wstring(50, L'x');
    EXPECT_TRUE(PathExists(bottom + L"\\bottom.txt"));
}

// tar writes these names as stored; the installer must not look them up through paths that
// drop the ending, nor demand them as the shell would write them.
TEST_F(RealTarTest, NamesEndingInADotOrABlank) {
    ASSERT_TRUE(PublishPackage("Dots", L"dots.zip"));
    EXPECT_EQ(Install().status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_FALSE(FallbackRan()) << LogText();
    const std::wstring dir = L"\\\\?\\" + documents + L"\\Dots\\1.0";
    for (const wchar_t* path : {L"\\LICENSE.", L"\\notes "})
        EXPECT_TRUE(PathExists(dir + path)) << Utf8(path);
    // bsdtar under Wine 8 makes the folder "docs." as "docs".
    EXPECT_TRUE(PathExists(dir + L"\\docs.\\readme.txt") ||
                PathExists(dir + L"\\docs\\readme.txt"));
}

// The install folder holds a -> . and b -> . (tests/e2e/with-looping-links made them): the walk
// that counts the unpacked files must not go round them, but end, and the install complete.
TEST_F(RealTarTest, LinksLoopingBackInTheInstallFolder) {
    const std::wstring dir = documents + L"\\Loops\\1.0";
    const DWORD link = GetFileAttributesW((dir + L"\\a").c_str());
    ASSERT_TRUE(link != INVALID_FILE_ATTRIBUTES && (link & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        << "run through with-looping-links";
    ASSERT_TRUE(PublishSample({"Loops"}));
    EXPECT_EQ(Install().status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_FALSE(FallbackRan()) << LogText();
    EXPECT_TRUE(PathExists(dir + L"\\data\\说明.txt"));
}

// Documents in a folder with Chinese characters. tar.exe takes its arguments in the ANSI code
// page: where that page cannot hold them (an English Windows, Wine's default) it cannot open the
// archive, and the next unpacker must take over; on a Chinese Windows (code page 936) it can.
TEST_F(RealTarTest, ChineseDocumentsFolder) {
    const std::wstring moved = L"C:\\users\\Public\\我的 文档";
    CreateDirectoryW(moved.c_str(), nullptr);
    const std::wstring key =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Personal", REG_EXPAND_SZ, moved.c_str(),
                        static_cast<DWORD>((moved.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    ASSERT_EQ(GetDocumentsFolder(), moved);
    ASSERT_TRUE(PublishSample({"Chinese"}));
    EXPECT_EQ(Install().status, L"安装完成！桌面快捷方式已创建。");
    EXPECT_TRUE(PathExists(moved + L"\\Chinese\\1.0\\data\\说明.txt"));
    const bool canHoldChinese = GetACP() == 936;
    std::printf("code page %u: tar.exe %s\n", GetACP(),
                FallbackRan() ? "failed, the next unpacker took over" : "unpacked it");
    if (canHoldChinese) {
        EXPECT_FALSE(FallbackRan()) << "tar.exe failed on a code page that holds the path";
    } else {
        EXPECT_TRUE(FallbackRan()) << "tar.exe cannot have opened the archive";
    }
}

}  // namespace
