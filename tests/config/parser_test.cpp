// The configuration parser: what each path reads from a document, and that no document, however
// long one of its values, crashes it on the worker's stack.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "status/status_memory.h"
#include "config/compact_form.h"
#include "config/config.h"
#include "config/regex_limit.h"
#include "tests/config/worker_stack.h"

namespace {

const std::wstring FallbackDetail = L"JSON解析失败：正则表达式错误";

std::vector<std::wstring> Fields(const InstallConfig& config) {
    return {config.package_name,
            config.application_name,
            config.desktop_shortcut,
            config.version,
            config.url,
            config.sign};
}

struct Parsed {
    InstallConfig config;
    std::vector<std::wstring> details;  // detail texts the parse wrote
};

Parsed Parse(const std::wstring& text) {
    ResetRecordedStatus();
    Parsed parsed{ParseInstallConfig(text), {}};
    parsed.details = ReadRecordedStatus().detailTexts;
    return parsed;
}

// Put before a document, makes the very first search give up (a whitespace run longer than the
// bound after a "package_name" key), so that the whole document is read by the fallback.
std::wstring WithFallback(const std::wstring& document) {
    return L"\"package_name\"" + std::wstring(RegexMatchLimit, L' ') + L"\n" + document;
}

struct Case {
    const char* name;
    std::wstring text;
    InstallConfig expected;
};

void ExpectRegexPath(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Parsed parsed = Parse(c.text);
        EXPECT_EQ(Fields(parsed.config), Fields(c.expected));
        EXPECT_TRUE(parsed.details.empty());
    }
}

const InstallConfig Full{L"lumadesk",
                         L"LumaDesk.exe",
                         L"LumaDesk",
                         L"2.4.1",
                         L"https://cdn.example.com/lumadesk-2.4.1.zip",
                         L"3f2a9c"};

TEST(ParseInstallConfigTest, ReadsWholeDocuments) {
    ExpectRegexPath({
        {"pretty-printed",
         LR"({
  "package_name" : "lumadesk",
  "windows" :
  {
    "application_name" :	"LumaDesk.exe",
    "desktop_shortcut"
      :
      "LumaDesk",
    "version": "2.4.1",
    "url":"https://cdn.example.com/lumadesk-2.4.1.zip",
    "sign"  :  "3f2a9c"
  }
})",
         Full},
        {"compact",
         LR"({"package_name":"lumadesk","windows":{"application_name":"LumaDesk.exe","desktop_shortcut":"LumaDesk","version":"2.4.1","url":"https://cdn.example.com/lumadesk-2.4.1.zip","sign":"3f2a9c"}})",
         Full},
        {"CRLF line ends and other platforms around",
         L"{\r\n\"mac\": {\"url\": \"https://mac\"},\r\n\"package_name\": \"lumadesk\",\r\n"
         L"\"windows\": {\r\n\"sign\": \"3f2a9c\", \"url\": "
         L"\"https://cdn.example.com/lumadesk-2.4.1.zip\",\r\n\"version\": \"2.4.1\", "
         L"\"desktop_shortcut\": \"LumaDesk\", \"application_name\": \"LumaDesk.exe\"\r\n},\r\n"
         L"\"linux\": {\"url\": \"https://linux\"}\r\n}",
         Full},
        {"package_name inside windows",
         LR"({"windows": {"package_name": "inner", "url": "u"}})",
         {L"inner", L"", L"", L"", L"u", L""}},
        {"nested object among the members",
         LR"({"package_name": "p", "windows": {"application_name": "a.exe", "mirror": {"host": "m"},
             "url": "u", "sign": "s"}})",
         {L"p", L"a.exe", L"", L"", L"u", L"s"}},
        {"non-ASCII values",
         LR"({"package_name": "露玛", "windows": {"desktop_shortcut": "露玛桌面 𝄞", "url": "u"}})",
         {L"露玛", L"", L"露玛桌面 𝄞", L"", L"u", L""}},
        {"only package_name and url",
         LR"({"package_name":"p","windows":{"url":"u"}})",
         {L"p", L"", L"", L"", L"u", L""}},
    });
}

