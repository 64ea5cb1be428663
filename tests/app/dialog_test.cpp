// The installer window driven from outside, as a user would, against the local test server.
// argv[1]: the Unix folder holding installer-test.exe (configuration from the test server)
// and installer-offline.exe (configuration from a port where nothing listens).
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/app_test.h"
#include "tests/support/gtest_runs.h"
#include "tests/support/test_server.h"

std::wstring InstallerFolder;

DialogState Ended(const wchar_t* status, const wchar_t* detail, int progress,
                  const wchar_t* caption) {
    return {L"Quorvane - 安装程序", status, detail, caption, progress, true};
}

namespace {

// How often the server has been asked for the configuration document so far.
int ConfigRequests() {
    std::string log;
    ReadFileBytes(WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_LOG"), log);
    int count = 0;
    for (size_t at = log.find("GET /app/lumadesk/version.json"); at != std::string::npos;
         at = log.find("GET /app/lumadesk/version.json", at + 1)) {
        ++count;
    }
    return count;
}

std::string ConfigWithUrl(const std::string& url) {
    return "{\n  \"package_name\": \"DialogTest\",\n  \"windows\": {\n    \"application_name\": "
           "\"app.exe\",\n    \"desktop_shortcut\": \"Dialog Test\",\n    \"version\": \"1.0\",\n"
           "    \"url\": \"" +
           url + "\",\n    \"sign\": \"\"\n  }\n}\n";
}

bool DownloadingOrEnded(const DialogState& state) {
    return state.status == L"正在下载安装包..." || RunEnded(state);
}

std::string Describe(const std::vector<DialogState>& history) {
    std::ostringstream text;
    for (const DialogState& state : history) text << state << "\n";
    return text.str();
}

struct DialogTest : testing::Test {
    RunningInstaller installer;
    std::vector<DialogState> history;

    void Start(const wchar_t* exeName = L"installer-test.exe") {
        installer = StartInstaller(InstallerFolder + exeName);
        DWORD exitCode = 0;
        const bool ended = installer.process.hProcess != nullptr &&
                           GetExitCodeProcess(installer.process.hProcess, &exitCode) &&
                           exitCode != STILL_ACTIVE;
        ASSERT_NE(installer.dialog, nullptr)
            << "the dialog did not appear: "
            << (installer.process.hProcess == nullptr ? "the program did not start"
                : ended ? "the program ended with " + std::to_string(exitCode)
                        : std::string("no dialog window within the time-out"));
    }
    // Presses the button and waits until the run ends; the last state (history: all seen).
    DialogState PressAndWaitForTheEnd() {
        history.clear();
        ClickActionButton(installer.dialog);
        const bool ended = WaitForDialog(installer.dialog, RunEnded, history);
        EXPECT_TRUE(ended) << Describe(history);
        return ended ? history.back() : DialogState{};
    }
    void TearDown() override { StopInstaller(installer); }
};

TEST_F(DialogTest, StartsReadyWithTheInitialTexts) {
    Start();
    DialogState state = ReadDialog(installer.dialog);
    EXPECT_EQ(state.title, L"Quorvane - 安装程序");
    EXPECT_EQ(state.status, L"准备就绪，点击开始安装");
    EXPECT_EQ(state.detail, L"");
    EXPECT_EQ(state.caption, L"开始安装");
    EXPECT_TRUE(state.buttonEnabled);
    EXPECT_EQ(state.progress, 0);
    EXPECT_TRUE(SaveScreenshot("dialog-ready"));
}

TEST_F(DialogTest, DocumentWithoutUrlStopsWithTheFormatErrorAtTwenty) {
    ASSERT_TRUE(
        PublishConfig("{\"package_name\":\"DialogTest\",\"windows\":{\"version\":\"1.0\"}}"));
    Start();
    EXPECT_EQ(PressAndWaitForTheEnd(),
              Ended(L"错误：配置文件格式错误", L"配置文件缺少必要的字段", 20, L"重新安装"));
    EXPECT_TRUE(SaveScreenshot("dialog-format-error"));
}

TEST_F(DialogTest, NoServerStopsAtTenWithTheDownloadError) {
    Start(L"installer-offline.exe");
    EXPECT_EQ(
        PressAndWaitForTheEnd(),
        Ended(L"错误：无法下载配置文件", L"请检查网络连接和配置文件URL是否正确", 10, L"重新安装"));
}

// Runs with WININET disabled (WINEDLLOVERRIDES wininet=d): the configuration download fails with
// its own texts instead of ending the process, and the window still closes cleanly.
TEST_F(DialogTest, WithoutWininetStopsAtTenWithTheDownloadError) {
    Start();
    EXPECT_EQ(
        PressAndWaitForTheEnd(),
        Ended(L"错误：无法下载配置文件", L"请检查网络连接和配置文件URL是否正确", 10, L"重新安装"));
    PostMessageW(installer.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_EQ(WaitForSingleObject(installer.process.hProcess, 10000),
              static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 1;
    GetExitCodeProcess(installer.process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

// The stages show their texts in order and the bar only moves forward; a package address
// that answers 404 ends the run at the package download.
TEST_F(DialogTest, ConfigurationStageShowsItsStepsInOrder) {
    ASSERT_TRUE(PublishConfig(ConfigWithUrl(TestServerUrl("/test/status/404"))));
    Start();
    EXPECT_EQ(PressAndWaitForTheEnd(),
              Ended(L"错误：无法下载安装包", L"请检查网络连接和下载地址", 50, L"重新安装"));

    const std::vector<std::wstring> order = {L"准备就绪，点击开始安装", L"正在下载配置文件...",
                                             L"正在解析配置...",        L"正在创建安装目录...",
                                             L"正在下载安装包...",      L"错误：无法下载安装包"};
    size_t position = 0;
    int progress = 0;
    for (const DialogState& state : history) {
        size_t found = position;
        while (found < order.size() && order[found] != state.status) ++found;
        ASSERT_LT(found, order.size()) << "unexpected or out-of-order status\n"
                                       << Describe(history);
        position = found;
        EXPECT_GE(state.progress, progress) << Describe(history);
        progress = state.progress;
        if (!RunEnded(state) && state.status != order[0]) {
            EXPECT_EQ(state.caption, L"安装中...");
            EXPECT_FALSE(state.buttonEnabled);
        }
    }
}

TEST_F(DialogTest, PressesDuringARunAreIgnored) {
    ASSERT_TRUE(PublishConfig(ConfigWithUrl(TestServerUrl("/test/slow?size=600&interval=1"))));
    const int requestsBefore = ConfigRequests();
    Start();
    ClickActionButton(installer.dialog);
    ASSERT_TRUE(WaitForDialog(installer.dialog, DownloadingOrEnded, history));
    ASSERT_EQ(history.back().status, L"正在下载安装包...") << Describe(history);
    for (int press = 0; press < 20; ++press) {
        ClickActionButton(installer.dialog);
        SendActionCommand(installer.dialog);
    }
    const DialogState state = ReadDialog(installer.dialog);
    EXPECT_EQ(state.status, L"正在下载安装包...");
    EXPECT_EQ(state.caption, L"安装中...");
    EXPECT_FALSE(state.buttonEnabled);
    EXPECT_EQ(ConfigRequests() - requestsBefore, 1);
}

TEST_F(DialogTest, EscapeDoesNotCloseTheDialog) {
    Start();
    SendMessageTimeoutW(installer.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0, SMTO_ABORTIFHUNG,
                        5000, nullptr);
    // A dialog that ended would let its process exit; give it the chance.
    EXPECT_EQ(WaitForSingleObject(installer.process.hProcess, 1500),
              static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(IsWindowVisible(installer.dialog));
    EXPECT_EQ(ReadDialog(installer.dialog).caption, L"开始安装");
}

TEST_F(DialogTest, CloseBoxEndsTheProgramDuringASlowDownload) {
    ASSERT_TRUE(PublishConfig(ConfigWithUrl(TestServerUrl("/test/slow?size=600&interval=1"))));
    Start();
    ClickActionButton(installer.dialog);
    ASSERT_TRUE(WaitForDialog(installer.dialog, DownloadingOrEnded, history));
    ASSERT_EQ(history.back().status, L"正在下载安装包...") << Describe(history);
    const auto closed = std::chrono::steady_clock::now();
    PostMessageW(installer.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    // The window must answer at once even while the worker is blocked in a transfer (which
    // would take ten minutes); the bound leaves room for a loaded machine.
    ASSERT_EQ(WaitForSingleObject(installer.process.hProcess, 10000),
              static_cast<DWORD>(WAIT_OBJECT_0));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - closed);
    DWORD exitCode = 1;
    GetExitCodeProcess(installer.process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    std::printf("closed during the download; the process ended after %lld ms\n",
                static_cast<long long>(elapsed.count()));
}

TEST_F(DialogTest, ReinstallAfterAFailureRunsAgain) {
    ASSERT_TRUE(PublishConfig("{\"package_name\":\"DialogTest\"}"));
    Start();
    PressAndWaitForTheEnd();
    const int requestsAfterFirst = ConfigRequests();
    EXPECT_EQ(PressAndWaitForTheEnd().status, L"错误：配置文件格式错误");
    EXPECT_EQ(ConfigRequests(), requestsAfterFirst + 1);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialog-tests INSTALLER_FOLDER\n");
        return 2;
    }
    std::wstring folder = L"Z:";
    for (const char* c = argv[1]; *c; ++c) folder += (*c == '/') ? L'\\' : static_cast<wchar_t>(*c);
    InstallerFolder = folder + L"\\";
    return RunAllTestsRequiringOne();
}
