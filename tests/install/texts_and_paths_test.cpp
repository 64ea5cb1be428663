#include "install/texts_and_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigSummary, ListsFiveFieldsOnSixLinesWithoutSign) {
    struct Case {
        InstallConfig config;
        std::wstring expected;
    };
    const Case cases[] = {
        {{L"Demo", L"demo.exe", L"演示", L"1.2", L"https://h/p.zip", L"secret"},
         L"解析配置成功:\n包名: Demo\n版本: 1.2\n应用名: demo.exe\n快捷方式: 演示\n下载地址: "
         L"https://h/p.zip"},
        // Empty values leave nothing after the label's space.
        {{L"Demo", L"", L"", L"", L"u", L""},
         L"解析配置成功:\n包名: Demo\n版本: \n应用名: \n快捷方式: \n下载地址: u"},
    };
    for (const Case& c : cases) EXPECT_EQ(ConfigSummary(c.config), c.expected);
}

TEST(InstallDirectory, JoinsVerbatimWithSingleBackslashes) {
    struct Case {
        std::wstring documents, package, version, expected;
    };
    const Case cases[] = {
        {L"C:\\Users\\u\\Documents", L"Demo", L"1.0", L"C:\\Users\\u\\Documents\\Demo\\1.0"},
        // An empty version leaves a trailing backslash: the package folder itself.
        {L"C:\\D", L"Demo", L"", L"C:\\D\\Demo\\"},
        // Values are not cleaned: separators inside them take effect.
        {L"C:\\D", L"a\\b", L"..", L"C:\\D\\a\\b\\.."},
    };
    for (const Case& c : cases) {
        InstallConfig config;
        config.package_name = c.package;
        config.version = c.version;
        EXPECT_EQ(InstallDirectory(c.documents, config), c.expected);
    }
}

}  // namespace
