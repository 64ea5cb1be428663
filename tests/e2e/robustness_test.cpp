// What keeps a whole install dependable through the window: an unpacker that stops early is not a
// success, closing the window stops the unpacker too, the button stays visible and a run hands it
// back without letting a second run slip in.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/resource.h"
#include "handles/handles.h"
#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

const wchar_t StandinMutex[] = L"Local\\InstallerUnpackerStandin";

bool StandinRunning() {
    return static_cast<bool>(KernelHandle(OpenMutexW(SYNCHRONIZE, FALSE, StandinMutex)));
}

bool Seen(const std::vector<DialogState>& history, const std::wstring& detail) {
    for (const DialogState& state : history)
        if (state.detail == detail) return true;
    return false;
}

struct RobustnessTest : testing::Test {
    RunningInstaller installer;
    std::wstring documents = GetDocumentsFolder();

    void SetUp() override { ASSERT_FALSE(documents.empty()); }
    void TearDown() override { StopInstaller(installer); }

    void Start() {
        installer = StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
        ASSERT_NE(installer.dialog, nullptr);
    }
    static void SetUnpackers(const wchar_t* tar, const wchar_t* cscript,
                             const wchar_t* powershell) {
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_TAR", tar);
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_CSCRIPT", cscript);
        SetEnvironmentVariableW(L"INSTALLER_STANDIN_POWERSHELL", powershell);
    }
    // One whole run of the sample package with the unpackers behaving as given; its last state.
    DialogState Install(const char* package, const wchar_t* tar, const wchar_t* cscript,
                        const wchar_t* powershell) {
        EXPECT_TRUE(PublishSample({package}));
        SetUnpackers(tar, cscript, powershell);
        StopInstaller(installer);
        installer = StartInstaller(WindowsPathFromEnvironment("INSTALLER_TEST_PROGRAM"));
        history = RunToTheEnd(installer);
        return history.empty() ? DialogState{} : history.back();
    }
    std::vector<DialogState> history;
};

TEST_F(RobustnessTest, TarCutShortIsFollowedByTheScriptAndTheInstallCompletesWhole) {
    EXPECT_EQ(Install("CutTar", L"cut", L"unpack", L"fail").status,
              L"安装完成！桌面快捷方式已创建。");
    EXPECT_TRUE(Seen(history, L"[VBScript]正在解压安装包..."));
    const std::wstring dir = documents + L"\\CutTar\\1.0";
    for (const wchar_t* file : {L"\\sample_app.exe", L"\\data\\readme.txt", L"\\data\\说明.txt"})
        EXPECT_TRUE(PathExists(dir + file)) << Utf8(file);
}

TEST_F(RobustnessTest, EveryUnpackerCutShortFailsAtExtractionAndKeepsThePackage) {
    const DialogState last = Install("CutAll", L"cut", L"cut", L"cut");
    EXPECT_EQ(last.status, L"错误：无法解压安装包");
    EXPECT_EQ(last.detail, L"请检查ZIP文件是否损坏");
    EXPECT_EQ(last.caption, L"重新安装");
    EXPECT_TRUE(PathExists(documents + L"\\CutAll\\1.0\\package.zip"));
}

// Files an earlier, failed run left behind do not make an unpacker that did nothing a success.
TEST_F(RobustnessTest, ARerunOverAPartialInstallIsNotCompletedByWhatTheFirstRunLeft) {
    ASSERT_EQ(Install("Rerun", L"cut", L"cut", L"cut").status, L"错误：无法解压安装包");
    EXPECT_EQ(Install("Rerun", L"empty", L"unpack", L"fail").status,
              L"安装完成！桌面快捷方式已创建。");
    EXPECT_TRUE(Seen(history, L"[VBScript]正在解压安装包..."));
    EXPECT_TRUE(PathExists(documents + L"\\Rerun\\1.0\\data\\说明.txt"));
}

// A reinstall through the shell's ZIP folder finds every file there already: without "Yes to All"
// the copy would stop at a question that nobody answers in the hidden script host.
TEST_F(RobustnessTest, AReinstallThroughTheScriptHostReplacesTheFilesWithoutAQuestion) {
    for (int run = 1; run <= 2; ++run)
        EXPECT_EQ(Install("ScriptReinstall", L"fail", L"unpack", L"fail").status,
                  L"安装完成！桌面快捷方式已创建。")
            << "run " << run;
}

