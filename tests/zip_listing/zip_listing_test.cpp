// The central-directory listing against archives of other people's ZIP writers and against
// crafted and damaged ones, and the folder check against folders that real unpackers filled.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "extract/zip_listing.h"
#include "tools/config-check/utf8.h"

namespace {

namespace fs = std::filesystem;

std::optional<std::vector<ZipEntry>> ListBytes(const std::string& bytes) {
    return ListZipEntries(bytes.size(),
                          [&](std::uint64_t offset, std::size_t size, std::string& out) {
                              if (offset > bytes.size() || size > bytes.size() - offset)
                                  return false;
                              out.assign(bytes, offset, size);
                              return true;
                          });
}

std::vector<std::string> StoredNames(const std::vector<ZipEntry>& entries) {
    std::vector<std::string> names;
    for (const ZipEntry& entry : entries) names.push_back(entry.storedName);
    return names;
}

// Appends each value as a little-endian field of its width (a width over 8: zeros).
void Put(std::string& bytes, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
    for (const auto& [value, width] : fields) {
        for (int i = 0; i < width; ++i)
            bytes += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xFF : 0);
    }
}

void Patch(std::string& bytes, std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t Get(const std::string& bytes, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

struct Crafted {
    std::string name{};
    std::string data{};
    std::uint16_t flags = 0;
    std::uint8_t host = 0;  // 0 MS-DOS, 3 Unix
    std::uint32_t attributes = 0;
    std::uint16_t method = 0;
};

constexpr std::size_t EndRecordSize = 22;
constexpr std::size_t Zip64TailSize = 56 + 20 + EndRecordSize;  // record, locator, end record

// Stored entries; with zip64 every size and offset lives in ZIP64 extra fields and records.
// Time, date and CRC are zeros: nothing here reads them.
std::string Build(const std::vector<Crafted>& entries, bool zip64 = false,
                  const std::string& comment = "") {
    const std::uint64_t mark32 = 0xFFFFFFFF, mark16 = 0xFFFF;
    std::string bytes, directory;
    for (const Crafted& e : entries) {
        const std::uint64_t at = bytes.size(), size = e.data.size(), name = e.name.size();
        Put(bytes, {{0x04034b50, 4},
                    {20, 2},
                    {e.flags, 2},
                    {e.method, 2},
                    {0, 8},
                    {size, 4},
                    {size, 4},
                    {name, 2},
                    {0, 2}});
        bytes += e.name + e.data;
        Put(directory, {{0x02014b50, 4},
                        {(e.host << 8) | 45u, 2},
                        {45, 2},
                        {e.flags, 2},
                        {e.method, 2},
                        {0, 8},
                        {zip64 ? mark32 : size, 4},
                        {zip64 ? mark32 : size, 4},
                        {name, 2},
                        {zip64 ? 28 : 0, 2},
                        {0, 6},
                        {e.attributes, 4},
                        {zip64 ? mark32 : at, 4}});
        directory += e.name;
        if (zip64) Put(directory, {{1, 2}, {24, 2}, {size, 8}, {size, 8}, {at, 8}});
    }
    const std::uint64_t directoryAt = bytes.size(), count = entries.size();
    bytes += directory;
    if (zip64) {
        Put(bytes, {{0x06064b50, 4},
                    {44, 8},
                    {45 | (45 << 16), 4},
                    {0, 8},
                    {count, 8},
                    {count, 8},
                    {directory.size(), 8},
                    {directoryAt, 8}});
        Put(bytes, {{0x07064b50, 4}, {0, 4}, {directoryAt + directory.size(), 8}, {1, 4}});
    }
    Put(bytes, {{0x06054b50, 4},
                {0, 4},
                {zip64 ? mark16 : count, 2},
                {zip64 ? mark16 : count, 2},
                {zip64 ? mark32 : directory.size(), 4},
                {zip64 ? mark32 : directoryAt, 4},
                {comment.size(), 2}});
    return bytes + comment;
}

const std::vector<Crafted> TwoFiles = {{.name = "a.txt", .data = "hello"},
                                       {.name = "dir/b.txt", .data = ""}};

// p: nameIsPortable, d: isDirectory, l: isSymbolicLink, t: endsInDotOrBlank, u: isUnsafe.
std::string Flags(const ZipEntry& entry) {
    return std::string(entry.nameIsPortable ? "p" : "") + (entry.isDirectory ? "d" : "") +
           (entry.isSymbolicLink ? "l" : "") + (entry.endsInDotOrBlank ? "t" : "") +
           (entry.isUnsafe ? "u" : "");
}

TEST(CraftedNames, AreReadAsWindowsAndTheUnpackersReadThem) {
    constexpr std::uint16_t Utf8 = 0x0800;
    constexpr std::uint32_t LinkMode = 0120777u << 16;
    const struct {
        Crafted entry;
        std::wstring name;
        const char* flags;
    } cases[] = {
        {{.name = "docs/a.txt"}, L"docs\\a.txt", "p"},
        {{.name = "docs\\a.txt"}, L"docs\\a.txt", "p"},
        {{.name = "./docs//a.txt"}, L"docs\\a.txt", "p"},
        {{.name = "a..b/..c"}, L"a..b\\..c", "p"},
        {{.name = "conf/com10.txt"}, L"conf\\com10.txt", "p"},
        {{.name = "LICENSE."}, L"LICENSE.", "pt"},
        {{.name = "notes "}, L"notes ", "pt"},
        {{.name = "docs. /a.txt"}, L"docs. \\a.txt", "pt"},
        {{.name = "docs../"}, L"docs..", "pdt"},
        {{.name = "说明。.txt.", .flags = Utf8}, L"说明。.txt.", "pt"},
        {{.name = "\xD6\xD0 "}, L"", "t"},
        {{.name = "docs/"}, L"docs", "pd"},
        {{.name = "docs", .attributes = 0x10}, L"docs", "pd"},
        {{.name = "数据/说明.txt", .flags = Utf8}, L"数据\\说明.txt", "p"},
        {{.name = "\xF0\x9F\x98\x80", .flags = Utf8}, L"\U0001F600", "p"},
        {{.name = "数据.txt"}, L"", ""},
        {{.name = "\xD6\xD0\xCE\xC4.txt"}, L"", ""},
        {{.name = "\xD6\xD0\xCE\xC4", .flags = Utf8}, L"", ""},
        {{.name = "\xC0\xAF", .flags = Utf8}, L"", ""},          // overlong
        {{.name = "\xE0\x80\xAF", .flags = Utf8}, L"", ""},      // overlong
        {{.name = "\xED\xA0\x80", .flags = Utf8}, L"", ""},      // surrogate
        {{.name = "\xF4\x90\x80\x80", .flags = Utf8}, L"", ""},  // past U+10FFFF
        {{.name = "a\xE4\xB8", .flags = Utf8}, L"", ""},         // cut short
        {{.name = "ln", .host = 3, .attributes = LinkMode}, L"ln", "pl"},
        {{.name = "ln", .attributes = LinkMode}, L"ln", "p"},  // not made on Unix
        {{.name = "../a.txt"}, L"..\\a.txt", "ptu"},
        {{.name = "a/../../b"}, L"a\\..\\..\\b", "ptu"},
        {{.name = "a/.../b"}, L"a\\...\\b", "ptu"},
        {{.name = "a/ /b"}, L"a\\ \\b", "ptu"},
        {{.name = "/etc/x"}, L"etc\\x", "pu"},
        {{.name = "\\x"}, L"x", "pu"},
        {{.name = "C:x.txt"}, L"C:x.txt", "pu"},
        {{.name = "a.txt:stream"}, L"a.txt:stream", "pu"},
        {{.name = "a?.txt"}, L"a?.txt", "pu"},
        {{.name = "a\x01.txt"}, L"a\x01.txt", "pu"},
        {{.name = "con"}, L"con", "pu"},
        {{.name = "docs/NUL.txt"}, L"docs\\NUL.txt", "pu"},
        {{.name = "com1 .log"}, L"com1 .log", "pu"},
        {{.name = ""}, L"", "pu"},
        {{.name = "./"}, L"", "pdu"},
    };
    for (const auto& c : cases) {
        const auto entries = ListBytes(Build({c.entry}));
        ASSERT_TRUE(entries && entries->size() == 1) << c.entry.name;
        const ZipEntry& entry = entries->front();
        EXPECT_EQ(entry.storedName, c.entry.name);
        EXPECT_EQ(entry.name, c.name) << c.entry.name;
        EXPECT_EQ(Flags(entry), c.flags) << c.entry.name;
    }
}

TEST(CraftedArchives, Zip64FieldsAndEmptyArchivesAreRead) {
    for (bool zip64 : {false, true}) {
        const auto entries = ListBytes(Build(TwoFiles, zip64));
        ASSERT_TRUE(entries && entries->size() == 2) << zip64;
        EXPECT_EQ((*entries)[0].uncompressedSize, 5u);
        EXPECT_EQ((*entries)[1].uncompressedSize, 0u);
        EXPECT_EQ((*entries)[1].name, L"dir\\b.txt");
        const auto empty = ListBytes(Build({}, zip64));
        ASSERT_TRUE(empty) << zip64;
        EXPECT_TRUE(empty->empty());
    }
}

TEST(CraftedArchives, FlagsAndMethodAreKeptAsStored) {
    const std::uint16_t flags = ZipFlagEncrypted | ZipFlagUtf8Name | 0x0008;
    for (bool zip64 : {false, true}) {
        const auto entries = ListBytes(Build(
            {{.name = "a", .flags = flags, .method = 99}, {.name = "b", .method = 8}}, zip64));
        ASSERT_TRUE(entries && entries->size() == 2) << zip64;
        EXPECT_EQ((*entries)[0].flags, flags);
        EXPECT_EQ((*entries)[0].method, 99);
        EXPECT_EQ((*entries)[1].flags, 0);
        EXPECT_EQ((*entries)[1].method, 8);
    }
}

TEST(CraftedArchives, EndRecordIsFoundPastCommentsAndAppendedBytes) {
    std::string fakeEnd;  // an end record whose directory cannot lie below it
    Put(fakeEnd, {{0x06054b50, 4}, {0, 4}, {0x00010001, 4}, {0x7FFFFFFF, 8}, {0, 2}});
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"comment", Build(TwoFiles, false, "made for a test")},
        {"fake end record in the comment", Build(TwoFiles, false, "x" + fakeEnd + "y")},
        {"longest comment", Build(TwoFiles, false, std::string(0xFFFF, 'P'))},
        {"bytes appended", Build(TwoFiles) + "appended"},
        {"ZIP64 with comment", Build(TwoFiles, true, fakeEnd)},
    };
    for (const auto& c : cases) {
        const auto entries = ListBytes(c.bytes);
        ASSERT_TRUE(entries) << c.what;
        EXPECT_EQ(StoredNames(*entries), (std::vector<std::string>{"a.txt", "dir/b.txt"}))
            << c.what;
    }
}

