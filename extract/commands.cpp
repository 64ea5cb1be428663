#include "extract/commands.h"

namespace {

// PowerShell ends a single-quoted string at the ASCII apostrophe and at the typographic
// single quotes alike; inside the string each of them is escaped by doubling it.
bool IsPowerShellSingleQuote(wchar_t c) {
    return c == L'\'' || c == L'\u2018' || c == L'\u2019' || c == L'\u201A' || c == L'\u201B';
}

std::wstring PowerShellSingleQuoted(const std::wstring& text) {
    std::wstring quoted = L"'";
    for (wchar_t c : text) {
        if (IsPowerShellSingleQuote(c)) quoted += c;
        quoted += c;
    }
    quoted += L'\'';
    return quoted;
}

void AppendUtf16LeUnit(std::string& bytes, unsigned unit) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>((unit >> 8) & 0xFF);
}

}  // namespace

std::wstring QuoteCommandLinePath(const std::wstring& path) {
    // Backslashes are literal unless a run of them precedes a double quote; then each one
    // must be doubled, and a quote of the text itself needs one more backslash.
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : path) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring TarCommandLine(const std::wstring& zipPath, const std::wstring& destDir) {
    return L"tar.exe -xf " + QuoteCommandLinePath(zipPath) + L" -C " +
           QuoteCommandLinePath(destDir);
}

std::wstring CscriptCommandLine(const std::wstring& scriptPath) {
    return L"cscript.exe //NoLogo " + QuoteCommandLinePath(scriptPath);
}

std::wstring PowerShellCommandLine(const std::wstring& zipPath, const std::wstring& destDir) {
    // -LiteralPath: square brackets in a folder name are not wildcards. The whole command is
    // one argument of powershell.exe, so it is quoted by the same rules as a path.
    const std::wstring command = L"Expand-Archive -LiteralPath " + PowerShellSingleQuoted(zipPath) +
                                 L" -DestinationPath " + PowerShellSingleQuoted(destDir) +
                                 L" -Force";
    return L"powershell.exe -ExecutionPolicy Bypass -command " + QuoteCommandLinePath(command);
}

std::wstring ExtractScriptPath(const std::wstring& destDir) {
    return destDir + L"\\" + ScriptFileName;
}

std::wstring ExtractScriptText(const std::wstring& zipPath, const std::wstring& destDir) {
    // CopyHere options: 256 a simple progress dialog, 16 "Yes to All" (a reinstall would stop at
    // a replace question that nobody in a hidden script host answers), 512 no question before a
    // folder is made, 1024 no error dialog (a copy that cannot finish fails, and the next
    // unpacker runs).
    return L"Set objShell = CreateObject(\"Shell.Application\")\r\n"
           L"Set objSource = objShell.NameSpace(\"" +
           zipPath +
           L"\")\r\n"
           L"Set objTarget = objShell.NameSpace(\"" +
           destDir +
           L"\")\r\n"
           L"intOptions = 1808\r\n"
           L"objTarget.CopyHere objSource.Items, intOptions\r\n"
           L"WScript.Sleep 2000\r\n";
}

std::string EncodeScriptFile(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (wchar_t c : text) {
        // Where wchar_t holds whole code points, those beyond the BMP become surrogate pairs;
        // values that are no code point at all become the replacement character.
        unsigned long point = static_cast<unsigned long>(c);
        if (point > 0x10FFFF) point = 0xFFFD;
        if (point > 0xFFFF) {
            point -= 0x10000;
            AppendUtf16LeUnit(bytes, 0xD800 + static_cast<unsigned>(point >> 10));
            AppendUtf16LeUnit(bytes, 0xDC00 + static_cast<unsigned>(point & 0x3FF));
        } else {
            AppendUtf16LeUnit(bytes, static_cast<unsigned>(point));
        }
    }
    return bytes;
}
