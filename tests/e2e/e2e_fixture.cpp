#include "tests/e2e/e2e_fixture.h"

#include <cstdlib>

std::string ServerUrl(const std::string& path) {
    return std::string("https://") + std::getenv("INSTALLER_TEST_HOST") + ":" +
           std::getenv("INSTALLER_TEST_HTTPS_PORT") + path;
}

bool PublishConfig(const PublishedPackage& package, const std::string& url) {
    const std::wstring root = WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT");
    for (const wchar_t* folder : {L"", L"\\app", L"\\app\\lumadesk", L"\\packages"})
        CreateDirectoryW((root + folder).c_str(), nullptr);
    return WriteFileBytes(
        root + L"\\app\\lumadesk\\version.json",
        "{\"package_name\":\"" + package.package_name + "\",\"windows\":{\"application_name\":\"" +
            package.application_name + "\",\"desktop_shortcut\":\"" + package.desktop_shortcut +
            "\",\"version\":\"" + package.version + "\",\"url\":\"" + url + "\"}}");
}

bool PublishSample(const PublishedPackage& package) {
    const std::wstring root = WindowsPathFromEnvironment("INSTALLER_TEST_SERVER_ROOT");
    if (!PublishConfig(package, ServerUrl("/packages/sample.zip"))) return false;
    return CopyFileW(WindowsPathFromEnvironment("INSTALLER_SAMPLE_PACKAGE").c_str(),
                     (root + L"\\packages\\sample.zip").c_str(), FALSE) != FALSE;
}

std::vector<DialogState> RunToTheEnd(const RunningInstaller& installer) {
    std::vector<DialogState> history;
    if (installer.dialog == nullptr) return history;
    ClickActionButton(installer.dialog);
    WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3));
    return history;
}
