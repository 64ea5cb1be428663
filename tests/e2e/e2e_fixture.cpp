#include "tests/e2e/e2e_fixture.h"

bool PublishSample(const PublishedPackage& package) {
    return PublishSamplePackage() &&
           PublishConfig(ConfigDocument(package.package_name, package.application_name,
                                        package.desktop_shortcut, package.version,
                                        TestServerUrl("/packages/sample.zip"), package.sign));
}

std::string SignatureEntry(const char* key) {
    std::string entry;
    const std::wstring folder = WindowsPathFromEnvironment("INSTALLER_PACKAGE_KEYS_DIR");
    if (!ReadFileBytes(folder + L"\\" + FromUtf8(key) + L".entry", entry)) return {};
    while (!entry.empty() && entry.back() == '\n') entry.pop_back();
    return entry;
}

std::vector<DialogState> RunToTheEnd(const RunningInstaller& installer) {
    std::vector<DialogState> history;
    if (installer.dialog == nullptr) return history;
    ClickActionButton(installer.dialog);
    WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3));
    return history;
}
