#include "tests/e2e/e2e_fixture.h"

bool PublishSample(const PublishedPackage& package) {
    return PublishSamplePackage() &&
           PublishConfig(ConfigDocument(package.package_name, package.application_name,
                                        package.desktop_shortcut, package.version,
                                        TestServerUrl("/packages/sample.zip")));
}

std::vector<DialogState> RunToTheEnd(const RunningInstaller& installer) {
    std::vector<DialogState> history;
    if (installer.dialog == nullptr) return history;
    ClickActionButton(installer.dialog);
    WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3));
    return history;
}
