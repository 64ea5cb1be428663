#include <windows.h>
#include <objbase.h>

#include <optional>
#include <vector>

#include "status/shared_state.h"
#include "status/status.h"
#include "config/config.h"
#include "config/config_url.h"
#include "extract/extract.h"
#include "install/install.h"
#include "install/package_signature_check.h"
#include "install/texts_and_paths.h"
#include "net/net.h"
#include "shell/shell.h"

namespace {

// Configuration stage: false (with the texts shown) when the run must stop.
bool LoadConfiguration(InstallConfig& config) {
    SetStatusText(L"正在下载配置文件...");
    SetProgress(10);
    std::wstring advice;
    const std::wstring text = FetchText(ConfigUrl, advice);
    if (text.empty()) {
        SetStatusText(L"错误：无法下载配置文件");
        SetDetailText(advice.empty() ? L"请检查网络连接和配置文件URL是否正确" : advice);
        return false;
    }
    SetStatusText(L"正在解析配置...");
    SetProgress(20);
    SetDetailText(L"解析JSON配置文件...");
    config = ParseInstallConfig(text);
    if (config.url.empty() || config.package_name.empty()) {
        SetStatusText(L"错误：配置文件格式错误");
        SetDetailText(L"配置文件缺少必要的字段");
        return false;
    }
    SetDetailText(ConfigSummary(config));
    return AcceptDocumentSignature(config);
}

// Unpacking over a program in use replaces some files and fails on the locked one (a running
// program's image or a DLL it loaded), leaving two versions mixed: stop before any unpacker
// touches the folder. Without a listing, the program itself is all that can be checked.
bool PackageWouldReplaceFileInUse(const InstallConfig& config, const std::wstring& installDir,
                                  const std::optional<std::vector<ZipEntry>>& listing) {
    if (listing) return ArchiveFileInUse(installDir, *listing);
    return !config.application_name.empty() &&
           FileIsInUse(JoinPath(installDir, config.application_name));
}

void CreateShortcutAndFinish(const InstallConfig& config, const std::wstring& installDir) {
    const std::wstring target = JoinPath(installDir, config.application_name);
    const std::wstring desktop = GetDesktopFolder();
    const std::wstring linkPath = JoinPath(desktop, config.desktop_shortcut + L".lnk");
    SetDetailText(L"正在创建快捷方式...\n目标: " + target + L"\n快捷方式: " + linkPath);
    // Without a Desktop folder the link would land at the root of the current drive.
    if (!desktop.empty() &&
        CreateDesktopShortcut(target, linkPath, config.desktop_shortcut, installDir)) {
        SetStatusText(L"安装完成！桌面快捷方式已创建。");
        SetDetailText(L"安装成功完成！");
        LaunchTarget = target;
        LaunchFolder = installDir;
    } else {
        SetStatusText(L"安装完成，但创建快捷方式失败。");
        SetDetailText(L"应用程序已安装，但快捷方式创建失败");
    }
}

void DeployPackage(const InstallConfig& config) {
    SetStatusText(L"正在创建安装目录...");
    SetProgress(30);
    const std::wstring documents = GetDocumentsFolder();
    if (documents.empty()) {
        SetStatusText(L"错误：无法获取文档目录");
        SetDetailText(L"请检查用户权限");
        return;
    }
    const std::wstring installDir = InstallDirectory(documents, config);
    CreateDirectoryW(installDir.c_str(), nullptr);
    SetDetailText(L"安装目录: " + installDir);

    SetStatusText(L"正在下载安装包...");
    SetProgress(50);
    const std::wstring packagePath = JoinPath(installDir, L"package.zip");
    HeldPackage package;
    const std::wstring downloaded = DownloadPackage(config.url, packagePath, package);
    if (downloaded.empty()) {
        SetStatusText(L"错误：无法下载安装包");
        return;
    }
    SetDetailText(L"下载完成: " + downloaded);
    if (!AcceptPackageSignature(config, packagePath, package)) return;

    SetStatusText(L"正在解压安装包...");
    SetProgress(70);
    const std::optional<std::vector<ZipEntry>> listing = ReadArchiveListing(packagePath);
    if (PackageWouldReplaceFileInUse(config, installDir, listing)) {
        SetStatusText(L"错误：程序正在运行");
        SetDetailText(L"请关闭正在运行的程序后点击重新安装");
        return;
    }
    const bool unpacked = ExtractPackage(packagePath, installDir, listing, [&] {
        return PrepareReadSharingUnpack(packagePath, package);
    });
    package = HeldPackage{};  // unpacked or not, the package is left to whoever comes next
    if (!unpacked) {
        SetStatusText(L"错误：无法解压安装包");
        SetDetailText(L"请检查ZIP文件是否损坏");
        return;
    }
    SetDetailText(L"解压完成");
    SetStatusText(L"正在创建快捷方式...");
    SetProgress(90);

    if (!config.application_name.empty() && !config.desktop_shortcut.empty()) {
        CreateShortcutAndFinish(config, installDir);
    } else {
        SetStatusText(L"安装完成！");
        SetDetailText(L"安装成功完成！");
        // With an empty application name this is the folder itself, which the shell opens.
        LaunchTarget = JoinPath(installDir, config.application_name);
        LaunchFolder = installDir;
    }
    SetProgress(100);
    DeleteFileW(packagePath.c_str());
}

// The flag is cleared last: a press seen before it clears is ignored, and one seen after it
// finds the button already in its final state and LaunchTarget and LaunchFolder no longer
// written.
void HandBackButton() {
    if (ActionButton != nullptr) EnableWindow(ActionButton, TRUE);
    SetWindowTextW(ActionButton, LaunchTarget.empty() ? L"重新安装" : L"打开程序");
    InstallInProgress.store(false, std::memory_order_release);
}

}  // namespace

DWORD WINAPI InstallWorker(LPVOID) {
    const bool comReady = SUCCEEDED(CoInitialize(nullptr));
    try {
        InstallConfig config;
        if (LoadConfiguration(config)) DeployPackage(config);
    } catch (...) {
        SetStatusText(L"错误：安装过程中发生未知错误");
        SetDetailText(L"请重新运行安装程序");
    }
    // Unbalanced release would tear down an apartment this thread never joined.
    if (comReady) CoUninitialize();
    HandBackButton();
    return 0;
}
