// The deployer's checker: which pitfalls it names for a document, and that it names none where
// the installer reads what the document says.

#include <gtest/gtest.h>

#include "tests/config/worker_stack.h"

#include <string>
#include <vector>

#include "config/regex_limit.h"
#include "names/utf8.h"
#include "tools/config-check/check.h"

namespace {

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

struct Row {
    const char* name;
    std::string document;                   // UTF-8, as served
    std::vector<std::string> warnings;      // ids of checks that must warn
    std::vector<std::string> absent;        // ids of checks that may neither warn nor fail
    std::vector<std::string> errors = {};   // ids of checks that must fail the release
    std::vector<std::wstring> quotes = {};  // values from the document that some finding names
};

bool Has(const std::vector<Finding>& findings, const std::string& id) {
    for (const Finding& finding : findings) {
        if (finding.id == id) return true;
    }
    return false;
}

bool Quotes(const ConfigCheck& check, const std::wstring& value) {
    for (const std::vector<Finding>* list : {&check.warnings, &check.errors}) {
        for (const Finding& finding : *list) {
            if (finding.text.find(value) != std::wstring::npos) return true;
        }
    }
    return false;
}

void ExpectPitfalls(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ConfigCheck check = CheckConfigDocument(row.document);
        std::wstring all;
        for (const Finding& warning : check.warnings)
            all += Wide(warning.id) + L": " + warning.text + L"\n";
        for (const Finding& error : check.errors)
            all += L"error " + Wide(error.id) + L": " + error.text + L"\n";
        SCOPED_TRACE(EncodeUtf8(all));
        for (const std::string& id : row.warnings) EXPECT_TRUE(Has(check.warnings, id)) << id;
        for (const std::string& id : row.errors) EXPECT_TRUE(Has(check.errors, id)) << id;
        for (const std::string& id : row.absent) {
            EXPECT_FALSE(Has(check.warnings, id)) << id;
            EXPECT_FALSE(Has(check.errors, id)) << id;
        }
        for (const std::wstring& value : row.quotes)
            EXPECT_TRUE(Quotes(check, value)) << EncodeUtf8(value);
    }
}

