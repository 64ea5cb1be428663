#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/paths.h"

namespace {

struct PathCase {
    const wchar_t* path;
    std::vector<std::wstring> expected;
};

TEST(DirectoriesToCreate, ListsEachBackslashLevelThenTheWholeDirectory) {
    const PathCase cases[] = {
        {L"D:\\a\\b\\c\\package.zip", {L"D:", L"D:\\a", L"D:\\a\\b", L"D:\\a\\b\\c"}},
        {L"C:\\Users\\u\\Documents\\pkg\\1.0\\package.zip",
         {L"C:", L"C:\\Users", L"C:\\Users\\u", L"C:\\Users\\u\\Documents",
          L"C:\\Users\\u\\Documents\\pkg", L"C:\\Users\\u\\Documents\\pkg\\1.0"}},
        // A forward slash ends the directory part but is no level of its own.
        {L"D:/a/b/package.zip", {L"D:/a/b"}},
        {L"D:\\a/b\\c/package.zip", {L"D:", L"D:\\a/b", L"D:\\a/b\\c"}},
        // No call for the empty prefix in front of a leading backslash.
        {L"\\a\\b\\package.zip", {L"\\a", L"\\a\\b"}},
        {L"\\\\server\\share\\package.zip", {L"\\", L"\\\\server", L"\\\\server\\share"}},
        {L"D:\\package.zip", {L"D:"}},
        {L"D:\\a\\\\package.zip", {L"D:", L"D:\\a", L"D:\\a\\"}},
        // Nothing to create: no directory part at all.
        {L"package.zip", {}},
        {L"\\package.zip", {}},
        {L"/package.zip", {}},
        {L"", {}},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(DirectoriesToCreate(c.path), c.expected)
            << "path: " << testing::PrintToString(std::wstring(c.path));
    }
}

}  // namespace