TEST_F(RobustnessTest, ClosingTheWindowDuringTheUnpackEndsTheUnpackerToo) {
    ASSERT_TRUE(PublishSample({"CloseDuringUnpack"}));
    SetUnpackers(L"hang", L"fail", L"fail");
    Start();
    ClickActionButton(installer.dialog);
    ASSERT_TRUE(WaitForDialog(
        installer.dialog,
        [](const DialogState& state) {
            return state.detail == L"[tar]正在解压安装包..." && StandinRunning();
        },
        history));
    PostMessageW(installer.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    // The stand-in hangs for ever: generous bounds still tell "with the window" from "never".
    EXPECT_EQ(WaitForSingleObject(installer.process.hProcess, 10000),
              static_cast<DWORD>(WAIT_OBJECT_0));
    bool stopped = false;
    for (int round = 0; round < 200 && !stopped; ++round) {
        stopped = !StandinRunning();
        if (!stopped) Sleep(50);
    }
    EXPECT_TRUE(stopped) << "the unpacker outlived the installer by more than ten seconds";
}

// Pixels of the button's rectangle on the screen that differ from the dialog's background beside
// it: the button's frame and caption when it is drawn, none when the detail text covers it.
int ButtonPixelsDrawn(HWND button) {
    RECT rect{};
    GetWindowRect(button, &rect);
    const HDC screen = GetDC(nullptr);
    const COLORREF background = GetPixel(screen, rect.left - 8, rect.top + 4);
    int drawn = 0;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        for (LONG x = rect.left; x < rect.right; ++x)
            if (GetPixel(screen, x, y) != background) ++drawn;
    }
    ReleaseDC(nullptr, screen);
    return drawn;
}

TEST_F(RobustnessTest, TheButtonStaysVisibleWhileTheDetailTextChanges) {
    ASSERT_TRUE(PublishConfig(ConfigDocument("Visible", "sample_app.exe", "Sample", "1.0",
                                             TestServerUrl("/test/slow?size=600&interval=1"))));
    Start();
    ClickActionButton(installer.dialog);
    ASSERT_TRUE(WaitForDialog(
        installer.dialog,
        [](const DialogState& state) { return state.status == L"正在下载安装包..."; }, history));
    Sleep(300);
    EXPECT_TRUE(SaveScreenshot("button-during-download"));
    RECT rect{};
    const HWND button = GetDlgItem(installer.dialog, IDC_ACTION);
    GetWindowRect(button, &rect);
    // At least its frame: every pixel of the outline.
    EXPECT_GE(ButtonPixelsDrawn(button),
              2 * (rect.right - rect.left) + 2 * (rect.bottom - rect.top) - 8);
}

// Commands sent without pause while runs end: a command must never start a run that the ending
// one then hands the button back over. While a run is under way the button reads "安装中..."
// and is disabled.
TEST_F(RobustnessTest, AStreamOfButtonCommandsWhileRunsEndNeverOverlapsTwoRuns) {
    ASSERT_TRUE(PublishConfig("{\"package_name\":\"Stream\"}"));
    Start();
    std::atomic<bool> streaming{true};
    std::thread stream([&] {
        while (streaming) SendActionCommand(installer.dialog);
    });
    WaitForDialog(
        installer.dialog, [](const DialogState&) { return false; }, history,
        std::chrono::seconds(5));
    streaming = false;
    stream.join();
    ASSERT_TRUE(WaitForDialog(installer.dialog, RunEnded, history));
    int runs = 0;
    for (const DialogState& state : history) {
        if (state.status.rfind(L"正在", 0) != 0) continue;
        if (state.status == L"正在下载配置文件...") ++runs;
        EXPECT_TRUE(!state.buttonEnabled && state.caption == L"安装中...")
            << "during a run: " << Utf8(state.status + L" / " + state.caption)
            << (state.buttonEnabled ? " (enabled)" : "");
    }
    std::printf("%d runs seen\n", runs);
    EXPECT_GT(runs, 1) << "the stream did not start runs one after another";
}

}  // namespace