TEST(ParseInstallConfigTest, EscapesAndValueEndsAreKeptVerbatim) {
    ExpectRegexPath({
        {"escaped slashes",
         LR"({"package_name":"p","windows":{"url":"https:\/\/cdn\/a.zip"}})",
         {L"p", L"", L"", L"", LR"(https:\/\/cdn\/a.zip)", L""}},
        {"unicode escape",
         LR"({"package_name":"\u9732","windows":{"url":"u"}})",
         {LR"(\u9732)", L"", L"", L"", L"u", L""}},
        {"escaped quotation mark ends the value",
         LR"({"package_name":"p","windows":{"desktop_shortcut":"say \"hi\"","url":"u"}})",
         {L"p", L"", LR"(say \)", L"", L"u", L""}},
        {"escaped backslash",
         LR"({"package_name":"a\\b","windows":{"url":"u"}})",
         {LR"(a\\b)", L"", L"", L"", L"u", L""}},
        {"line break inside a value",
         L"{\"package_name\":\"p\nq\",\"windows\":{\"url\":\"u\"}}",
         {L"p\nq", L"", L"", L"", L"u", L""}},
        {"leading and trailing blanks kept",
         LR"({"package_name":" p ","windows":{"version":"	1 ","url":"u"}})",
         {L" p ", L"", L"", L"\t1 ", L"u", L""}},
    });
}

TEST(ParseInstallConfigTest, UsesFirstNonEmptyStringOccurrence) {
    ExpectRegexPath({
        {"empty value skipped",
         LR"({"package_name":"","windows":{"url":"","url":"u2"},"package_name":"p2"})",
         {L"p2", L"", L"", L"", L"u2", L""}},
        {"only empty values", LR"({"package_name":"","windows":{"url":""}})", {}},
        {"number skipped for a later string",
         LR"({"package_name":"p","windows":{"version":2.4,"url":"u","version":"2.4.1"}})",
         {L"p", L"", L"", L"2.4.1", L"u", L""}},
        {"number, true, null and array values",
         LR"({"package_name":1,"windows":{"version":2,"url":true,"sign":null,"application_name":["a"]}})",
         {}},
        {"first of two non-empty values",
         LR"({"package_name":"p1","package_name":"p2","windows":{"url":"u1","url":"u2"}})",
         {L"p1", L"", L"", L"", L"u1", L""}},
        {"package_name inside another object comes first",
         LR"({"mac":{"package_name":"m"},"package_name":"p","windows":{"url":"u"}})",
         {L"m", L"", L"", L"", L"u", L""}},
    });
}

TEST(ParseInstallConfigTest, KeysAreCaseSensitive) {
    ExpectRegexPath({
        {"upper-case keys",
         LR"({"Package_Name":"p","windows":{"URL":"u","Version":"1","APPLICATION_NAME":"a"}})",
         {}},
        {"upper-case windows",
         LR"({"package_name":"p","Windows":{"url":"u"}})",
         {L"p", L"", L"", L"", L"", L""}},
    });
}

