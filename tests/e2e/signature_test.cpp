// The publisher's signature in whole installs: the keyed test installer (it trusts the keys
// "trusted" and "second" of make-package-keys, not "stranger") and the unkeyed one, which never
// reads sign, against the sample package published as "Signed" 1.0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

const wchar_t InvalidSignature[] = L"错误：安装包签名无效";

enum class Outcome { Installs, StopsBeforeTheDownload, FailsAfterTheDownload };

struct SignatureCase {
    const char* name;
    bool keyed;
    std::vector<std::string> sign;  // "@key" stands for that key's entry
    Outcome outcome;
    const char* version = "1.0";  // the entries sign 1.0
    bool swapPackage = false;     // the server's package differs from the one signed
    const char* application_name = "sample_app.exe";
};

const SignatureCase Cases[] = {
    {"AGoodSignatureInstalls", true, {"@trusted"}, Outcome::Installs},
    {"ASwappedPackageFailsAfterTheDownloadAndIsDeleted",
     true,
     {"@trusted"},
     Outcome::FailsAfterTheDownload,
     "1.0",
     true},
    {"AFieldChangedAfterSigningFailsAfterTheDownload",
     true,
     {"@trusted"},
     Outcome::FailsAfterTheDownload,
     "1.1"},
    {"AStrangersKeyOnlyStopsBeforeTheDownload",
     true,
     {"@stranger"},
     Outcome::StopsBeforeTheDownload},
    {"AnEmptySignStopsBeforeTheDownload", true, {}, Outcome::StopsBeforeTheDownload},
    {"AnUnknownEntryThenAStrangersThenTheSecondKeysInstalls",
     true,
     {"ed25519:0123456789abcdef:00", "@stranger", "@second"},
     Outcome::Installs},
    // A raw control byte in the served document: the reader takes values verbatim.
    {"AControlCharacterInASignedValueStopsBeforeTheDownload",
     true,
     {"@trusted"},
     Outcome::StopsBeforeTheDownload,
     "1.0",
     false,
     "sample_app\x01.exe"},
    {"UnkeyedASwappedPackageWithASignatureInstalls",
     false,
     {"@trusted"},
     Outcome::Installs,
     "1.0",
     true},
};

std::string SignValue(const std::vector<std::string>& words) {
    std::string sign;
    for (const std::string& word : words)
        sign += (sign.empty() ? "" : " ") + (word[0] == '@' ? SignatureEntry(&word[1]) : word);
    return sign;
}

// The published package with an archive comment of its own: other bytes, the same files.
bool SwapPublishedPackage() {
    const std::wstring path =
        WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT") + L"\\packages\\sample.zip";
    std::string bytes;
    if (!ReadFileBytes(path, bytes) || bytes.size() < 22 ||
        bytes.compare(bytes.size() - 22, 4, "PK\5\6") != 0 || bytes.back() != 0) {
        return false;
    }
    const std::string comment = "swapped";
    bytes[bytes.size() - 2] = static_cast<char>(comment.size());
    return WriteFileBytes(path, bytes + comment);
}

struct SignatureTest : testing::TestWithParam<SignatureCase> {
    RunningInstaller installer;
    void TearDown() override { StopInstaller(installer); }
};

TEST_P(SignatureTest, Install) {
    const SignatureCase& c = GetParam();
    const std::wstring documents = GetDocumentsFolder();
    ASSERT_FALSE(documents.empty());
    for (const std::string& word : c.sign) {
        ASSERT_FALSE(SignValue({word}).empty()) << word;
    }
    ASSERT_TRUE(
        PublishSample({"Signed", c.version, c.application_name, "Sample", SignValue(c.sign)}));
    if (c.swapPackage) {
        ASSERT_TRUE(SwapPublishedPackage());
    }

    installer = StartInstaller(WindowsPathFromEnvironment(c.keyed ? "INSTALLER_KEYED_TEST_PROGRAM"
                                                                  : "INSTALLER_TEST_PROGRAM"));
    const std::vector<DialogState> history = RunToTheEnd(installer);
    ASSERT_FALSE(history.empty());
    const DialogState& last = history.back();
    const std::wstring dir = documents + L"\\Signed\\" + FromUtf8(c.version);
    switch (c.outcome) {
        case Outcome::Installs:
            EXPECT_EQ(last.status, L"安装完成！桌面快捷方式已创建。") << last;
            EXPECT_TRUE(PathExists(dir + L"\\sample_app.exe"));
            break;
        case Outcome::StopsBeforeTheDownload:
            EXPECT_EQ(last, (DialogState{last.title, InvalidSignature,
                                         L"配置文件缺少有效的发布者签名，请联系发布者", L"重新安装",
                                         20, true}));
            EXPECT_FALSE(PathExists(documents + L"\\Signed"));
            break;
        case Outcome::FailsAfterTheDownload:
            EXPECT_EQ(last, (DialogState{last.title, InvalidSignature,
                                         L"安装包未通过签名验证，已删除，请联系发布者", L"重新安装",
                                         60, true}));
            EXPECT_TRUE(IsDirectory(dir));
            EXPECT_FALSE(PathExists(dir + L"\\sample_app.exe"));
            break;
    }
    EXPECT_FALSE(PathExists(dir + L"\\package.zip"));
    if (c.outcome != Outcome::Installs) {
        EXPECT_TRUE(SaveScreenshot(std::string("signature-") + c.name));
    }
}

INSTANTIATE_TEST_SUITE_P(, SignatureTest, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<SignatureCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