TEST(DamagedArchives, EveryCutFails) {
    for (bool zip64 : {false, true}) {
        const std::string whole = Build(TwoFiles, zip64);
        for (std::size_t size = 0; size < whole.size(); ++size) {
            EXPECT_FALSE(ListBytes(whole.substr(0, size))) << zip64 << " first " << size;
            EXPECT_FALSE(ListBytes(whole.substr(whole.size() - size))) << zip64 << " last " << size;
        }
    }
}

TEST(DamagedArchives, ContradictionsFail) {
    // Places in Build's output: the end record, the ZIP64 record and the first central header.
    const auto end = [](const std::string& b) { return b.size() - EndRecordSize; };
    const auto record = [](const std::string& b) { return b.size() - Zip64TailSize; };
    const auto header = [&](const std::string& b) {
        return b.size() > Zip64TailSize && Get(b, record(b), 4) == 0x06064b50
                   ? Get(b, record(b) + 48, 8)
                   : Get(b, end(b) + 16, 4);
    };
    const struct {
        const char* what;
        bool zip64;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"one entry more", false, [&](auto& b) { Patch(b, end(b) + 8, 0x00030003, 4); }},
        {"one entry less", false, [&](auto& b) { Patch(b, end(b) + 8, 0x00010001, 4); }},
        {"counts differ", false, [&](auto& b) { Patch(b, end(b) + 8, 3, 2); }},
        {"second disk", false, [&](auto& b) { Patch(b, end(b) + 4, 1, 2); }},
        {"directory moved", false,
         [&](auto& b) { Patch(b, end(b) + 16, Get(b, end(b) + 16, 4) - 1, 4); }},
        {"directory outside", false, [&](auto& b) { Patch(b, end(b) + 16, 0xFFFFFF00, 4); }},
        {"directory longer", false,
         [&](auto& b) { Patch(b, end(b) + 12, Get(b, end(b) + 12, 4) + 1, 4); }},
        {"directory shorter", false,
         [&](auto& b) { Patch(b, end(b) + 12, Get(b, end(b) + 12, 4) - 1, 4); }},
        {"comment past the end", false, [&](auto& b) { Patch(b, end(b) + 20, 1, 2); }},
        {"header signature", false, [&](auto& b) { Patch(b, header(b), 0x02014b51, 4); }},
        {"name past the directory", false, [&](auto& b) { Patch(b, header(b) + 28, 0xFFFF, 2); }},
        {"local header at the directory", false,
         [&](auto& b) { Patch(b, header(b) + 42, header(b), 4); }},
        {"data into the directory", false,
         [&](auto& b) { Patch(b, header(b) + 20, header(b), 4); }},
        {"locator points past the end", true, [&](auto& b) { Patch(b, end(b) - 12, b.size(), 8); }},
        {"locator points at no record", true, [&](auto& b) { Patch(b, end(b) - 12, 0, 8); }},
        {"locator names disk 1", true, [&](auto& b) { Patch(b, end(b) - 16, 1, 4); }},
        {"4 billion entries", true,
         [&](auto& b) {
             Patch(b, record(b) + 24, 0xFFFFFFFF, 8);
             Patch(b, record(b) + 32, 0xFFFFFFFF, 8);
         }},
        {"ZIP64 counts differ", true, [&](auto& b) { Patch(b, record(b) + 24, 1, 8); }},
        {"ZIP64 directory outside", true,
         [&](auto& b) { Patch(b, record(b) + 48, 1ull << 40, 8); }},
        {"ZIP64 field short", true, [&](auto& b) { Patch(b, header(b) + 46 + 5 + 2, 8, 2); }},
        {"ZIP64 field missing", true, [&](auto& b) { Patch(b, header(b) + 46 + 5, 2, 2); }},
    };
    for (const auto& c : cases) {
        std::string bytes = Build(TwoFiles, c.zip64);
        ASSERT_TRUE(ListBytes(bytes)) << c.what;
        c.damage(bytes);
        EXPECT_FALSE(ListBytes(bytes)) << c.what;
    }
}

