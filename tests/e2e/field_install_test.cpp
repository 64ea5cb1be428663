// Whole installs with the network build on the field bed (tests/field): the store reached only
// through the user's proxy, a package download that breaks, stalls or changes on the store
// (served by nginx behind the tests' relay), and the progress a person watches.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

constexpr wchar_t NetworkAdvice[] = L"请检查网络连接和下载地址";
constexpr wchar_t ProxyAdvice[] = L"代理服务器需要身份验证，请检查代理设置";
constexpr wchar_t Installed[] = L"安装完成！桌面快捷方式已创建。";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::wstring Program(const char* variable) { return WindowsPathFromEnvironment(variable); }

// The prefix's proxy setting, as the Internet Options of the user's Windows would write it.
void UseProxy(const std::string& port) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD enable = 1;
    const std::wstring server = L"127.0.0.1:" + FromUtf8(port);
    RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                   sizeof(enable));
    RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring FieldRoot() { return WindowsPathFromEnvironment("INSTALLER_FIELD_ROOT"); }

// Puts a file of the tests (a Windows path) on the store as name (below the root).
bool PutOnStore(const std::wstring& source, const std::wstring& name) {
    std::wstring folder = FieldRoot();
    CreateDirectoryW(folder.c_str(), nullptr);
    for (size_t slash = name.find(L'\\'); slash != std::wstring::npos;
         slash = name.find(L'\\', slash + 1)) {
        CreateDirectoryW((folder + L"\\" + name.substr(0, slash)).c_str(), nullptr);
    }
    return CopyFileW(source.c_str(), (folder + L"\\" + name).c_str(), FALSE) != FALSE;
}

std::string ReadLog(const char* variable) {
    std::string log;
    ReadFileBytes(WindowsPathFromEnvironment(variable), log);
    return log;
}

// The relay's lines for the package, split at its tabs: METHOD PATH RANGE IF-RANGE STATUS BYTES.
std::vector<std::vector<std::string>> PackageRequests() {
    std::vector<std::vector<std::string>> requests;
    std::istringstream lines(ReadLog("INSTALLER_FIELD_RELAY_LOG"));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        if (fields.size() >= 6 && fields[1].rfind("/packages/", 0) == 0) requests.push_back(fields);
    }
    return requests;
}

