// The package check's rules on central-directory entries: what each kind of entry is told as,
// and where the program the document names is looked for.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/config-check/package_rules.h"
#include "names/utf8.h"

namespace {

ZipEntry File(const std::string& name, std::uint16_t method = 8, std::uint16_t flags = 0) {
    ZipEntry entry;
    entry.storedName = name;
    entry.method = method;
    entry.flags = flags;
    entry.uncompressedSize = 10;
    return entry;
}

ZipEntry Folder(const std::string& name) {
    ZipEntry entry = File(name, 0);
    entry.isDirectory = true;
    entry.uncompressedSize = 0;
    return entry;
}

ZipEntry Link(const std::string& name) {
    ZipEntry entry = File(name, 0);
    entry.isSymbolicLink = true;
    return entry;
}

struct Row {
    const char* name;
    std::vector<ZipEntry> entries;
    std::vector<std::string> errors = {};    // ids of checks that must fail the package
    std::vector<std::string> warnings = {};  // ids of checks that must warn
    std::vector<std::wstring> quotes = {};   // entry names and counts that some finding shows
    bool applicationFound = true;
    bool clean = false;  // no error and no warning at all
    std::wstring application = L"LumaDesk.exe";
};

bool Has(const std::vector<Finding>& findings, const std::string& id) {
    for (const Finding& finding : findings) {
        if (finding.id == id) return true;
    }
    return false;
}

bool Quotes(const Findings& found, const std::wstring& part) {
    for (const std::vector<Finding>* list : {&found.errors, &found.warnings}) {
        for (const Finding& finding : *list) {
            if (finding.text.find(part) != std::wstring::npos) return true;
        }
    }
    return false;
}

TEST(PackageRulesTest, TellsWhatTheUnpackersWouldMakeOfEachEntry) {
    const std::string longName(215, 'n');  // with C:\Users\<20>\Documents\p\1\: 259
    const std::vector<Row> rows = {
        {"program at the root, letter case aside",
         {File("lumadesk.EXE"), Folder("data/"), File("data/a.txt")},
         {},
         {},
         {},
         true,
         true},
        {"program under a path that application_name gives",
         {File("bin/LumaDesk.exe")},
         {},
         {},
         {},
         true,
         true,
         L"bin\\LumaDesk.exe"},
        {"program is a folder",
         {Folder("LumaDesk.exe/"), File("LumaDesk.exe/x")},
         {"application-is-folder"},
         {},
         {},
         false},
        {"the folder zipped instead of its contents",
         {Folder("LumaDesk/"), File("LumaDesk/LumaDesk.exe"), File("LumaDesk/data/a.txt")},
         {"application-in-top-folder"},
         {},
         {L"\"LumaDesk\""},
         false},
        {"program in a subfolder",
         {File("readme.txt"), File("bin/LumaDesk.exe")},
         {"application-elsewhere"},
         {},
         {L"\"bin/LumaDesk.exe\""},
         false},
        {"program missing", {File("readme.txt")}, {"application-missing"}, {}, {}, false},
        {"program is a link", {Link("LumaDesk.exe")}, {"entry-symbolic-link"}, {}, {}, false},
        {"folders that differ in case are one folder",
         {File("LumaDesk.exe"), Folder("Data/"), Folder("data/"), File("DATA/x")},
         {},
         {},
         {},
         true,
         true},
        {"files that differ in case, or not at all",
         {File("LumaDesk.exe"), File("a.txt"), File("A.TXT"), File("b"), File("b")},
         {"entry-letter-case", "entry-twice"},
         {},
         {L"\"a.txt\" and \"A.TXT\"", L"\"b\" and \"b\""}},
        {"encryption and methods",
         {File("LumaDesk.exe"), File("locked", 8, 1), File("aes", 99), File("b", 12), File("s", 0)},
         {"entry-encrypted", "entry-method"},
         {},
         {L"2 entries, the first \"locked\"", L"BZIP2 (method 12)"}},
        {"entries with one method are told together",
         {File("LumaDesk.exe", 14), File("a", 14), File("b", 14)},
         {"entry-method"},
         {},
         {L"3 entries, the first \"LumaDesk.exe\"", L"LZMA (method 14)"}},
        {"names outside ASCII and the UTF-8 flag",
         {File("LumaDesk.exe"), File("\xE4\xB8\xAD.txt", 8, 1u << 11), File("\xD6\xD0.txt")},
         {},
         {"entry-name-code-page"},
         {L"\"\\xD6\\xD0.txt\""}},
        {"paths that leave the install folder",
         {File("LumaDesk.exe"), File("/etc/x"), File("\\x"), File("d:x"), File("a/../../x")},
         {"entry-absolute", "entry-drive-letter", "entry-parent-component"},
         {},
         {L"2 entries, the first \"/etc/x\"", L"\"d:x\"", L"\"a/../../x\""}},
        {"names Windows cannot hold",
         {File("LumaDesk.exe"), File("a|b"), File("tab\tx"), File("a /b"), File("dots..."),
          File("sub/COM\xC2\xB9.txt"), File("Lpt9"), File(std::string(256, 'x'))},
         {"entry-forbidden-character", "entry-ends-in-dot-or-blank", "entry-device",
          "entry-too-long"},
         {},
         {L"2 entries, the first \"a|b\"", L"2 entries, the first \"a /b\"",
          L"\"sub/COM\x00B9.txt\"", L"COM\x00B9", L"\"Lpt9\"", L"LPT9"}},
        {"names of the installer's own files at the root, as Windows reads them",
         {File("LumaDesk.exe"), File("./PACKAGE.ZIP"), Folder("extract_temp.vbs /"),
          File("Extract_Temp.VBS. /x")},
         {"entry-installer-file"},
         {},
         {L"Entry \"./PACKAGE.ZIP\": at the root, the name package.zip",
          L"2 entries, the first \"extract_temp.vbs /\": at the root, the name extract_temp.vbs"}},
        {"the installer's names below the root or with more to them",
         {File("LumaDesk.exe"), File("data/package.zip"), File("package.zip.bak"),
          File("extract_temp.vb"), File("xpackage.zip")},
         {},
         {},
         {},
         true,
         true},
        {"an install path that just fits",
         {File("LumaDesk.exe"), File(longName)},
         {},
         {},
         {},
         true,
         true},
        {"an install path one character over",
         {File("LumaDesk.exe"), File(longName + "n"), File("a/" + longName)},
         {},
         {"entry-path-too-long"},
         {L"2 entries, the longest \"a/nnn", L"261", L"259"}},
    };
    InstallConfig config;
    config.package_name = L"p";
    config.version = L"1";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        config.application_name = row.application;
        PackageSummary summary;
        const Findings found = CheckPackageEntries(row.entries, config, summary);
        std::wstring all;
        for (const Finding& error : found.errors) all += L"error: " + error.text + L"\n";
        for (const Finding& warning : found.warnings) all += warning.text + L"\n";
        SCOPED_TRACE(EncodeUtf8(all));
        for (const std::string& id : row.errors) EXPECT_TRUE(Has(found.errors, id)) << id;
        for (const std::string& id : row.warnings) EXPECT_TRUE(Has(found.warnings, id)) << id;
        for (const std::wstring& part : row.quotes)
            EXPECT_TRUE(Quotes(found, part)) << EncodeUtf8(part);
        EXPECT_TRUE(!row.clean || all.empty());
        EXPECT_EQ(summary.applicationFound, row.applicationFound);
    }
}

TEST(PackageRulesTest, SumsUpFilesAndTheirSizes) {
    InstallConfig config;
    PackageSummary summary;
    ZipEntry big = File("big");
    big.uncompressedSize = std::uint64_t{5} << 32;
    const Findings found = CheckPackageEntries({Folder("a/"), File("a/b"), big}, config, summary);
    EXPECT_EQ(summary.entries, 3u);
    EXPECT_EQ(summary.files, 2u);
    EXPECT_EQ(summary.bytes, (std::uint64_t{5} << 32) + 10);
    EXPECT_FALSE(summary.applicationFound);  // no application_name: nothing to look for
    EXPECT_TRUE(found.errors.empty());
}

}  // namespace