TEST(ParseInstallConfigTest, FindsTheWindowsObjectByBracesAlone) {
    ExpectRegexPath({
        {"no windows member",
         LR"({"package_name":"p","url":"u"})",
         {L"p", L"", L"", L"", L"", L""}},
        {"empty windows object",
         LR"({"package_name":"p","windows":{},"url":"u"})",
         {L"p", L"", L"", L"", L"", L""}},
        {"unclosed windows object",
         LR"({"package_name":"p","windows":{"url":"u")",
         {L"p", L"", L"", L"", L"", L""}},
        {"windows object at the very end",
         LR"({"package_name":"p","windows":{)",
         {L"p", L"", L"", L"", L"", L""}},
        {"url outside windows",
         LR"({"package_name":"p","url":"u","windows":{"version":"1"}})",
         {L"p", L"", L"", L"1", L"", L""}},
        {"two windows members: the first is read",
         LR"({"package_name":"p","windows":{"url":"u1"},"windows":{"url":"u2","version":"2"}})",
         {L"p", L"", L"", L"", L"u1", L""}},
        {"windows that is not an object is passed over",
         LR"({"package_name":"p","windows":"none","windows":{"url":"u"}})",
         {L"p", L"", L"", L"", L"u", L""}},
        {"} in a value ends the section",
         LR"({"package_name":"p","windows":{"version":"1","application_name":"a}b","url":"u"}})",
         {L"p", L"", L"", L"1", L"", L""}},
        {"{ in a value runs the scan to a later }",
         LR"({"package_name":"p","windows":{"application_name":"a{b","url":"u"},"linux":{"version":"9"}})",
         {L"p", L"a{b", L"", L"9", L"u", L""}},
        {"{ in a value with no later }",
         LR"({"package_name":"p","windows":{"application_name":"a{b","url":"u"})",
         {L"p", L"", L"", L"", L"", L""}},
        {"members after the section are not read",
         LR"({"package_name":"p","windows":{"version":"1"},"url":"u","sign":"s"})",
         {L"p", L"", L"", L"1", L"", L""}},
    });
}

TEST(ParseInstallConfigTest, TextThatIsNoDocumentYieldsNothing) {
    ExpectRegexPath({
        {"empty text", L"", {}},
        {"error page",
         L"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
         L"<body><h1>Not Found</h1><p>The requested URL /app/lumadesk/version.json was not "
         L"found.</p></body></html>\n",
         {}},
        {"storage error document",
         L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>NoSuchKey</Code>"
         L"<Message>The specified key does not exist.</Message></Error>",
         {}},
        {"lone quotation marks and braces", L"\"\"\"{{{}}}\"windows\"\"package_name\":", {}},
        {"NUL characters",
         std::wstring(L"{\"package_name\":\"p\0q\"}", 22),
         {std::wstring(L"p\0q", 3), L"", L"", L"", L"", L""}},
    });
}

// Each row: the same document read by the regular-expression path and, with the first search
// made to give up, by the compact-form fallback.
TEST(ParseInstallConfigTest, FallbackReadsOnlyTheCompactForm) {
    struct Row {
        const char* name;
        std::wstring document;
        InstallConfig regex;
        InstallConfig fallback;
    };
    const std::vector<Row> rows = {
        {"compact document: same result",
         LR"({"package_name":"p","windows":{"application_name":"a.exe","desktop_shortcut":"A","version":"1","url":"u","sign":"s"}})",
         {L"p", L"a.exe", L"A", L"1", L"u", L"s"},
         {L"p", L"a.exe", L"A", L"1", L"u", L"s"}},
        {"whitespace around colons",
         LR"({"package_name": "p", "windows": {"url": "u"}})",
         {L"p", L"", L"", L"", L"u", L""},
         {}},
        {"space before the windows brace",
         LR"({"package_name":"p","windows": {"url":"u"}})",
         {L"p", L"", L"", L"", L"u", L""},
         {L"p", L"", L"", L"", L"", L""}},
        {"nested object ends the fallback's section",
         LR"({"package_name":"p","windows":{"application_name":"a.exe","mirror":{"k":"v"},"url":"u"}})",
         {L"p", L"a.exe", L"", L"", L"u", L""},
         {L"p", L"a.exe", L"", L"", L"", L""}},
        {"empty value before a non-empty one",
         LR"({"package_name":"","package_name":"p","windows":{"url":"","url":"u"}})",
         {L"p", L"", L"", L"", L"u", L""},
         {}},
        {"first compact occurrence, not first occurrence",
         LR"({"package_name" : "p1","package_name":"p2","windows":{"version" : "1","version":"2","url":"u"}})",
         {L"p1", L"", L"", L"1", L"u", L""},
         {L"p2", L"", L"", L"2", L"u", L""}},
        {"{ in a value with no later }",
         LR"({"package_name":"p","windows":{"url":"u{","version":"1"})",
         {L"p", L"", L"", L"", L"", L""},
         {L"p", L"", L"", L"1", L"u{", L""}},
        {"} in a value ends both sections",
         LR"({"package_name":"p","windows":{"version":"1","url":"u}","sign":"s"}})",
         {L"p", L"", L"", L"1", L"", L""},
         {L"p", L"", L"", L"1", L"", L""}},
        {"escaped quotation mark ends the value on both paths",
         LR"({"package_name":"p\"q","windows":{"url":"u"}})",
         {LR"(p\)", L"", L"", L"", L"u", L""},
         {LR"(p\)", L"", L"", L"", L"u", L""}},
        {"unterminated compact value",
         LR"({"windows":{"url":"u"},"package_name":"p)",
         {L"", L"", L"", L"", L"u", L""},
         {L"", L"", L"", L"", L"u", L""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Parsed regex = Parse(row.document);
        EXPECT_EQ(Fields(regex.config), Fields(row.regex));
        EXPECT_TRUE(regex.details.empty());

        const Parsed fallback = Parse(WithFallback(row.document));
        EXPECT_EQ(Fields(fallback.config), Fields(row.fallback));
        EXPECT_EQ(fallback.details, std::vector<std::wstring>{FallbackDetail});
        EXPECT_EQ(Fields(ReadCompactForm(row.document, {})), Fields(row.fallback));
    }
}

