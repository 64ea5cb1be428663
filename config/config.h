#pragma once
// The configuration record and its reader. The reader is deliberately not a JSON
// parser: values are taken verbatim between quotation marks (no escapes decoded).

#include <string>

struct InstallConfig {
    std::wstring package_name;
    std::wstring application_name;
    std::wstring desktop_shortcut;
    std::wstring version;
    std::wstring url;
    std::wstring sign;  // carried, never read
};

// Fills what it finds; an unreadable field stays empty. Falls back to a plain compact-form
// search (and says so in the detail text) when the regular-expression engine gives up.
InstallConfig ParseInstallConfig(const std::wstring& text);
// The first non-empty string value of key in text; empty when none. Throws std::regex_error
// when the engine's work would exceed its bound.
std::wstring ExtractQuotedField(const std::wstring& text, const std::wstring& key);
// The value of the first compact-form "key":"value" in text; empty when none.
std::wstring ExtractQuotedFieldPlain(const std::wstring& text, const std::wstring& key);