TEST(DamagedArchives, HugeCountsFailBeforeAnythingIsReadForThem) {
    std::string tail = Build({}, true);
    Patch(tail, 24, 0xFFFFFFFFull, 8);
    Patch(tail, 32, 0xFFFFFFFFull, 8);
    std::string plain = Build({});
    Patch(plain, 8, 0xFFFFFFFF, 4);
    for (const std::string& bytes : {tail, plain}) {
        std::uint64_t requested = 0;
        const auto entries = ListZipEntries(
            bytes.size(), [&](std::uint64_t offset, std::size_t size, std::string& out) {
                requested += size;
                out.assign(bytes, offset, size);
                return true;
            });
        EXPECT_FALSE(entries);
        EXPECT_LE(requested, 2 * bytes.size());
    }
}

TEST(DamagedArchives, ReaderFailuresFail) {
    const std::string bytes = Build(TwoFiles);
    const std::function<bool(std::uint64_t, std::size_t, std::string&)> readers[] = {
        [](std::uint64_t, std::size_t, std::string&) { return false; },
        [&](std::uint64_t offset, std::size_t size, std::string& out) {
            out.assign(bytes, offset, size - 1);
            return true;
        },
        [&](std::uint64_t offset, std::size_t size, std::string& out) {
            out.assign(bytes, offset, size);
            return offset + size == bytes.size();  // the tail only
        },
        nullptr,
    };
    for (const auto& reader : readers) EXPECT_FALSE(ListZipEntries(bytes.size(), reader));
}

