// The walk that counts unpacked files, over a fake file system whose links lead where Windows'
// lead, and the long-path form every listing and lookup goes through.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "extract/folder_walk.h"

namespace {

constexpr std::uint32_t SymlinkTag = 0xA000000C;
constexpr std::uint32_t MountPointTag = 0xA0000003;  // junctions too
constexpr std::uint32_t CloudTag = 0x9000001A;       // OneDrive's placeholders
constexpr std::uint32_t DedupTag = 0x80000013;

ListedEntry File(const std::wstring& name, std::uint32_t tag = 0, bool reparse = false) {
    return {name, false, reparse || tag != 0, tag};
}
ListedEntry Folder(const std::wstring& name, std::uint32_t tag = 0, bool reparse = false) {
    return {name, true, reparse || tag != 0, tag};
}

const std::wstring Top = L"\\\\?\\C:\\top";

// Folders by their path below Top ("" is Top); links by their path, leading to a folder's path.
struct FakeDisk {
    std::map<std::wstring, std::vector<ListedEntry>> folders;
    std::map<std::wstring, std::wstring> links{};
};

// Lists as the system would, following the links in the path; after a bounded number of calls it
// lists nothing more, so that a walk that follows links ends (and fails) rather than runs on.
FolderLister FakeLister(const FakeDisk& disk, int& calls) {
    return [&disk, &calls](const std::wstring& path, std::vector<ListedEntry>& entries) {
        if (++calls > 1000 || path.compare(0, Top.size(), Top) != 0) return false;
        std::wstring at;
        for (std::size_t from = Top.size() + 1; from <= path.size();) {
            const std::size_t end = std::min(path.find(L'\\', from), path.size());
            at += (at.empty() ? L"" : L"\\") + path.substr(from, end - from);
            const auto link = disk.links.find(at);
            if (link != disk.links.end()) at = link->second;
            from = end + 1;
        }
        const auto folder = disk.folders.find(at);
        if (folder == disk.folders.end()) return false;
        entries = folder->second;
        return true;
    };
}

TEST(FolderWalk, CountsFilesThroughEveryFolderButLinks) {
    const struct {
        const char* what;
        FakeDisk disk;
        std::uint64_t files;
    } cases[] = {
        {"nested folders",
         {{{L"", {File(L"a"), Folder(L"d")}}, {L"d", {File(L"b"), Folder(L"e")}}, {L"d\\e", {}}}},
         2},
        {"archive and script only at the top",
         {{{L"", {File(L"package.zip"), File(L"extract_temp.vbs"), File(L"x"), Folder(L"d")}},
           {L"d", {File(L"package.zip")}}}},
         2},
        {"symbolic link to its own folder",
         {{{L"", {File(L"a"), Folder(L"up", SymlinkTag)}}}, {{L"up", L""}}},
         1},
        {"junction to its own folder",
         {{{L"", {File(L"a"), Folder(L"up", MountPointTag)}}}, {{L"up", L""}}},
         1},
        {"two links to their parent, below",
         {{{L"", {Folder(L"d")}},
           {L"d", {File(L"a"), Folder(L"l1", SymlinkTag), Folder(L"x")}},
           {L"d\\x", {Folder(L"l2", MountPointTag)}}},
          {{L"d\\l1", L"d"}, {L"d\\x\\l2", L"d"}}},
         1},
        {"link to a folder elsewhere",
         {{{L"", {File(L"a"), Folder(L"out", SymlinkTag)}}, {L"elsewhere", {File(L"b")}}},
          {{L"out", L"elsewhere"}}},
         1},
        {"reparse point without a tag (Wine 8's Unix links)",
         {{{L"", {File(L"a"), Folder(L"up", 0, true)}}}, {{L"up", L""}}},
         1},
        {"file link", {{{L"", {File(L"a"), File(L"ln", SymlinkTag)}}}}, 1},
        {"cloud placeholder folder and file",
         {{{L"", {Folder(L"OneDrive", CloudTag)}},
           {L"OneDrive", {File(L"a", CloudTag), File(L"b")}}}},
         2},
        {"deduplicated file", {{{L"", {File(L"a", DedupTag)}}}}, 1},
        {"folder that cannot be listed", {{{L"", {File(L"a"), Folder(L"locked")}}}}, 1},
    };
    const auto ignored = [](const std::wstring& name) {
        return name == L"package.zip" || name == L"extract_temp.vbs";
    };
    for (const auto& c : cases) {
        int calls = 0;
        EXPECT_EQ(CountFilesBelow(Top, ignored, FakeLister(c.disk, calls)), c.files) << c.what;
        EXPECT_LE(calls, 1000) << c.what << ": the walk went round a link";
    }
}

TEST(FolderWalk, ReachesFilesFarPastMaxPath) {
    FakeDisk disk;
    std::wstring path;
    for (int depth = 0; depth < 60; ++depth) {
        const std::wstring name = std::wstring(250, L'n') + std::to_wstring(depth);
        disk.folders[path] = {Folder(name), File(L"f" + std::to_wstring(depth))};
        path += (path.empty() ? L"" : L"\\") + name;
    }
    disk.folders[path] = {File(L"deepest")};
    int calls = 0;
    EXPECT_EQ(CountFilesBelow(Top, {}, FakeLister(disk, calls)), 61u);
}

TEST(FolderWalk, LongPathFormOfFullPaths) {
    const struct {
        const wchar_t* full;
        const wchar_t* extended;
    } cases[] = {
        {L"C:\\Users\\u\\Documents\\P\\1.0", L"\\\\?\\C:\\Users\\u\\Documents\\P\\1.0"},
        {L"d:\\", L"\\\\?\\d:\\"},
        {L"\\\\server\\share\\Docs\\P", L"\\\\?\\UNC\\server\\share\\Docs\\P"},
        {L"\\\\server\\share", L"\\\\?\\UNC\\server\\share"},
        {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
        {L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"},
        {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p"},
        {L"\\\\server", L""},
        {L"\\\\server\\", L""},
        {L"\\\\\\share", L""},
        {L"C:x", L""},
        {L"\\x", L""},
        {L"x\\y", L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtendedLengthPath(c.full), c.extended)
            << testing::PrintToString(std::wstring(c.full));
    }
    EXPECT_EQ(PathBelow(L"\\\\?\\C:\\", L"a\\b"), L"\\\\?\\C:\\a\\b");
    EXPECT_EQ(PathBelow(L"\\\\?\\C:\\d", L"a"), L"\\\\?\\C:\\d\\a");
}

}  // namespace
