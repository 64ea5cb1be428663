#include <windows.h>

#include <cstdlib>

#include "tests/support/test_files.h"
#include "tests/support/test_server.h"
#include "tests/support/test_text.h"

namespace {

// The Windows form of the Unix path in the environment variable; empty when unset.
std::wstring PathFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    return value == nullptr ? std::wstring() : WindowsPath(FromUtf8(value));
}

std::wstring ServerRoot() { return PathFromEnvironment("INSTALLER_TEST_SERVER_ROOT"); }

void CreateServerFolders() {
    const std::wstring root = ServerRoot();
    for (const wchar_t* folder : {L"", L"\\app", L"\\app\\lumadesk", L"\\packages"})
        CreateDirectoryW((root + folder).c_str(), nullptr);
}

}  // namespace

std::string TestServerUrl(const std::string& path) {
    return std::string("https://") + std::getenv("INSTALLER_TEST_HOST") + ":" +
           std::getenv("INSTALLER_TEST_HTTPS_PORT") + path;
}

std::string ConfigDocument(const std::string& package_name, const std::string& application_name,
                           const std::string& desktop_shortcut, const std::string& version,
                           const std::string& url, const std::string& sign) {
    return "{\"package_name\":\"" + package_name + "\",\"windows\":{\"application_name\":\"" +
           application_name + "\",\"desktop_shortcut\":\"" + desktop_shortcut +
           "\",\"version\":\"" + version + "\",\"url\":\"" + url + "\",\"sign\":\"" + sign + "\"}}";
}

bool PublishConfig(const std::string& document) {
    CreateServerFolders();
    return WriteFileBytes(ServerRoot() + L"\\app\\lumadesk\\version.json", document);
}

bool PublishSamplePackage() {
    CreateServerFolders();
    return CopyFileW(PathFromEnvironment("INSTALLER_SAMPLE_PACKAGE").c_str(),
                     (ServerRoot() + L"\\packages\\sample.zip").c_str(), FALSE) != FALSE;
}