ZipEntry File(const std::wstring& name, std::uint64_t size) {
    ZipEntry entry;
    entry.name = name;
    entry.nameIsPortable = true;
    entry.uncompressedSize = size;
    return entry;
}
ZipEntry Directory(const std::wstring& name) {
    ZipEntry entry = File(name, 0);
    entry.isDirectory = true;
    return entry;
}
// A name with a component that ends in a dot or a blank.
ZipEntry Trimmed(const std::wstring& name, std::uint64_t size, bool directory = false) {
    ZipEntry entry = File(name, size);
    entry.isDirectory = directory;
    entry.endsInDotOrBlank = true;
    return entry;
}
ZipEntry Other(const std::string& stored, bool directory = false) {
    ZipEntry entry;
    entry.storedName = stored;
    entry.isDirectory = directory;
    return entry;
}

TEST(FolderHoldsArchive, FollowsItsRules) {
    const FoundEntry dir{true, true, 0};
    const auto file = [](std::uint64_t size) { return FoundEntry{true, false, size}; };
    ZipEntry unsafe = File(L"..\\x", 1);
    unsafe.isUnsafe = true;
    ZipEntry link = File(L"ln", 10);
    link.isSymbolicLink = true;
    const std::vector<ZipEntry> tree = {File(L"a.txt", 3), Directory(L"d"), File(L"d\\b", 0)};
    const std::map<std::wstring, FoundEntry> whole = {
        {L"a.txt", file(3)}, {L"d", dir}, {L"d\\b", file(0)}};
    const auto without = [&](const std::wstring& name, std::optional<FoundEntry> instead = {}) {
        auto folder = whole;
        folder.erase(name);
        if (instead) folder[name] = *instead;
        return folder;
    };
    const struct {
        const char* what;
        std::vector<ZipEntry> entries;
        std::map<std::wstring, FoundEntry> folder;
        std::uint64_t files;
        bool holds;
    } cases[] = {
        {"all there", tree, whole, 2, true},
        {"a file short", tree, without(L"a.txt", file(2)), 2, false},
        {"a file missing", tree, without(L"a.txt"), 2, false},
        {"a file as a directory", tree, without(L"d\\b", dir), 2, false},
        {"a directory missing", tree, without(L"d"), 2, false},
        {"a directory as a file", tree, without(L"d", file(0)), 2, false},
        {"fewer files", tree, whole, 1, false},
        {"non-portable counted", {File(L"a", 1), Other("\xD6\xD0")}, {{L"a", file(1)}}, 1, false},
        {"non-portable there", {File(L"a", 1), Other("\xD6\xD0")}, {{L"a", file(1)}}, 2, true},
        {"non-portable twice", {Other("x/\xD6\xD0"), Other("X\\\xD6\xD0")}, {}, 1, true},
        {"non-portable folders", {Other("\xD6\xD0/", true)}, {}, 0, true},
        {"stored twice, first size", {File(L"a", 1), File(L"a", 2)}, {{L"a", file(1)}}, 1, true},
        {"stored twice, last size", {File(L"a", 1), File(L"a", 2)}, {{L"a", file(2)}}, 1, true},
        {"stored twice, other size", {File(L"a", 1), File(L"a", 2)}, {{L"a", file(3)}}, 1, false},
        {"ASCII case", {File(L"A.txt", 1), File(L"a.txt", 2)}, {{L"A.txt", file(2)}}, 1, true},
        {"unsafe and links", {unsafe, link}, {}, 0, true},
        {"file and directory", {File(L"a", 1), Directory(L"a")}, {}, 0, true},
        {"file and parent", {File(L"a", 1), File(L"a\\b", 2)}, {{L"a\\b", file(2)}}, 1, true},
        {"implied parents", {File(L"x\\y\\z", 1)}, {{L"x\\y\\z", file(1)}}, 1, true},
        // Names ending in a dot or a blank are never looked up (tar keeps the ending, the shell
        // drops it): only their files are counted, as they are without the ending.
        {"dot name counted", {Trimmed(L"LICENSE.", 4)}, {}, 1, true},
        {"dot name's file missing", {Trimmed(L"LICENSE.", 4)}, {{L"LICENSE.", file(4)}}, 0, false},
        {"dot folder's file", {Trimmed(L"d.", 0, true), Trimmed(L"d.\\a", 1)}, {}, 1, true},
        {"\"a\" and \"a.\" one file",
         {File(L"a", 1), Trimmed(L"A.", 2)},
         {{L"a", file(1)}},
         1,
         true},
        {"\"a.\" and \"a \" one file", {Trimmed(L"a.", 1), Trimmed(L"a ", 1)}, {}, 1, true},
        {"\"a.\" and \"b \" two files", {Trimmed(L"a.", 1), Trimmed(L"b ", 1)}, {}, 1, false},
        {"\"a\" and \"a.\" non-portable", {Other("\xD6\xD0"), Other("\xD6\xD0.")}, {}, 1, true},
    };
    for (const auto& c : cases) {
        const auto lookup = [&](const std::wstring& path) {
            const auto found = c.folder.find(path);
            return found == c.folder.end() ? FoundEntry{} : found->second;
        };
        EXPECT_EQ(FolderHoldsArchive(c.entries, lookup, c.files), c.holds) << c.what;
    }
}