unsigned long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The credential prompt the system shows for a proxy: a window of the installer's process with
// the user id and password fields.
HWND FindCredentialPrompt(DWORD process) {
    struct Search {
        DWORD process;
        HWND found;
    } search{process, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != search->process || GetDlgItem(window, 1027) == nullptr ||
                GetDlgItem(window, 1028) == nullptr) {
                return TRUE;
            }
            search->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct FieldInstallTest : testing::Test {
    RunningInstaller installer;
    std::vector<DialogState> history;
    std::wstring documents = GetDocumentsFolder();

    void SetUp() override {
        ASSERT_FALSE(documents.empty());
        SetPlan("");
        // The bed's helpers append to their logs for the whole run: each test reads its own lines.
        for (const char* log :
             {"INSTALLER_FIELD_RELAY_LOG", "INSTALLER_FIELD_PROXY_LOG",
              "INSTALLER_FIELD_AUTH_PROXY_LOG", "INSTALLER_FIELD_AUTH_KEEP_PROXY_LOG"}) {
            ASSERT_TRUE(WriteFileBytes(WindowsPathFromEnvironment(log), ""));
        }
    }
    void TearDown() override { StopInstaller(installer); }

    static void SetPlan(const std::string& plan) {
        ASSERT_TRUE(WriteFileBytes(WindowsPathFromEnvironment("INSTALLER_FIELD_RELAY_PLAN"), plan));
    }
    // The configuration on the local test server, naming the package on the relay.
    // The signature entries are made for the shortcut "Sample".
    static void Publish(const std::string& name, const std::string& sign = "") {
        ASSERT_TRUE(PutOnStore(Program("INSTALLER_SAMPLE_PACKAGE"),
                               L"packages\\" + FromUtf8(name) + L".zip"));
        ASSERT_TRUE(PublishConfig(ConfigDocument(
            name, "sample_app.exe", sign.empty() ? name : "Sample", "1.0",
            "https://127.0.0.1:" + Env("INSTALLER_FIELD_RELAY_PORT") + "/packages/" + name + ".zip",
            sign)));
    }
    // The configuration and the package on the store, reachable through a proxy only.
    static void PublishOnStore(const std::string& name) {
        ASSERT_TRUE(PutOnStore(Program("INSTALLER_SAMPLE_PACKAGE"), L"packages\\sample.zip"));
        CreateDirectoryW((FieldRoot() + L"\\app").c_str(), nullptr);
        CreateDirectoryW((FieldRoot() + L"\\app\\lumadesk").c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(
            FieldRoot() + L"\\app\\lumadesk\\version.json",
            ConfigDocument(name, "sample_app.exe", name, "1.0",
                           Env("INSTALLER_FIELD_STORE_URL") + "/packages/sample.zip")));
    }
    void Start(const char* program) {
        StopInstaller(installer);
        installer = StartInstaller(Program(program));
        ASSERT_NE(installer.dialog, nullptr);
    }
    DialogState Install(const char* program) {
        Start(program);
        history = RunToTheEnd(installer);
        return history.empty() ? DialogState{} : history.back();
    }
    std::wstring InstallDir(const std::string& name) const {
        return documents + L"\\" + FromUtf8(name) + L"\\1.0";
    }
    // An install from the store through the proxy on the port that variable names, every
    // credential prompt answered with user, password and the button answer; the prompts shown.
    int InstallAnsweringPrompts(const char* portVariable, const std::wstring& user,
                                const std::wstring& password, WPARAM answer) {
        PublishOnStore("Auth");
        UseProxy(Env(portVariable));
        Start("INSTALLER_FIELD_STORE_PROGRAM");
        ClickActionButton(installer.dialog);
        const DWORD process = installer.process.dwProcessId;
        int prompts = 0;
        const bool ended = WaitForDialog(
            installer.dialog,
            [&](const DialogState& state) {
                if (const HWND prompt = FindCredentialPrompt(process)) {
                    if (++prompts == 1) SaveScreenshot("field-proxy-prompt");
                    SetDlgItemTextW(prompt, 1027, user.c_str());
                    SetDlgItemTextW(prompt, 1028, password.c_str());
                    SendMessageW(prompt, WM_COMMAND, answer, 0);
                }
                return RunEnded(state);
            },
            history, std::chrono::minutes(3));
        EXPECT_TRUE(ended);
        if (history.empty()) history.push_back(DialogState{});
        return prompts;
    }
    bool Seen(const std::wstring& part) const {
        return std::any_of(history.begin(), history.end(), [&](const DialogState& state) {
            return state.detail.find(part) != std::wstring::npos;
        });
    }
};

TEST_F(FieldInstallTest, TheStoreThroughTheUsersProxy) {
    PublishOnStore("ThroughProxy");
    UseProxy(Env("INSTALLER_FIELD_PROXY_PORT"));
    const DialogState end = Install("INSTALLER_FIELD_STORE_PROGRAM");
    EXPECT_EQ(end.status, Installed) << end;
    EXPECT_TRUE(PathExists(InstallDir("ThroughProxy") + L"\\sample_app.exe"));
    EXPECT_NE(ReadLog("INSTALLER_FIELD_PROXY_LOG").find("CONNECT"), std::string::npos);
}

TEST_F(FieldInstallTest, TheDefaultBuildConnectsDirectlyAndFailsWhereOnlyAProxyLeads) {
    PublishOnStore("DefaultNoProxy");
    UseProxy(Env("INSTALLER_FIELD_PROXY_PORT"));
    const DialogState end = Install("INSTALLER_DEFAULT_STORE_PROGRAM");
    EXPECT_EQ(end.status, L"错误：无法下载配置文件") << end;
    EXPECT_EQ(end.detail, L"请检查网络连接和配置文件URL是否正确") << end;
    // And where the store is direct, it installs without a word to the proxy.
    Publish("DefaultDirect");
    EXPECT_EQ(Install("INSTALLER_TEST_PROGRAM").status, Installed);
    EXPECT_EQ(ReadLog("INSTALLER_FIELD_PROXY_LOG"), "");
}

// A proxy asking for Basic authentication, whichever way it treats the connection after its 407:
// the user types the credentials into the system's prompt (each transfer has a session of its own,
// so the package's may ask again).
TEST_F(FieldInstallTest, AProxyThatAsksForCredentials) {
    const std::wstring user = FromUtf8(Env("INSTALLER_FIELD_PROXY_USER"));
    const std::wstring password = FromUtf8(Env("INSTALLER_FIELD_PROXY_PASSWORD"));
    for (const char* port :
         {"INSTALLER_FIELD_AUTH_PROXY_PORT", "INSTALLER_FIELD_AUTH_KEEP_PROXY_PORT"}) {
        SCOPED_TRACE(port);
        const int prompts = InstallAnsweringPrompts(port, user, password, IDOK);
        EXPECT_EQ(history.back().status, Installed) << history.back();
        EXPECT_GE(prompts, 1);
        EXPECT_LE(prompts, 2);
    }
}

// A cancelled prompt ends the transfer at once; a wrong password is asked for three times at most.
TEST_F(FieldInstallTest, ACancelledPromptOrThreeWrongPasswordsFailTheTransfer) {
    struct Case {
        WPARAM answer;
        int prompts;
    };
    for (const Case& c : {Case{IDCANCEL, 1}, Case{IDOK, 3}}) {
        SCOPED_TRACE(c.prompts);
        EXPECT_EQ(InstallAnsweringPrompts("INSTALLER_FIELD_AUTH_PROXY_PORT", L"nobody", L"wrong",
                                          c.answer),
                  c.prompts);
        EXPECT_EQ(history.back().status, L"错误：无法下载配置文件") << history.back();
        EXPECT_EQ(history.back().detail, ProxyAdvice);
    }
}

struct ResumeCase {
    const char* name;
    std::string plan;                   // the package's steps
    std::vector<std::string> statuses;  // what the relay sent, request by request
};

TEST_F(FieldInstallTest, APackageDownloadThatBreaksResumesFromTheBytesOnDisk) {
    const ResumeCase cases[] = {
        {"CutTwice", "cut:40%,cut:40%,pass", {"200", "206", "206"}},
        {"Stalled", "stall:40%,pass", {"200", "206"}},
        {"ServiceUnavailable", "status:503,pass", {"503", "200"}},
    };
    for (const ResumeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Publish(c.name);
        SetPlan("/packages/=" + c.plan + "\n");
        ASSERT_TRUE(WriteFileBytes(WindowsPathFromEnvironment("INSTALLER_FIELD_RELAY_LOG"), ""));
        const DialogState end = Install("INSTALLER_FIELD_TEST_PROGRAM");
        EXPECT_EQ(end.status, Installed) << end;
        EXPECT_TRUE(PathExists(InstallDir(c.name) + L"\\sample_app.exe"));
        const auto requests = PackageRequests();
        std::vector<std::string> statuses;
        unsigned long long sent = 0;
        for (const auto& request : requests) {
            statuses.push_back(request[4]);
            sent += std::stoull(request[5]);
        }
        EXPECT_EQ(statuses, c.statuses);
        // Every resumed request names the bytes on disk and the first answer's validator.
        for (size_t i = 1; i < requests.size(); ++i) {
            if (c.statuses[i] != "206") continue;
            EXPECT_EQ(requests[i][2].rfind("bytes=", 0), 0u) << requests[i][2];
            EXPECT_NE(requests[i][3], "-");
        }
        const unsigned long long size = FileSize(Program("INSTALLER_SAMPLE_PACKAGE"));
        EXPECT_LE(sent, size + size / 20) << "bytes sent for a package of " << size;
        EXPECT_TRUE(Seen(L"正在重试（第 2 次，共 5 次）"));
    }
}

TEST_F(FieldInstallTest, APackageReplacedBetweenAttemptsIsDownloadedAgainWhole) {
    Publish("Replaced");
    // The second package, to take the first's place on the store while the first download breaks.
    ASSERT_TRUE(PutOnStore(WindowsPathFromEnvironment("INSTALLER_RICH_PACKAGES") + L"\\dots.zip",
                           L"next\\dots.zip"));
    SetPlan("/packages/=cut:40%,replace:next/dots.zip:packages/Replaced.zip+pass\n");
    const DialogState end = Install("INSTALLER_FIELD_TEST_PROGRAM");
    EXPECT_EQ(end.status, Installed) << end;
    EXPECT_TRUE(PathExists(InstallDir("Replaced") + L"\\plain.txt"));
    const auto requests = PackageRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1][3], "-");    // asked with If-Range
    EXPECT_EQ(requests[1][4], "200");  // and got the new package whole
}

