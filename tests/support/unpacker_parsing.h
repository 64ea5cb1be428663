#pragma once
// How the real unpackers read what the installer hands them: Windows command-line argument
// rules, PowerShell's -command text, and the script host's reading of a script file. Shared
// by the unpacker stand-in and the unit tests, so a quoting fault shows up in both.

#include <string>
#include <utility>
#include <vector>

// The arguments of a command line by the C runtime's rules (argv[0] first). Never fails.
std::vector<std::wstring> ParseWindowsCommandLine(const std::wstring& line);

struct PowerShellInvocation {
    bool ok = false;
    std::wstring error;            // why the text was refused, when !ok
    std::wstring executionPolicy;  // value of -ExecutionPolicy, empty when absent
    std::wstring command;          // the -command text, its arguments joined by spaces
    std::wstring cmdlet;           // first word of the command
    // Named parameters of the cmdlet in order: name without the dash, value (empty for a switch).
    std::vector<std::pair<std::wstring, std::wstring>> parameters;
};

// powershell.exe's arguments (from ParseWindowsCommandLine) read as PowerShell would read a
// single cmdlet call; ok is false when the text does not tokenize.
PowerShellInvocation ParsePowerShellArguments(const std::vector<std::wstring>& args);
// The value of the named parameter (compared case-insensitively); found tells whether it was given.
std::wstring PowerShellParameter(const PowerShellInvocation& call, const std::wstring& name,
                                 bool* found = nullptr);

// UTF-16LE bytes (after the byte-order mark) as text. Never fails.
std::wstring DecodeUtf16Le(const std::string& bytes);
// The string arguments of every NameSpace("...") call in a VBScript text, in order.
std::vector<std::wstring> ScriptNameSpaceArguments(const std::wstring& script);
// The options of the script's CopyHere call, a number or a variable assigned a number: 0 when
// the call has none, -1 when there is no such call or its variable holds no number.
long ScriptCopyOptions(const std::wstring& script);

// ASCII case-insensitive comparison, enough for option and parameter names.
bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b);