// Archives and folders made by make-archives.
const fs::path Archives = ZIP_LISTING_ARCHIVES;

std::optional<std::vector<ZipEntry>> ListFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return ListZipEntries(fs::file_size(path),
                          [&](std::uint64_t offset, std::size_t size, std::string& out) {
                              out.resize(size);
                              file.seekg(static_cast<std::streamoff>(offset));
                              file.read(out.data(), static_cast<std::streamsize>(size));
                              return static_cast<bool>(file);
                          });
}

fs::path Utf8Path(std::wstring relative) {
    for (wchar_t& c : relative)
        if (c == L'\\') c = L'/';
    return EncodeUtf8(relative);
}

bool HoldsArchive(const fs::path& folder, const std::vector<ZipEntry>& entries) {
    const auto lookup = [&](const std::wstring& relative) {
        std::error_code error;
        const fs::path path = folder / Utf8Path(relative);
        const fs::file_status status = fs::status(path, error);
        if (!fs::exists(status)) return FoundEntry{};
        if (fs::is_directory(status)) return FoundEntry{true, true, 0};
        return FoundEntry{true, false, fs::file_size(path, error)};
    };
    // Links the unpackers made are left out: the archive's count leaves them out too.
    std::uint64_t files = 0;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file() && !item.is_symlink()) ++files;
    }
    return FolderHoldsArchive(entries, lookup, files);
}

