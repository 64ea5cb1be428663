// The network build's transfers against the local test server (tests/server), under Wine: a
// reset or a cut on every attempt, client errors, and the configuration's retry line (the field
// bed's end-to-end tests cover the rest).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "net/net.h"
#include "status/status.h"
#include "status/status_memory.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t NetworkAdvice[] = L"请检查网络连接和下载地址";
constexpr wchar_t DirectoryLine[] = L"安装目录: C:\\x";

std::wstring Env(const wchar_t* name, const wchar_t* fallback) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr && *value != L'\0' ? value : fallback;
}

std::wstring HttpUrl(const std::wstring& path) {
    return L"http://" + Env(L"INSTALLER_TEST_HOST", L"127.0.0.1") + L":" +
           Env(L"INSTALLER_TEST_HTTP_PORT", L"47380") + path;
}

std::wstring Retry(int attempt) {
    return L"网络连接中断，正在重试（第 " + std::to_wstring(attempt) + L" 次，共 5 次）...";
}

// The retry lines among the detail texts, in order.
std::vector<std::wstring> RetryDetails() {
    std::vector<std::wstring> retries;
    for (const std::wstring& detail : ReadRecordedStatus().detailTexts)
        if (detail.find(L"正在重试") != std::wstring::npos) retries.push_back(detail);
    return retries;
}

class FieldNetTest : public testing::Test {
protected:
    void SetUp() override {
        ResetRecordedStatus();
        dir_ =
            fs::temp_directory_path() /
            ("field-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        SetDetailText(DirectoryLine);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path dir_;
};

TEST_F(FieldNetTest, ABodyCutOnEveryAttemptFailsAfterFiveAndLeavesNoFile) {
    const fs::path file = dir_ / L"package.zip";
    for (const wchar_t* mode : {L"/test/reset?after=300000", L"/test/close?after=300000"}) {
        ResetRecordedStatus();
        SetDetailText(DirectoryLine);
        EXPECT_EQ(DownloadToFile(HttpUrl(mode), file.wstring()), L"");
        EXPECT_FALSE(fs::exists(file));
        EXPECT_EQ(ReadRecordedStatus().detail, NetworkAdvice);
        const std::vector<std::wstring> expected = {std::wstring(DirectoryLine) + L"\n" + Retry(2),
                                                    std::wstring(DirectoryLine) + L"\n" + Retry(3),
                                                    std::wstring(DirectoryLine) + L"\n" + Retry(4),
                                                    std::wstring(DirectoryLine) + L"\n" + Retry(5)};
        EXPECT_EQ(RetryDetails(), expected);
    }
}

TEST_F(FieldNetTest, ClientErrorsFailAtOnce) {
    for (const wchar_t* path : {L"/test/status/404", L"/test/status/403"}) {
        ResetRecordedStatus();
        SetDetailText(DirectoryLine);
        EXPECT_EQ(DownloadToFile(HttpUrl(path), (dir_ / L"package.zip").wstring()), L"");
        EXPECT_TRUE(RetryDetails().empty()) << testing::PrintToString(path);
        EXPECT_EQ(ReadRecordedStatus().detail, NetworkAdvice);
    }
}

TEST_F(FieldNetTest, AConfigurationTransferShowsTheRetryLineAlone) {
    EXPECT_EQ(FetchText(L"http://127.0.0.1:9/test/ping"), L"");
    const std::vector<std::wstring> expected = {Retry(2), Retry(3), Retry(4), Retry(5)};
    EXPECT_EQ(RetryDetails(), expected);
}

}  // namespace
