#pragma once
// Portable texts and paths of an install run.

#include <string>

#include "config/config.h"

// The six-line summary shown after a successful parse. Never fails.
std::wstring ConfigSummary(const InstallConfig& config);
// documents\package_name\version, joined verbatim. Never fails.
std::wstring InstallDirectory(const std::wstring& documents, const InstallConfig& config);
// directory + "\" + name, verbatim. Never fails.
std::wstring JoinPath(const std::wstring& directory, const std::wstring& name);
