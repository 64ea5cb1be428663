#include "extract/extract.h"
// placeholder
bool ExtractPackage(const std::wstring&, const std::wstring&) { return false; }
bool ExtractWithTar(const std::wstring&, const std::wstring&) { return false; }
bool ExtractWithVbscript(const std::wstring&, const std::wstring&, DWORD) { return false; }
bool ExtractWithPowerShell(const std::wstring&, const std::wstring&) { return false; }
bool DirectoryHasEntries(const std::wstring&) { return false; }
bool DirectoryHasEntriesBesides(const std::wstring&, const std::wstring&, const std::wstring&) { return false; }
bool RunHiddenCommand(const std::wstring&, DWORD, bool) { return false; }
