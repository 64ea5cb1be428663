#pragma once
// The parser's fallback reading: plain substring searches that understand only the compact
// form ("key":"value", "windows":{), used when the regular-expression engine gives up.

#include <string>

#include "config/config.h"

// config with package_name replaced by its compact-form value, and the five platform fields
// replaced too when the "windows":{ marker and a "}" after it exist (otherwise they are kept).
// Never fails; unreadable fields come back empty.
InstallConfig ReadCompactForm(const std::wstring& text, InstallConfig config);
