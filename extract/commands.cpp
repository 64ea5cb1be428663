#include "extract/commands.h"
// placeholder
std::wstring QuoteCommandLinePath(const std::wstring&) { return {}; }
std::wstring TarCommandLine(const std::wstring&, const std::wstring&) { return {}; }
std::wstring CscriptCommandLine(const std::wstring&) { return {}; }
std::wstring PowerShellCommandLine(const std::wstring&, const std::wstring&) { return {}; }
std::wstring ExtractScriptPath(const std::wstring&) { return {}; }
std::wstring ExtractScriptText(const std::wstring&, const std::wstring&) { return {}; }
std::string EncodeScriptFile(const std::wstring&) { return {}; }
