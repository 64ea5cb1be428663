#include "install/texts_and_paths.h"

std::wstring ConfigSummary(const InstallConfig& config) {
    return L"解析配置成功:\n包名: " + config.package_name + L"\n版本: " + config.version +
           L"\n应用名: " + config.application_name + L"\n快捷方式: " + config.desktop_shortcut +
           L"\n下载地址: " + config.url;
}

std::wstring JoinPath(const std::wstring& directory, const std::wstring& name) {
    return directory + L"\\" + name;
}

std::wstring InstallDirectory(const std::wstring& documents, const InstallConfig& config) {
    return JoinPath(JoinPath(documents, config.package_name), config.version);
}
