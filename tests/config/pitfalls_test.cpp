// The deployer's checker: which pitfalls it names for a document, and that it names none where
// the installer reads what the document says.

#include <gtest/gtest.h>

#include "tests/config/worker_stack.h"

#include <string>
#include <vector>

#include "config/regex_limit.h"
#include "tools/config-check/utf8.h"
#include "tools/config-check/check.h"

namespace {

struct Row {
    const char* name;
    std::string document;                   // UTF-8, as served
    std::vector<std::wstring> expected;     // each must be part of some warning
    std::vector<std::wstring> absent;       // none may be part of any warning or error
    std::vector<std::wstring> errors = {};  // each must be part of some error
};

bool Mentions(const std::vector<std::wstring>& warnings, const std::wstring& part) {
    for (const std::wstring& warning : warnings) {
        if (warning.find(part) != std::wstring::npos) return true;
    }
    return false;
}

void ExpectPitfalls(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ConfigCheck check = CheckConfigDocument(row.document);
        std::wstring all;
        for (const std::wstring& warning : check.warnings) all += warning + L"\n";
        for (const std::wstring& error : check.errors) all += L"error: " + error + L"\n";
        SCOPED_TRACE(EncodeUtf8(all));
        for (const std::wstring& part : row.expected)
            EXPECT_TRUE(Mentions(check.warnings, part)) << EncodeUtf8(part);
        for (const std::wstring& part : row.errors)
            EXPECT_TRUE(Mentions(check.errors, part)) << EncodeUtf8(part);
        for (const std::wstring& part : row.absent) {
            EXPECT_FALSE(Mentions(check.warnings, part)) << EncodeUtf8(part);
            EXPECT_FALSE(Mentions(check.errors, part)) << EncodeUtf8(part);
        }
    }
}

