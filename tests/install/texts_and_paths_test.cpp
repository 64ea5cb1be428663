#include "install/texts_and_paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The text split at each line feed, a trailing one giving an empty last line.
std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines(1);
    for (wchar_t c : text) {
        if (c == L'\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

// As the detail area shows it: a heading, then one "label: value" line per field in this order,
// empty values as empty, the sign never, and no empty line at the end.
TEST(ConfigSummary, ShowsFiveFieldsUnderAHeadingWithoutTheSign) {
    struct Case {
        InstallConfig config;
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {{L"Demo", L"demo.exe", L"演示", L"1.2", L"https://h/p.zip", L"secret"},
         {L"解析配置成功:", L"包名: Demo", L"版本: 1.2", L"应用名: demo.exe", L"快捷方式: 演示",
          L"下载地址: https://h/p.zip"}},
        {{L"Demo", L"", L"", L"", L"u", L"secret"},
         {L"解析配置成功:", L"包名: Demo", L"版本: ", L"应用名: ", L"快捷方式: ", L"下载地址: u"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Lines(ConfigSummary(c.config)), c.lines);
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