struct Expected {
    std::string stored;
    std::wstring name;
    const char* flags;  // as Flags writes them
    std::uint64_t size;
};

// The tree every tool archived; the UTF-8 names are portable where the tool flags them, the
// GBK one nowhere.
std::vector<Expected> Tree(const std::string& prefix, bool utf8Flagged, bool link) {
    std::vector<Expected> rows = {
        {"readme.txt", L"readme.txt", "p", 13},
        {"empty.txt", L"empty.txt", "p", 0},
        {"docs/", L"docs", "pd", 0},
        {"docs/guide.md", L"docs\\guide.md", "p", 1000},
        {"docs/empty-dir/", L"docs\\empty-dir", "pd", 0},
        {"数据/", utf8Flagged ? L"数据" : L"", utf8Flagged ? "pd" : "d", 0},
        {"数据/说明.txt", utf8Flagged ? L"数据\\说明.txt" : L"", utf8Flagged ? "p" : "", 7},
    };
    if (link) {
        rows.push_back({"link", L"link", "pl", 10});
        rows.push_back({"\xD6\xD0\xCE\xC4.txt", L"", "", 3});
    }
    for (Expected& row : rows) row.stored = prefix + row.stored;
    return rows;
}

TEST(ToolArchives, ListingsMatchTheTree) {
    std::vector<Expected> bsdtar = Tree("./", true, true);
    bsdtar.push_back({"./", L"", "pdu", 0});
    std::vector<Expected> python = Tree("", true, false);
    python.push_back({"../escape.txt", L"..\\escape.txt", "ptu", 1});
    python.push_back({"/absolute.txt", L"absolute.txt", "pu", 1});
    python.push_back({"C:drive.txt", L"C:drive.txt", "pu", 1});
    const struct {
        const char* archive;
        std::vector<Expected> rows;
    } cases[] = {
        {"infozip.zip", Tree("", false, true)},
        {"7z.zip", Tree("", true, true)},
        {"bsdtar.zip", bsdtar},
        {"python.zip", python},
    };
    for (auto c : cases) {
        auto entries = ListFile(Archives / c.archive);
        ASSERT_TRUE(entries) << c.archive;
        ASSERT_EQ(entries->size(), c.rows.size()) << c.archive;
        std::sort(entries->begin(), entries->end(),
                  [](const auto& a, const auto& b) { return a.storedName < b.storedName; });
        std::sort(c.rows.begin(), c.rows.end(),
                  [](const auto& a, const auto& b) { return a.stored < b.stored; });
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const ZipEntry& entry = (*entries)[i];
            const Expected& row = c.rows[i];
            EXPECT_EQ(entry.storedName, row.stored) << c.archive;
            EXPECT_EQ(entry.name, row.name) << c.archive << " " << row.stored;
            EXPECT_EQ(Flags(entry), row.flags) << c.archive << " " << row.stored;
            EXPECT_EQ(entry.uncompressedSize, row.size) << c.archive << " " << row.stored;
        }
    }
}