TEST(ParseInstallConfigTest, FallbackKeepsFieldsWhenItFindsNoCompactSection) {
    // The regular-expression path stores package_name and two platform fields before the long
    // url gives up; the fallback finds no compact marker, so it replaces package_name only.
    const std::wstring text =
        L"{ \"package_name\": \"p\", \"windows\": { \"application_name\": "
        L"\"a.exe\", \"version\": \"1\", \"url\": \"" +
        std::wstring(RegexMatchLimit, L'x') + L"\", \"sign\": \"s\" } }";
    const Parsed parsed = Parse(text);
    EXPECT_EQ(Fields(parsed.config), Fields(InstallConfig{L"", L"a.exe", L"", L"1", L"", L""}));
    EXPECT_EQ(parsed.details, std::vector<std::wstring>{FallbackDetail});
}

TEST(ExtractQuotedFieldTest, AgreesWithThePlainSearchOnCompactMembers) {
    struct Row {
        const char* name;
        std::wstring text;
        std::wstring regex;
        std::wstring plain;
    };
    const std::vector<Row> rows = {
        {"compact", LR"("a":"1","key":"v")", L"v", L"v"},
        {"spaced", LR"("key" :	"v")", L"v", L""},
        {"empty then full", LR"("key":"","key":"v")", L"v", L""},
        {"key as a suffix of another", LR"("my_key":"x","key":"v")", L"v", L"v"},
        {"unterminated", LR"("key":"v)", L"", L""},
        {"absent", LR"("other":"v")", L"", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ExtractQuotedField(row.text, L"key"), row.regex);
        EXPECT_EQ(ExtractQuotedFieldPlain(row.text, L"key"), row.plain);
    }
}