TEST(ConfigPitfallsTest, CleanCompactDocumentHasNone) {
    const ConfigCheck check = CheckConfigDocument(
        R"({"package_name":"lumadesk","windows":{"application_name":"LumaDesk.exe",)"
        R"("desktop_shortcut":"LumaDesk","version":"2.4.1","url":"https://cdn.example.com/a.zip",)"
        R"("sign":"3f2a9c"},"mac":{"url":"https://cdn.example.com/m.zip"}})");
    EXPECT_EQ(check.warnings, std::vector<Finding>{});
    EXPECT_EQ(check.errors, std::vector<Finding>{});
    EXPECT_FALSE(check.fellBack);
}

TEST(ConfigPitfallsTest, NamesWhatTheInstallerMisreads) {
    ExpectPitfalls({
        {"escaped slashes in url",
         R"({"package_name":"p","windows":{"application_name":"a.exe","desktop_shortcut":"A","version":"1","url":"https:\/\/cdn\/a.zip"}})",
         {"url-escaped-slash"},
         {"url-backslash"}},
        {"other backslash in url",
         R"({"package_name":"p","windows":{"url":"https://cdn/a\\b.zip"}})",
         {"url-backslash"},
         {"url-escaped-slash"}},
        {"closing brace in a windows value",
         R"({"package_name":"p","windows":{"application_name":"a}b","url":"u"}})",
         {"brace-in-windows-string", "value-not-read"},
         {},
         {},
         {L"\"application_name\"", L"\"}\"", L"\"u\""}},
        {"opening brace in a windows value",
         R"({"package_name":"p","windows":{"sign":"{{","url":"u"}})",
         {"brace-in-windows-string", "value-not-read"},
         {},
         {},
         {L"\"sign\"", L"\"{\""}},
        {"braces outside windows are harmless",
         R"({"package_name":"p{}","notes":"}","windows":{"application_name":"a.exe","desktop_shortcut":"A","version":"1","url":"u"}})",
         {},
         {"brace-in-windows-string"}},
        {"empty value before a later one",
         R"({"package_name":"p","windows":{"url":"","url":"u2"}})",
         {"empty-then-later-value"},
         {"value-not-read"},
         {},
         {L"\"u2\""}},
        {"two different values",
         R"({"package_name":"p1","package_name":"p2","windows":{"url":"u"}})",
         {"repeated-key"},
         {},
         {},
         {L"\"p1\"", L"\"p2\""}},
        {"wrong letter case",
         R"({"Package_Name":"p","Windows":{"URL":"u"},"windows":{"Version":"1"}})",
         {"key-letter-case"},
         {},
         {},
         {L"\"Package_Name\"", L"\"Windows\"", L"\"URL\"", L"\"Version\""}},
        {"number version",
         R"({"package_name":"p","windows":{"version":2.4,"url":"u"}})",
         {"not-a-string", "version-empty"},
         {},
         {},
         {L"2.4"}},
        {"object and array values",
         R"({"package_name":{"name":"p"},"windows":{"url":["u"]}})",
         {"not-a-string"},
         {},
         {},
         {L"\"package_name\"", L"\"url\""}},
        {"url only outside windows",
         R"({"package_name":"p","url":"u","windows":{"version":"1"}})",
         {"only-outside-windows"},
         {},
         {"url-missing"}},
        {"url read from a nested object first",
         R"({"package_name":"p","windows":{"mirror":{"url":"m"},"url":"u"}})",
         {"value-read-elsewhere"},
         {},
         {},
         {L"\"m\"", L"\"u\""}},
        {"escaped quotation mark",
         R"({"package_name":"p","windows":{"desktop_shortcut":"say \"hi\"","url":"u"}})",
         {"escaped-quote"},
         {"value-read-elsewhere"},
         {},
         {L"\"say \\\""}},
        {"no windows object",
         R"({"package_name":"p"})",
         {"no-windows-object"},
         {},
         {"url-missing"}},
        {"two windows objects",
         R"({"package_name":"p","windows":{"url":"u"},"windows":{"version":"1"}})",
         {"two-windows-objects"},
         {}},
        {"error page",
         "<html><body>502 Bad Gateway</body></html>",
         {"not-json"},
         {},
         {"package-name-missing", "url-missing"}},
        {"byte order mark is fine",
         "\xEF\xBB\xBF{\"package_name\":\"p\",\"windows\":{\"application_name\":\"a.exe\","
         "\"desktop_shortcut\":\"A\",\"version\":\"1\",\"url\":\"u\"}}",
         {},
         {"not-json"}},
        {"invalid UTF-8 in a value",
         "{\"package_name\":\"p\xC3\",\"windows\":{\"url\":\"u\"}}",
         {"invalid-utf8"},
         {}},
        {"names unfit for Windows",
         R"({"package_name":"a/b","windows":{"application_name":"x:y.exe","desktop_shortcut":"s\\t ","version":"..\\1","url":"u"}})",
         {"name-forbidden-character", "name-backslash", "blank-at-end"},
         {"url-escaped-slash", "url-backslash", "url-blank"},
         {},
         {L"\"/\"", L"\":\""}},
        {"control character in a value",
         "{\"package_name\":\"p\",\"windows\":{\"url\":\"u\n\"}}",
         {"control-character"},
         {}},
        {"optional names empty",
         R"({"package_name":"p","windows":{"application_name":"a.exe","url":"u"}})",
         {"version-empty", "shortcut-empty"},
         {"application-name-empty"}},
        {"pretty document: the fallback would differ",
         "{\n  \"package_name\": \"p\",\n  \"windows\": {\"application_name\": \"a.exe\", "
         "\"desktop_shortcut\": \"A\", \"version\": \"1\", \"url\": \"u\"}\n}\n",
         {"fallback-reads-differently"},
         {"fallback"},
         {},
         {L"(package_name, application_name, desktop_shortcut, version, url)"}},
        {"nested object: the fallback would miss later members",
         R"({"package_name":"p","windows":{"application_name":"a.exe","extra":{},"desktop_shortcut":"A","version":"1","url":"u"}})",
         {"fallback-reads-differently"},
         {},
         {},
         {L"(desktop_shortcut, version, url)"}},
    });
}

// A compact document with these values (UTF-8) and a sign.
std::string Document(const std::string& packageName, const std::string& application,
                     const std::string& shortcut, const std::string& version,
                     const std::string& url) {
    return "{\"package_name\":\"" + packageName + "\",\"windows\":{\"application_name\":\"" +
           application + "\",\"desktop_shortcut\":\"" + shortcut + "\",\"version\":\"" + version +
           "\",\"url\":\"" + url + "\",\"sign\":\"s\"}}";
}

