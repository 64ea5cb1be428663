#include "config/config.h"
// placeholder until the parser lands
InstallConfig ParseInstallConfig(const std::wstring&) { return {}; }
std::wstring ExtractQuotedField(const std::wstring&, const std::wstring&) { return {}; }
std::wstring ExtractQuotedFieldPlain(const std::wstring&, const std::wstring&) { return {}; }