// The bound: an attempt that spans RegexMatchLimit characters is searched, one more gives up.
TEST(ExtractQuotedFieldTest, GivesUpOnlyPastTheBound) {
    // "key":"<value>" spans the value's length + 8 characters; without its closing quotation
    // mark, + 7; "key"<blanks>:"" spans the blanks + 7.
    const std::size_t longest = RegexMatchLimit - 8;
    const std::wstring value(longest, L'v');
    struct Row {
        const char* name;
        std::wstring text;
        bool givesUp;
        std::wstring value;
    };
    const std::vector<Row> rows = {
        {"longest value", L"\"key\":\"" + value + L"\"", false, value},
        {"value one longer", L"\"key\":\"" + value + L"v\"", true, L""},
        {"longest unterminated value", L"\"key\":\"" + value + L"v", false, L""},
        {"unterminated value one longer", L"\"key\":\"" + value + L"vv", true, L""},
        {"longest blanks", L"\"key\"" + std::wstring(longest + 1, L'\n') + L":\"\"", false, L""},
        {"blanks one longer", L"\"key\"" + std::wstring(longest + 2, L'\t') + L":\"\"", true, L""},
        {"long value after a match is never examined",
         L"\"key\":\"v\",\"key\":\"" + std::wstring(2 * RegexMatchLimit, L'v') + L"\"", false,
         L"v"},
        {"long value of another key",
         L"\"other\":\"" + std::wstring(2 * RegexMatchLimit, L'v') + L"\",\"key\":\"k\"", false,
         L"k"},
        {"long attempt before the match",
         L"\"key\"" + std::wstring(RegexMatchLimit, L' ') + L"x \"key\":\"v\"", true, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bool gaveUp = false;
        std::wstring value;
        ASSERT_TRUE(RunOnWorkerStack([&] {
            try {
                value = ExtractQuotedField(row.text, L"key");
            } catch (const std::regex_error& error) {
                gaveUp = error.code() == std::regex_constants::error_stack;
            }
        }));
        EXPECT_EQ(gaveUp, row.givesUp);
        EXPECT_EQ(value, row.value);
    }
}

TEST(ParseInstallConfigTest, OrdinaryLargeDocumentStaysOnTheRegexPath) {
    // Tens of kilobytes of other members, long but ordinary values just under the bound.
    std::wstring text = L"{\n  \"package_name\": \"p\",\n  \"changelog\": [\n";
    for (int i = 0; i < 400; ++i) {
        text += L"    {\"version\": \"1." + std::to_wstring(i) +
                L"\", \"notes\": \"Fixed a number of small problems in the window layout.\"},\n";
    }
    const std::wstring url =
        L"https://cdn.example.com/a.zip?token=" + std::wstring(RegexMatchLimit - 60, L'Z');
    const std::wstring sign(RegexMatchLimit - 20, L'S');
    text += L"    {}\n  ],\n  \"windows\": {\n    \"url\": \"" + url + L"\",\n    \"sign\": \"" +
            sign + L"\"\n  }\n}\n";
    ASSERT_GT(text.size(), 40000u);
    Parsed parsed;
    ASSERT_TRUE(RunOnWorkerStack([&] { parsed = Parse(text); }));
    EXPECT_TRUE(parsed.details.empty());
    EXPECT_EQ(parsed.config.package_name, L"p");
    EXPECT_EQ(parsed.config.url, url);
    EXPECT_EQ(parsed.config.sign, sign);
}

// Five million characters in one place: the parser must fall back on the worker-sized stack,
// not overflow it.
TEST(ParseInstallConfigTest, HugeValuesFallBackOnTheWorkerStack) {
    // Each text is head + five million fill characters + tail; "*" in an expected field stands
    // for the fill run. Texts are built one at a time and nothing huge is copied, which keeps
    // the test quick under a sanitizer.
    struct Row {
        const char* name;
        std::wstring head;
        wchar_t fill;
        std::wstring tail;
        InstallConfig expected;
        bool fallsBack;
    };
    const std::size_t huge = 5'000'000;
    // Members searched before the huge one come first, so no search runs through all of it.
    const std::wstring before =
        L"{\"package_name\":\"p\",\"windows\":{\"application_name\":\"a\","
        L"\"desktop_shortcut\":\"d\",\"version\":\"1\",";
    const std::vector<Row> rows = {
        {"huge url",
         before + L"\"url\":\"",
         L'x',
         L"\"}}",
         {L"p", L"a", L"d", L"1", L"*", L""},
         true},
        {"huge sign",
         before + L"\"url\":\"u\",\"sign\":\"",
         L'x',
         L"\"}}",
         {L"p", L"a", L"d", L"1", L"u", L"*"},
         true},
        {"huge url, pretty",
         L"{\"package_name\": \"p\", \"windows\": {\"version\": \"1\", \"url\": \"",
         L'x',
         L"\"}}",
         {L"", L"", L"", L"1", L"", L""},
         true},
        {"huge package_name, pretty",
         L"{\"package_name\": \"",
         L'x',
         L"\", \"windows\": {\"url\": \"u\"}}",
         {},
         true},
        {"huge unterminated value",
         L"{\"windows\":{\"url\":\"u\"},\"package_name\":\"",
         L'x',
         L"",
         {L"", L"", L"", L"", L"u", L""},
         true},
        {"huge blank run before a colon",
         L"{\"package_name\"",
         L' ',
         L":\"p\",\"windows\":{\"url\":\"u\"}}",
         {L"", L"", L"", L"", L"u", L""},
         true},
        {"huge blank run before the windows brace",
         L"{\"package_name\":\"p\",\"windows\":",
         L' ',
         L"{\"url\":\"u\"}}",
         {L"p", L"", L"", L"", L"", L""},
         true},
        {"huge line break run after a colon",
         before + L"\"url\":",
         L'\n',
         L"\"u\"}}",
         {L"p", L"a", L"d", L"1", L"", L""},
         true},
        {"huge value of another member is searched through",
         L"{\"package_name\":\"p\",\"notes\":\"",
         L'x',
         L"\",\"windows\":{\"url\":\"u\"}}",
         {L"p", L"", L"", L"", L"u", L""},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::wstring text;
        text.reserve(row.head.size() + huge + row.tail.size());
        text.append(row.head).append(huge, row.fill).append(row.tail);
        Parsed parsed;
        ASSERT_TRUE(RunOnWorkerStack([&] { parsed = Parse(text); }));

        const std::vector<std::wstring> expected = Fields(row.expected);
        const std::wstring* actual[] = {&parsed.config.package_name,
                                        &parsed.config.application_name,
                                        &parsed.config.desktop_shortcut,
                                        &parsed.config.version,
                                        &parsed.config.url,
                                        &parsed.config.sign};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            if (expected[i] == L"*") {
                EXPECT_EQ(actual[i]->size(), huge);
                EXPECT_EQ(actual[i]->find_first_not_of(row.fill), std::wstring::npos);
            } else {
                EXPECT_EQ(*actual[i], expected[i]);
            }
        }
        const std::vector<std::wstring> details =
            row.fallsBack ? std::vector<std::wstring>{FallbackDetail} : std::vector<std::wstring>{};
        EXPECT_EQ(parsed.details, details);
    }
}

// The stack reserve in the header of a Windows program; 0 when the file is not one.
std::size_t ProgramStackReserve(const char* path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    const auto number = [&](std::size_t at, std::size_t size) {
        std::uint64_t value = 0;
        for (std::size_t i = size; i-- > 0;) {
            value =
                value << 8 | static_cast<unsigned char>(at + i < bytes.size() ? bytes[at + i] : 0);
        }
        return value;
    };
    const std::size_t header = number(0x3C, 4);
    if (bytes.compare(0, 2, "MZ") != 0 || bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0 ||
        number(header + 24, 2) != 0x20B) {  // PE32+
        return 0;
    }
    return static_cast<std::size_t>(number(header + 24 + 72, 8));
}

TEST(WorkerStackTest, MatchesTheInstallersThread) {
#ifdef _WIN32
    EXPECT_EQ(WorkerStackReserve(), WorkerStackSize);
#else
    EXPECT_GE(WorkerStackReserve(), WorkerStackSize);
#endif
    // The installer's own worker gets its program's default stack: the bound above was chosen
    // for that size, so the program must keep it.
    const char* installer = std::getenv("INSTALLER_PROGRAM");
    if (installer == nullptr) GTEST_SKIP() << "INSTALLER_PROGRAM not set";
    EXPECT_EQ(ProgramStackReserve(installer), WorkerStackSize) << installer;
}

}  // namespace