// The keyed build hashes the blocks as they are written: a start-over must start the hash over too.
TEST_F(FieldInstallTest, AKeyedBuildVerifiesAPackageThatWasCutAndStartedOver) {
    const std::string sign = SignatureEntry("trusted");
    ASSERT_FALSE(sign.empty());
    Publish("Signed", sign);
    // The same bytes again, newer: the validator changes, so the resumed request gets them whole.
    ASSERT_TRUE(PutOnStore(Program("INSTALLER_SAMPLE_PACKAGE"), L"next\\same.zip"));
    SetPlan("/packages/=cut:40%,cut:40%,replace:next/same.zip:packages/Signed.zip+cut:40%,pass\n");
    const DialogState end = Install("INSTALLER_KEYED_FIELD_TEST_PROGRAM");
    EXPECT_EQ(end.status, Installed) << end;
    std::vector<std::string> statuses;
    for (const auto& request : PackageRequests()) statuses.push_back(request[4]);
    EXPECT_EQ(statuses, (std::vector<std::string>{"200", "206", "200", "206"}));
}

TEST_F(FieldInstallTest, ACutOnEveryAttemptFailsAfterFiveAndLeavesNothing) {
    // The keyed build holds its package file itself: it must let it go and delete it too.
    const struct {
        const char* name;
        const char* program;
        std::string sign;
    } cases[] = {{"AlwaysCut", "INSTALLER_FIELD_TEST_PROGRAM", ""},
                 {"Signed", "INSTALLER_KEYED_FIELD_TEST_PROGRAM", SignatureEntry("trusted")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Publish(c.name, c.sign);
        SetPlan("/packages/=cut:40%\n");
        const DialogState end = Install(c.program);
        EXPECT_EQ(end.status, L"错误：无法下载安装包") << end;
        EXPECT_EQ(end.detail, NetworkAdvice);
        EXPECT_EQ(PackageRequests().size(), 5u);
        EXPECT_FALSE(PathExists(InstallDir(c.name) + L"\\package.zip"));
        for (int attempt = 2; attempt <= 5; ++attempt) {
            EXPECT_TRUE(Seen(L"安装目录: " + InstallDir(c.name) + L"\n网络连接中断，正在重试（第 " +
                             std::to_wstring(attempt) + L" 次，共 5 次）..."))
                << attempt;
        }
    }
}

TEST_F(FieldInstallTest, AThrottledPackageMovesTheBarFromFiftyTowardsSixty) {
    Publish("Throttled");
    const unsigned long long size = FileSize(Program("INSTALLER_SAMPLE_PACKAGE"));
    SetPlan("/packages/=throttle:" + std::to_string(std::max<unsigned long long>(size / 5, 1)) +
            "\n");
    Start("INSTALLER_FIELD_TEST_PROGRAM");
    ClickActionButton(installer.dialog);
    ASSERT_TRUE(WaitForDialog(
        installer.dialog,
        [](const DialogState& state) {
            return state.detail.find(L"已下载 ") != std::wstring::npos && state.progress >= 53;
        },
        history));
    EXPECT_TRUE(SaveScreenshot("field-progress"));
    ASSERT_TRUE(WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3)));
    EXPECT_EQ(history.back().status, Installed) << history.back();
    std::vector<int> positions;
    for (const DialogState& state : history) {
        if (state.progress >= 50 && state.progress <= 59 &&
            (positions.empty() || positions.back() != state.progress)) {
            positions.push_back(state.progress);
        }
    }
    EXPECT_GE(positions.size(), 5u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_TRUE(Seen(L"安装目录: " + InstallDir("Throttled") + L"\n已下载 "));
}

TEST_F(FieldInstallTest, ClosingTheWindowDuringARetryWaitEndsAtOnce) {
    Publish("CloseWhileWaiting");
    SetPlan("/packages/=status:503\n");
    Start("INSTALLER_FIELD_TEST_PROGRAM");
    ClickActionButton(installer.dialog);
    ASSERT_TRUE(WaitForDialog(
        installer.dialog,
        [](const DialogState& state) {
            return state.detail.find(L"（第 3 次") != std::wstring::npos;
        },
        history));
    EXPECT_TRUE(SaveScreenshot("field-retry-wait"));
    PostMessageW(installer.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    // The wait has two to four seconds left: generous bounds still tell "at once" from "after".
    EXPECT_EQ(WaitForSingleObject(installer.process.hProcess, 10000),
              static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
