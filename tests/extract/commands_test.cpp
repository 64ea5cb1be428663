// Command lines and script of the extraction, read back the way the unpackers read them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/commands.h"
#include "tests/support/unpacker_parsing.h"

namespace {

using Args = std::vector<std::wstring>;

// The reading side is the oracle for everything below, so it is pinned to the documented
// examples of the C runtime's argument rules first.
TEST(UnpackerParsing, FollowsTheDocumentedArgumentRules) {
    struct Case {
        const wchar_t* line;
        Args args;
    } cases[] = {
        {LR"(p.exe "a b c" d e)", {L"p.exe", L"a b c", L"d", L"e"}},
        {LR"(p.exe "ab\"c" "\\" d)", {L"p.exe", L"ab\"c", L"\\", L"d"}},
        {LR"(p.exe a\\\b d"e f"g h)", {L"p.exe", LR"(a\\\b)", L"de fg", L"h"}},
        {LR"(p.exe a\\\"b c d)", {L"p.exe", LR"(a\"b)", L"c", L"d"}},
        {LR"(p.exe a\\\\"b c" d e)", {L"p.exe", LR"(a\\b c)", L"d", L"e"}},
        {LR"(p.exe a"b"" c d)", {L"p.exe", L"ab\" c d"}},
        {LR"("C:\Program Files\p.exe" x)", {LR"(C:\Program Files\p.exe)", L"x"}},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseWindowsCommandLine(c.line), c.args) << c.line;
}

TEST(UnpackerParsing, ReadsPowerShellSingleQuotedStrings) {
    struct Case {
        const wchar_t* command;
        bool ok;
        std::wstring literalPath;
    } cases[] = {
        {L"Expand-Archive -LiteralPath 'C:\\a b' -Force", true, L"C:\\a b"},
        {L"Expand-Archive -LiteralPath 'O''Brien' -Force", true, L"O'Brien"},
        {L"Expand-Archive -LiteralPath 'Bob\u2019\u2019s' -Force", true, L"Bob\u2019s"},
        {L"Expand-Archive -LiteralPath 'O'Brien' -Force", false, L""},
        {L"Expand-Archive -LiteralPath 'Bob\u2019s' -Force", false, L""},
        {L"Expand-Archive -LiteralPath 'unterminated -Force", false, L""},
    };
    for (const Case& c : cases) {
        const PowerShellInvocation call =
            ParsePowerShellArguments({L"powershell.exe", L"-command", c.command});
        EXPECT_EQ(call.ok, c.ok) << c.command << L" " << call.error;
        if (c.ok) {
            EXPECT_EQ(PowerShellParameter(call, L"LiteralPath"), c.literalPath);
        }
    }
}

TEST(QuoteCommandLinePath, DoublesOnlyBackslashesBeforeAQuote) {
    struct Case {
        const wchar_t* path;
        const wchar_t* quoted;
    } cases[] = {
        {LR"(C:\Users\u\Documents\app\1.0\package.zip)",
         LR"("C:\Users\u\Documents\app\1.0\package.zip")"},
        {LR"(C:\dest\)", LR"("C:\dest\\")"},
        {LR"(C:\dest\\)", LR"("C:\dest\\\\")"},
        {LR"(C:\)", LR"("C:\\")"},
        {LR"(\\server\share\dir)", LR"("\\server\share\dir")"},
        {L"", LR"("")"},
        {LR"(a\"b)", LR"("a\\\"b")"},
    };
    for (const Case& c : cases) EXPECT_EQ(QuoteCommandLinePath(c.path), c.quoted) << c.path;
}