TEST(ConfigPitfallsTest, CleanCompactDocumentHasNone) {
    const ConfigCheck check = CheckConfigDocument(
        R"({"package_name":"lumadesk","windows":{"application_name":"LumaDesk.exe",)"
        R"("desktop_shortcut":"LumaDesk","version":"2.4.1","url":"https://cdn.example.com/a.zip",)"
        R"("sign":"3f2a9c"},"mac":{"url":"https://cdn.example.com/m.zip"}})");
    EXPECT_EQ(check.warnings, std::vector<std::wstring>{});
    EXPECT_EQ(check.errors, std::vector<std::wstring>{});
    EXPECT_FALSE(check.fellBack);
}

TEST(ConfigPitfallsTest, NamesWhatTheInstallerMisreads) {
    ExpectPitfalls({
        {"escaped slashes in url",
         R"({"package_name":"p","windows":{"application_name":"a.exe","desktop_shortcut":"A","version":"1","url":"https:\/\/cdn\/a.zip"}})",
         {L"url contains \"\\/\""},
         {L"url contains a backslash"}},
        {"other backslash in url",
         R"({"package_name":"p","windows":{"url":"https://cdn/a\\b.zip"}})",
         {L"url contains a backslash"},
         {L"\\/"}},
        {"closing brace in a windows value",
         R"({"package_name":"p","windows":{"application_name":"a}b","url":"u"}})",
         {L"\"application_name\" inside \"windows\" contains \"}\"",
          L"does not read \"url\" inside \"windows\" (\"u\")"},
         {}},
        {"opening brace in a windows value",
         R"({"package_name":"p","windows":{"sign":"{{","url":"u"}})",
         {L"\"sign\" inside \"windows\" contains \"{\"", L"does not read \"url\""},
         {}},
        {"braces outside windows are harmless",
         R"({"package_name":"p{}","notes":"}","windows":{"application_name":"a.exe","desktop_shortcut":"A","version":"1","url":"u"}})",
         {},
         {L"contains \"}\"", L"contains \"{\""}},
        {"empty value before a later one",
         R"({"package_name":"p","windows":{"url":"","url":"u2"}})",
         {L"\"url\" inside \"windows\" first has an empty value", L"(\"u2\")"},
         {L"does not read"}},
        {"two different values",
         R"({"package_name":"p1","package_name":"p2","windows":{"url":"u"}})",
         {L"\"package_name\" at the top level appears more than once", L"(\"p1\")", L"(\"p2\")"},
         {}},
        {"wrong letter case",
         R"({"Package_Name":"p","Windows":{"URL":"u"},"windows":{"Version":"1"}})",
         {L"Key \"Package_Name\" differs", L"Key \"Windows\" differs", L"Key \"URL\" differs",
          L"Key \"Version\" differs"},
         {}},
        {"number version",
         R"({"package_name":"p","windows":{"version":2.4,"url":"u"}})",
         {L"\"version\" inside \"windows\" is not a string (2.4)", L"version is empty"},
         {}},
        {"object and array values",
         R"({"package_name":{"name":"p"},"windows":{"url":["u"]}})",
         {L"\"package_name\" at the top level is an object",
          L"\"url\" inside \"windows\" is an array"},
         {}},
        {"url only outside windows",
         R"({"package_name":"p","url":"u","windows":{"version":"1"}})",
         {L"\"url\" appears only outside the \"windows\" object"},
         {},
         {L"url is empty or was not found"}},
        {"url read from a nested object first",
         R"({"package_name":"p","windows":{"mirror":{"url":"m"},"url":"u"}})",
         {L"reads url as \"m\", not the value of \"url\" inside \"windows\" (\"u\")"},
         {}},
        {"escaped quotation mark",
         R"({"package_name":"p","windows":{"desktop_shortcut":"say \"hi\"","url":"u"}})",
         {L"\"desktop_shortcut\" contains an escaped quotation mark", L"as \"say \\\""},
         {L"reads desktop_shortcut as"}},
        {"no windows object",
         R"({"package_name":"p"})",
         {L"There is no top-level \"windows\" object"},
         {},
         {L"url is empty"}},
        {"two windows objects",
         R"({"package_name":"p","windows":{"url":"u"},"windows":{"version":"1"}})",
         {L"more than one \"windows\" object"},
         {}},
        {"error page",
         "<html><body>502 Bad Gateway</body></html>",
         {L"does not start with \"{\""},
         {},
         {L"package_name is empty", L"url is empty"}},
        {"byte order mark is fine",
         "\xEF\xBB\xBF{\"package_name\":\"p\",\"windows\":{\"application_name\":\"a.exe\","
         "\"desktop_shortcut\":\"A\",\"version\":\"1\",\"url\":\"u\"}}",
         {},
         {L"does not start"}},
        {"invalid UTF-8 in a value",
         "{\"package_name\":\"p\xC3\",\"windows\":{\"url\":\"u\"}}",
         {L"package_name contains U+FFFD"},
         {}},
        {"names unfit for Windows",
         R"({"package_name":"a/b","windows":{"application_name":"x:y.exe","desktop_shortcut":"s\\t ","version":"..\\1","url":"u"}})",
         {L"package_name contains \"/\"", L"application_name contains \":\"",
          L"desktop_shortcut contains a backslash", L"desktop_shortcut begins or ends with a blank",
          L"version contains a backslash"},
         {L"url contains"}},
        {"control character in a value",
         "{\"package_name\":\"p\",\"windows\":{\"url\":\"u\n\"}}",
         {L"url contains a control character"},
         {}},
        {"optional names empty",
         R"({"package_name":"p","windows":{"application_name":"a.exe","url":"u"}})",
         {L"version is empty", L"desktop_shortcut is empty"},
         {L"application_name is empty"}},
        {"pretty document: the fallback would differ",
         "{\n  \"package_name\": \"p\",\n  \"windows\": {\"application_name\": \"a.exe\", "
         "\"desktop_shortcut\": \"A\", \"version\": \"1\", \"url\": \"u\"}\n}\n",
         {L"compact-form fallback would read this document differently (package_name, "
          L"application_name, desktop_shortcut, version, url)"},
         {L"gives up"}},
        {"nested object: the fallback would miss later members",
         R"({"package_name":"p","windows":{"application_name":"a.exe","extra":{},"desktop_shortcut":"A","version":"1","url":"u"}})",
         {L"would read this document differently (desktop_shortcut, version, url)"},
         {}},
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
         {L"url \"packages/a.zip\" is not an absolute address"},
         {L"http://"}},
        {"http url",
         Document("p", "a.exe", "A", "1", "HTTP://cdn.example.com/a.zip"),
         {L"url uses http://: without TLS, anyone on the network path can swap the program"},
         {L"absolute"}},
        {"blank inside the url",
         Document("p", "a.exe", "A", "1", "https://cdn.example.com/my app.zip"),
         {L"url contains a blank (U+0020)"},
         {L"begins or ends"}},
        {"ideographic space after the url",
         Document("p", "a.exe", "A", "1", good + "\xE3\x80\x80"),
         {L"url begins or ends with a blank (U+3000)"},
         {L"url contains a blank"}},
        {"blanks of other kinds around names",
         Document("\xC2\xA0p", "a.exe", "A\xE2\x80\x8B", "1\t", good),
         {L"package_name begins or ends with a blank (U+00A0)",
          L"desktop_shortcut begins or ends with a blank (U+200B)",
          L"version begins or ends with a blank (U+0009)"},
         {}},
        {"folders that leave Documents\\package_name\\version",
         Document("..", "a.exe", "A", "2/../../x", good),
         {L"package_name \"..\" holds a folder separator or a \".\" or \"..\" component",
          L"version \"2/../../x\" holds"},
         {}},
        {"one dot is a component too",
         Document("p", "a.exe", "A", ".", good),
         {L"version \".\" holds"},
         {}},
        {"device names",
         Document("con", "nul.exe", "Aux", "LPT1.old", good),
         {},
         {},
         {L"package_name \"con\" uses CON", L"application_name \"nul.exe\" uses NUL",
          L"desktop_shortcut \"Aux\" uses AUX", L"version \"LPT1.old\" uses LPT1"}},
        {"device names deeper down and in superscript",
         Document("p", "bin/COM3 .exe", "A", "1\\com\xC2\xB9", good),
         {},
         {},
         {L"application_name \"bin/COM3 .exe\" uses COM3", L"uses COM\x00B9"}},
        {"names that only look like devices",
         Document("CONSOLE", "nul_.exe", "LPT", "COM10", good),
         {},
         {L" uses "}},
        {"names too long for Windows",
         Document("p", a255 + "a.exe", a255 + "a", "1", good),
         {L"application_name has a name of 256 characters:",
          L"desktop_shortcut has a name of 256 characters with \".lnk\""},
         {}},
        {"names just short enough",
         Document("p", a255 + ".exe", a255, "1", good),
         {},
         {L"characters:", L"characters with"}},
        {"shortcut with .lnk, program without .exe",
         Document("p", "LumaDesk", "LumaDesk.LNK", "1", good),
         {L"desktop_shortcut ends in \".lnk\"", L"named \"LumaDesk.LNK.lnk\"",
          L"application_name \"LumaDesk\" does not end in \".exe\""},
         {}},
        {"letter case of .exe does not matter",
         Document("p", "LumaDesk.EXE", "LumaDesk", "1", good),
         {},
         {L".exe", L".lnk"}},
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
         {L"gives up on this document", L"more than " + std::to_wstring(RegexMatchLimit)},
         {L"would read this document differently"},
         {L"package_name is empty"}},
    });
    const std::string nearlyLong(RegexMatchLimit - 20, 'S');
    ExpectPitfalls({
        {"long sign, still searched",
         "{\"package_name\":\"p\",\"windows\":{\"url\":\"u\",\"sign\":\"" + nearlyLong + "\"}}",
         {L"The \"sign\" member spans " + std::to_wstring(RegexMatchLimit - 11) + L" characters"},
         {L"gives up on this document"}},
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
    check.warnings = {L"one \"quoted\"", L"two"};
    EXPECT_EQ(FormatCheckReport(check),
              "{\"package_name\":\"q\\\"b\\\\s\",\"application_name\":\"tab\\there\","
              "\"desktop_shortcut\":\"line\\nfeed\\r\",\"version\":\"nul\\u0000bel\\u0007\","
              "\"url\":\"\xE9\x9C\xB2\xE7\x8E\x9B \xF0\x9D\x84\x9E \xEF\xBF\xBD\","
              "\"sign\":\"\\u007f\",\"parser\":\"regex\","
              "\"warnings\":[\"one \\\"quoted\\\"\",\"two\"],\"errors\":[]}\n");
    check.fellBack = true;
    check.warnings.clear();
    check.errors = {L"bad", L"worse"};
    check.packageChecked = true;
    check.package = {3, 2, 10, true};
    EXPECT_NE(FormatCheckReport(check).find(
                  "\"parser\":\"fallback\",\"warnings\":[],\"errors\":[\"bad\",\"worse\"],"
                  "\"package\":{\"entries\":3,\"files\":2,\"bytes\":10,"
                  "\"application_found\":true}}\n"),
              std::string::npos);
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
