// One table of stored names, run through the installer's listing and through config-check:
// where the installer refuses a name (no place below a Windows folder), config-check fails the
// package for it, and where the installer takes a name that ends in a dot or a blank for
// another, config-check says so; neither judges a name by rules of its own.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "extract/zip_listing.h"
#include "names/names.h"
#include "names/utf8.h"
#include "tools/config-check/package_rules.h"

namespace {

// Little-endian; bytes past the eighth are zero (a run of zero fields is written at once, and a
// shift by 64 or more is undefined).
void Put(std::string& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xFF : 0);
}

// A ZIP archive of stored entries with these names (empty files, the UTF-8 flag on names
// outside ASCII unless codePage).
std::string Archive(const std::vector<std::string>& names, bool codePage = false) {
    std::string bytes, directory;
    for (const std::string& name : names) {
        bool ascii = true;
        for (const char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        const std::uint64_t flags = ascii || codePage ? 0 : ZipFlagUtf8Name;
        const std::uint64_t at = bytes.size();
        Put(bytes, 0x04034b50, 4), Put(bytes, 20, 2), Put(bytes, flags, 2), Put(bytes, 0, 18);
        Put(bytes, name.size(), 2), Put(bytes, 0, 2);
        bytes += name;
        Put(directory, 0x02014b50, 4), Put(directory, 20, 4), Put(directory, flags, 2);
        Put(directory, 0, 18), Put(directory, name.size(), 2), Put(directory, 0, 12);
        Put(directory, at, 4);
        directory += name;
    }
    const std::uint64_t directoryAt = bytes.size();
    bytes += directory;
    Put(bytes, 0x06054b50, 4), Put(bytes, 0, 4), Put(bytes, names.size(), 2);
    Put(bytes, names.size(), 2), Put(bytes, directory.size(), 4), Put(bytes, directoryAt, 4);
    Put(bytes, 0, 2);
    return bytes;
}

std::vector<ZipEntry> List(const std::string& bytes) {
    const std::optional<std::vector<ZipEntry>> entries =
        ListZipEntries(bytes.size(), [&](std::uint64_t offset, std::size_t size, std::string& out) {
            if (offset > bytes.size() || size > bytes.size() - offset) return false;
            out.assign(bytes, offset, size);
            return true;
        });
    return entries ? *entries : std::vector<ZipEntry>{};
}

// The installer's reading: p portable name, d folder, t ends in a dot or a blank (counted, not
// looked up), u no place below a folder (neither looked up nor counted).
std::string Verdict(const ZipEntry& entry) {
    return std::string(entry.nameIsPortable ? "p" : "") + (entry.isDirectory ? "d" : "") +
           (entry.endsInDotOrBlank ? "t" : "") + (entry.isUnsafe ? "u" : "");
}

// What config-check tells of the entry alone (no program to look for): its findings' ids.
std::set<std::string> Told(const ZipEntry& entry) {
    PackageSummary summary;
    const Findings found = CheckPackageEntries({entry}, InstallConfig{}, summary);
    std::set<std::string> ids;
    for (const std::vector<Finding>* list : {&found.errors, &found.warnings}) {
        for (const Finding& finding : *list) ids.insert(finding.id);
    }
    return ids;
}

// The ids of config-check's findings that refuse a name (a name that ends in a dot or a blank
// is taken, under another name where the shell and Expand-Archive unpack).
const std::set<std::string> Refusals = {"entry-empty-name",
                                        "entry-absolute",
                                        "entry-drive-letter",
                                        "entry-parent-component",
                                        "entry-forbidden-character",
                                        "entry-dots-and-blanks-alone",
                                        "entry-device",
                                        "entry-too-long"};

TEST(NamesTable, TheInstallerAndConfigCheckAgree) {
    const struct {
        std::string stored;
        std::wstring name;  // as the installer looks it up
        const char* verdict;
        std::set<std::string> told;
        bool codePage = false;
    } rows[] = {
        {"docs/a.txt", L"docs\\a.txt", "p", {}},
        {"./docs/a.txt", L"docs\\a.txt", "p", {}},
        {"a/./b", L"a\\b", "p", {}},
        {"./", L"", "pdu", {}},  // the folder unpacked into: nothing to place, nothing wrong
        {".", L"", "pu", {}},
        {"", L"", "pu", {"entry-empty-name"}},
        {"../a.txt", L"..\\a.txt", "ptu", {"entry-parent-component"}},
        {"a/../b", L"a\\..\\b", "ptu", {"entry-parent-component"}},
        {"/etc/x", L"etc\\x", "pu", {"entry-absolute"}},
        {"C:x.txt", L"C:x.txt", "pu", {"entry-drive-letter"}},
        {"a?.txt", L"a?.txt", "pu", {"entry-forbidden-character"}},
        {"a\x01", L"a\x01", "pu", {"entry-forbidden-character"}},
        {"con", L"con", "pu", {"entry-device"}},
        {"docs/NUL.txt", L"docs\\NUL.txt", "pu", {"entry-device"}},
        {"com1 .log", L"com1 .log", "pu", {"entry-device"}},
        {"COM0", L"COM0", "pu", {"entry-device"}},
        {"LPT0.txt", L"LPT0.txt", "pu", {"entry-device"}},
        {"COM\xC2\xB9", L"COM\x00B9", "pu", {"entry-device"}},
        {"lpt\xC2\xB3.txt", L"lpt\x00B3.txt", "pu", {"entry-device"}},
        {"COM10", L"COM10", "p", {}},
        {"CONSOLE", L"CONSOLE", "p", {}},
        {"LICENSE.", L"LICENSE.", "pt", {"entry-ends-in-dot-or-blank"}},
        {"notes ", L"notes ", "pt", {"entry-ends-in-dot-or-blank"}},
        {"docs. /a.txt", L"docs. \\a.txt", "pt", {"entry-ends-in-dot-or-blank"}},
        {"...", L"...", "ptu", {"entry-ends-in-dot-or-blank", "entry-dots-and-blanks-alone"}},
        {"a/ /b", L"a\\ \\b", "ptu", {"entry-ends-in-dot-or-blank", "entry-dots-and-blanks-alone"}},
        {std::string(255, 'x'), std::wstring(255, L'x'), "p", {"entry-path-too-long"}},
        {std::string(256, 'x'),
         std::wstring(256, L'x'),
         "pu",
         {"entry-too-long", "entry-path-too-long"}},
        {"\xE6\x95\xB0\xE6\x8D\xAE/\xE8\xAF\xB4\xE6\x98\x8E.txt",
         L"\x6570\x636E\\\x8BF4\x660E.txt",
         "p",
         {}},
        {"\xD6\xD0 ", L"", "t", {"entry-ends-in-dot-or-blank", "entry-name-code-page"}, true},
        {"NUL.\xD6", L"", "u", {"entry-device", "entry-name-code-page"}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored);
        const std::vector<ZipEntry> entries = List(Archive({row.stored}, row.codePage));
        ASSERT_EQ(entries.size(), 1u);
        const ZipEntry& entry = entries.front();
        EXPECT_EQ(entry.name, row.name);
        EXPECT_EQ(Verdict(entry), row.verdict);
        const std::set<std::string> told = Told(entry);
        EXPECT_EQ(told, row.told);
        // The agreement itself, whatever the row expects.
        bool refused = false;
        for (const std::string& id : told) refused = refused || Refusals.count(id) != 0;
        const bool folderItself =
            ReadStoredName(DecodeUtf8AsWindowsDoes(row.stored)).namesTheFolder;
        EXPECT_EQ(entry.isUnsafe && !folderItself, refused);
        if (!entry.isUnsafe) {
            EXPECT_EQ(entry.endsInDotOrBlank, told.count("entry-ends-in-dot-or-blank") != 0);
        }
    }
}

// What `bsdtar -cf package.zip .` writes: every name after "./", and "./" itself first.
TEST(NamesTable, DotSlashPrefixedPackageIsItsContents) {
    const std::vector<ZipEntry> entries =
        List(Archive({"./", "./LumaDesk.exe", "./data/", "./data/a.txt"}));
    ASSERT_EQ(entries.size(), 4u);
    InstallConfig config;
    config.package_name = L"p";
    config.version = L"1";
    config.application_name = L"LumaDesk.exe";
    PackageSummary summary;
    const Findings found = CheckPackageEntries(entries, config, summary);
    EXPECT_TRUE(found.errors.empty()) << EncodeUtf8(found.errors.front().text);
    EXPECT_TRUE(summary.applicationFound);
    std::set<std::wstring> lookedUp;
    EXPECT_TRUE(FolderHoldsArchive(
        entries,
        [&](const std::wstring& path) {
            lookedUp.insert(path);
            return FoundEntry{true, path == L"data", 0};
        },
        2));
    EXPECT_EQ(lookedUp, (std::set<std::wstring>{L"LumaDesk.exe", L"data", L"data\\a.txt"}));
}

}  // namespace