TEST(ToolArchives, Zip64ArchivesAreListedWhole) {
    const auto python = ListFile(Archives / "many-python.zip");
    ASSERT_TRUE(python);
    ASSERT_EQ(python->size(), 70000u);
    for (std::size_t i = 0; i < python->size(); ++i) {
        const std::wstring number = std::to_wstring(i);
        ASSERT_EQ((*python)[i].name,
                  L"many\\" + std::wstring(5 - number.size(), L'0') + number + L".txt");
        ASSERT_EQ((*python)[i].uncompressedSize, number.size());
    }
    const auto bsdtar = ListFile(Archives / "many-bsdtar.zip");
    ASSERT_TRUE(bsdtar);
    ASSERT_EQ(bsdtar->size(), 70000u);
    EXPECT_EQ(bsdtar->back().name, L"many\\f69999");

    const auto big = ListFile(Archives / "big-python.zip");
    ASSERT_TRUE(big && big->size() == 1);
    EXPECT_EQ(big->front().name, L"big.bin");
    EXPECT_EQ(big->front().uncompressedSize, 4ull * 1024 * 1024 * 1024 + 1);
    EXPECT_TRUE(HoldsArchive(Archives / "big", *big));
}

TEST(ToolArchives, FolderCheckFollowsRealUnpacking) {
    const auto remove = [](const fs::path& path) { return fs::remove_all(path) > 0; };
    const struct {
        const char* what;
        std::function<bool(const fs::path&)> cut;  // false: nothing to cut in this folder
        bool holds;
    } cuts[] = {
        {"nothing", [](const fs::path&) { return true; }, true},
        {"file added", [](const fs::path& d) { return !!std::ofstream(d / "extra.txt"); }, true},
        {"link removed", [&](const fs::path& d) { return remove(d / "link"); }, true},
        {"unsafe names' files removed",
         [&](const fs::path& d) {
             return remove(d / "escape.txt") + remove(d / "absolute.txt") +
                        remove(d / "C:drive.txt") >
                    0;
         },
         true},
        {"readme.txt removed", [&](const fs::path& d) { return remove(d / "readme.txt"); }, false},
        {"readme.txt renamed",
         [](const fs::path& d) {
             fs::rename(d / "readme.txt", d / "other.txt");
             return true;
         },
         false},
        {"guide.md a byte short",
         [](const fs::path& d) {
             fs::resize_file(d / "docs/guide.md", 999);
             return true;
         },
         false},
        {"empty.txt a directory",
         [&](const fs::path& d) {
             return remove(d / "empty.txt") && fs::create_directory(d / "empty.txt");
         },
         false},
        {"empty directory removed", [&](const fs::path& d) { return remove(d / "docs/empty-dir"); },
         false},
        {"说明.txt removed", [&](const fs::path& d) { return remove(d / "数据/说明.txt"); }, false},
        {"GBK name removed", [&](const fs::path& d) { return remove(d / "\xD6\xD0\xCE\xC4.txt"); },
         false},
    };
    const struct {
        const char* folder;
        const char* archive;
    } folders[] = {
        {"infozip-by-bsdtar", "infozip.zip"},
        {"7z-by-bsdtar", "7z.zip"},
        {"bsdtar-by-7z", "bsdtar.zip"},
        {"python-by-python", "python.zip"},
    };
    const fs::path scratch = Archives.parent_path() / "scratch";
    for (const auto& f : folders) {
        const auto entries = ListFile(Archives / f.archive);
        ASSERT_TRUE(entries) << f.archive;
        for (const auto& c : cuts) {
            fs::remove_all(scratch);
            fs::copy(Archives / "unpacked" / f.folder, scratch,
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            const bool cut = c.cut(scratch);
            EXPECT_EQ(HoldsArchive(scratch, *entries), cut ? c.holds : true)
                << f.folder << ": " << c.what;
        }
    }
    fs::remove_all(scratch);
}

}  // namespace