TEST(ConfigPitfallsTest, NamesWindowsOrTheNetworkWouldNotTake) {
    const std::string good = "https://cdn.example.com/a.zip";
    const std::string a255(251, 'a');
    ExpectPitfalls({
        {"relative url",
         Document("p", "a.exe", "A", "1", "packages/a.zip"),
         {"url-not-absolute"},
         {"url-http"},
         {},
         {L"\"packages/a.zip\""}},
        {"http url",
         Document("p", "a.exe", "A", "1", "HTTP://cdn.example.com/a.zip"),
         {"url-http"},
         {"url-not-absolute"}},
        {"blank inside the url",
         Document("p", "a.exe", "A", "1", "https://cdn.example.com/my app.zip"),
         {"url-blank"},
         {"blank-at-end"},
         {},
         {L"U+0020"}},
        {"ideographic space after the url",
         Document("p", "a.exe", "A", "1", good + "\xE3\x80\x80"),
         {"blank-at-end"},
         {"url-blank"},
         {},
         {L"U+3000"}},
        {"blanks of other kinds around names",
         Document("\xC2\xA0p", "a.exe", "A\xE2\x80\x8B", "1\t", good),
         {"blank-at-end"},
         {},
         {},
         {L"U+00A0", L"U+200B", L"U+0009"}},
        {"folders that leave Documents\\package_name\\version",
         Document("..", "a.exe", "A", "2/../../x", good),
         {"name-leaves-folder"},
         {},
         {},
         {L"\"..\"", L"\"2/../../x\""}},
        {"one dot is a component too",
         Document("p", "a.exe", "A", ".", good),
         {"name-leaves-folder"},
         {},
         {},
         {L"\".\""}},
        {"device names",
         Document("con", "nul.exe", "Aux", "LPT1.old", good),
         {},
         {},
         {"name-device"},
         {L"\"con\"", L"CON", L"\"nul.exe\"", L"NUL", L"\"Aux\"", L"AUX", L"\"LPT1.old\"",
          L"LPT1"}},
        {"device names deeper down and in superscript",
         Document("p", "bin/COM3 .exe", "A", "1\\com\xC2\xB9", good),
         {},
         {},
         {"name-device"},
         {L"COM3", L"COM\x00B9"}},
        {"names that only look like devices",
         Document("CONSOLE", "nul_.exe", "LPT", "COM10", good),
         {},
         {"name-device"}},
        {"names too long for Windows",
         Document("p", a255 + "a.exe", a255 + "a", "1", good),
         {"name-too-long"},
         {},
         {},
         {L"256"}},
        {"names just short enough",
         Document("p", a255 + ".exe", a255, "1", good),
         {},
         {"name-too-long"}},
        {"shortcut with .lnk, program without .exe",
         Document("p", "LumaDesk", "LumaDesk.LNK", "1", good),
         {"shortcut-ends-in-lnk", "application-not-exe"},
         {},
         {},
         {L"\"LumaDesk.LNK.lnk\""}},
        {"letter case of .exe does not matter",
         Document("p", "LumaDesk.EXE", "LumaDesk", "1", good),
         {},
         {"application-not-exe", "shortcut-ends-in-lnk"}},
    });
}

void ExplainsTheFallbackOnWorkerStack();

TEST(ConfigPitfallsTest, ExplainsTheFallback) {
    // Values near the bound recurse deeply: run where the installer's worker would.
    ASSERT_TRUE(RunOnWorkerStack([] { ExplainsTheFallbackOnWorkerStack(); }));
}

void ExplainsTheFallbackOnWorkerStack() {
    const std::string longValue(RegexMatchLimit, 'S');
    ExpectPitfalls({
        {"long sign in a pretty document",
         "{\"package_name\": \"p\", \"windows\": {\"url\": \"u\", \"sign\": \"" + longValue +
             "\"}}",
         {"fallback"},
         {"fallback-reads-differently"},
         {"package-name-missing"},
         {std::to_wstring(RegexMatchLimit)}},
    });
    const std::string nearlyLong(RegexMatchLimit - 20, 'S');
    ExpectPitfalls({
        {"long sign, still searched",
         "{\"package_name\":\"p\",\"windows\":{\"url\":\"u\",\"sign\":\"" + nearlyLong + "\"}}",
         {"member-near-search-limit"},
         {"fallback"},
         {},
         {L"\"sign\"", std::to_wstring(RegexMatchLimit - 11)}},
    });
    const ConfigCheck check = CheckConfigDocument(
        "{\"package_name\":\"p\",\"windows\":{\"url\":\"u\",\"sign\":\"" + longValue + "\"}}");
    EXPECT_TRUE(check.fellBack);
    EXPECT_EQ(check.config.url, L"u");
    EXPECT_EQ(CheckExitCode(check), 0);
}