TEST(CommandLines, OrdinaryPathsGiveTheKnownCommandLines) {
    const std::wstring zip = LR"(C:\Users\u\Documents\app\1.0\package.zip)";
    const std::wstring dest = LR"(C:\Users\u\Documents\app\1.0)";
    EXPECT_EQ(
        TarCommandLine(zip, dest),
        LR"(tar.exe -xf "C:\Users\u\Documents\app\1.0\package.zip" -C "C:\Users\u\Documents\app\1.0")");
    EXPECT_EQ(CscriptCommandLine(ExtractScriptPath(dest)),
              LR"(cscript.exe //NoLogo "C:\Users\u\Documents\app\1.0\extract_temp.vbs")");
    EXPECT_EQ(
        PowerShellCommandLine(zip, dest),
        LR"(powershell.exe -ExecutionPolicy Bypass -command "Expand-Archive -LiteralPath 'C:\Users\u\Documents\app\1.0\package.zip' -DestinationPath 'C:\Users\u\Documents\app\1.0' -Force")");
    EXPECT_EQ(
        PowerShellCommandLine(LR"(C:\O'Brien\p.zip)", LR"(C:\x\)"),
        LR"(powershell.exe -ExecutionPolicy Bypass -command "Expand-Archive -LiteralPath 'C:\O''Brien\p.zip' -DestinationPath 'C:\x\' -Force")");
}

// Paths that broke one unpacker or another when inserted verbatim.
const wchar_t* const AwkwardDirectories[] = {
    LR"(C:\Users\张三\Documents\应用\1.0)",
    LR"(C:\Users\O'Brien\Documents\it's\1.0)",
    LR"(C:\Users\u\Documents\app [x64]\v[1])",
    LR"(C:\Users\u\Documents\app\1.0\)",
    LR"(C:\Users\u\Documents\app\1.0\\)",
    L"C:\\Users\\Bob\u2019s \u2018app\u2019\\\u201Aq\u201B",
    LR"(C:\Users\u\Documents\%TEMP% $env:PATH `x & ^a; #b\1.0)",
    L"\\\\server\\share\\\U0001F600 emoji",
    LR"(C:\a  two  spaces )",
};

TEST(CommandLines, EveryUnpackerReadsBackTheExactPaths) {
    for (const wchar_t* dir : AwkwardDirectories) {
        const std::wstring dest = dir;
        const std::wstring zip = dest + L"\\package.zip";
        EXPECT_EQ(ParseWindowsCommandLine(TarCommandLine(zip, dest)),
                  (Args{L"tar.exe", L"-xf", zip, L"-C", dest}))
            << dir;
        EXPECT_EQ(ParseWindowsCommandLine(CscriptCommandLine(ExtractScriptPath(dest))),
                  (Args{L"cscript.exe", L"//NoLogo", dest + L"\\extract_temp.vbs"}))
            << dir;

        const PowerShellInvocation call =
            ParsePowerShellArguments(ParseWindowsCommandLine(PowerShellCommandLine(zip, dest)));
        ASSERT_TRUE(call.ok) << dir << L": " << call.error;
        EXPECT_EQ(call.executionPolicy, L"Bypass");
        EXPECT_EQ(call.cmdlet, L"Expand-Archive");
        using Parameters = std::vector<std::pair<std::wstring, std::wstring>>;
        EXPECT_EQ(call.parameters,
                  (Parameters{{L"LiteralPath", zip}, {L"DestinationPath", dest}, {L"Force", L""}}))
            << dir;
    }
}

// The number of lines when each of them, the last one included, ends in CR LF and no CR or LF
// stands alone; otherwise 0.
size_t CrLfLines(const std::wstring& text) {
    size_t lines = 0;
    for (size_t at = text.find_first_of(L"\r\n"); at != std::wstring::npos;
         at = text.find_first_of(L"\r\n", at + 2), ++lines) {
        if (text.compare(at, 2, L"\r\n") != 0) return 0;
    }
    return text.ends_with(L"\r\n") ? lines : 0;
}

// The script file as the script host reads it: a UTF-16LE byte-order mark, then six lines ended
// by CR LF whose NameSpace calls name the archive and the destination exactly.
TEST(ExtractScript, NamesBothFoldersOnSixCrLfLines) {
    for (const wchar_t* dir : AwkwardDirectories) {
        const std::wstring dest = dir;
        const std::wstring zip = dest + L"\\package.zip";
        const std::string bytes = EncodeScriptFile(ExtractScriptText(zip, dest));
        ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE") << dir;
        const std::wstring script = DecodeUtf16Le(bytes.substr(2));
        EXPECT_EQ(script, ExtractScriptText(zip, dest)) << dir;
        EXPECT_EQ(ScriptNameSpaceArguments(script), (Args{zip, dest})) << dir;
        EXPECT_EQ(CrLfLines(script), 6u) << dir;
        // "Yes to All": a reinstall must not stop at the shell's replace question.
        EXPECT_EQ(ScriptCopyOptions(script) & 16, 16) << dir;
    }
    EXPECT_EQ(ExtractScriptPath(LR"(C:\d\)"), LR"(C:\d\\extract_temp.vbs)");
}

TEST(EncodeScriptFile, WritesUtf16LittleEndianAfterAByteOrderMark) {
    struct Case {
        const wchar_t* text;
        std::string bytes;
    } cases[] = {
        {L"", std::string("\xFF\xFE", 2)},
        {L"A\r\n", std::string("\xFF\xFE"
                               "A\0\r\0\n\0",
                               8)},
        {L"\u00E9\u4E2D", std::string("\xFF\xFE\xE9\x00\x2D\x4E", 6)},
        {L"\U0001F600", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)},
    };
    for (const Case& c : cases) EXPECT_EQ(EncodeScriptFile(c.text), c.bytes);
}

}  // namespace