// What the checker prints: the fields exactly, as JSON strings, whatever they hold.
TEST(ConfigCheckReportTest, EscapesEveryValue) {
    ConfigCheck check;
    check.config = {L"q\"b\\s",
                    L"tab\there",
                    L"line\nfeed\r",
                    std::wstring(L"nul\0bel\x07", 8),
                    L"露玛 \U0001D11E \xFFFD",
                    L"\x7F"};
    check.warnings = {{"a", L"one \"quoted\""}, {"b", L"two"}};
    EXPECT_EQ(FormatCheckReport(check),
              "{\"package_name\":\"q\\\"b\\\\s\",\"application_name\":\"tab\\there\","
              "\"desktop_shortcut\":\"line\\nfeed\\r\",\"version\":\"nul\\u0000bel\\u0007\","
              "\"url\":\"\xE9\x9C\xB2\xE7\x8E\x9B \xF0\x9D\x84\x9E \xEF\xBF\xBD\","
              "\"sign\":\"\\u007f\",\"parser\":\"regex\","
              "\"warnings\":[\"one \\\"quoted\\\"\",\"two\"],\"errors\":[]}\n");
    check.fellBack = true;
    check.warnings.clear();
    check.errors = {{"c", L"bad"}, {"d", L"worse"}};
    check.packageChecked = true;
    check.package = {3, 2, 10, true};
    EXPECT_NE(FormatCheckReport(check).find(
                  "\"parser\":\"fallback\",\"warnings\":[],\"errors\":[\"bad\",\"worse\"],"
                  "\"package\":{\"entries\":3,\"files\":2,\"bytes\":10,"
                  "\"application_found\":true}}\n"),
              std::string::npos);
}

// The keyed installer joins the signed values with line feeds and refuses a document in which
// one holds a control character; the url is not signed, and without keys nothing is.
TEST(ConfigCheckSignedValuesTest, AControlCharacterInASignedValueFailsWithPublicKeys) {
    const std::string url = "https://cdn.example.com/a.zip";
    const struct {
        const char* name;
        std::string document;
        bool keyed;
        std::wstring named;  // the key the error names; empty: no such error
    } rows[] = {
        {"line feed in the version", Document("p", "a.exe", "A", "1\n2", url), true, L"version"},
        {"DEL in the shortcut", Document("p", "a.exe", "A\x7f", "1", url), true,
         L"desktop_shortcut"},
        {"NUL in the package name", Document(std::string("p\0", 2), "a.exe", "A", "1", url), true,
         L"package_name"},
        {"tab in the url", Document("p", "a.exe", "A", "1", url + "\t"), true, L""},
        {"no keys", Document("p", "a.exe", "A", "1\n2", url), false, L""},
    };
    const PackageKey key{"0123456789abcdef", {}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ConfigCheck check = CheckConfigDocument(
            row.document, row.keyed ? std::vector<PackageKey>{key} : std::vector<PackageKey>{});
        const bool failed = Has(check.errors, "signed-value-control-character");
        EXPECT_EQ(failed, !row.named.empty());
        EXPECT_TRUE(!failed || Quotes(check, row.named + L" holds a control character"));
    }
}

TEST(ConfigCheckReportTest, ExitCodeFollowsTheErrors) {
    struct ExitRow {
        const char* name;
        std::string document;
        int exitCode;
        int strictExitCode;
    };
    const std::string clean = Document("p", "a.exe", "A", "1", "https://cdn.example.com/a.zip");
    const std::vector<ExitRow> rows = {
        {"clean", clean, 0, 0},
        {"a warning", R"({"package_name":"p","windows":{"url":"u"}})", 0, 1},
        {"url missing", R"({"package_name":"p","windows":{"version":"1"}})", 1, 1},
        {"package_name empty", R"({"package_name":"","windows":{"url":"u"}})", 1, 1},
        {"empty input", "", 1, 1},
        {"a device name", Document("p", "a.exe", "PRN", "1", "https://cdn.example.com/a.zip"), 1,
         1},
    };
    for (const ExitRow& row : rows) {
        SCOPED_TRACE(row.name);
        const ConfigCheck check = CheckConfigDocument(row.document);
        EXPECT_EQ(CheckExitCode(check), row.exitCode);
        EXPECT_EQ(CheckExitCode(check, true), row.strictExitCode);
    }
}

}  // namespace
