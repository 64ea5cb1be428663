#pragma once
// The deployer's check of a configuration document: what the installer would read from it, and
// where that differs from what the document seems to say.

#include <string>
#include <vector>

#include "config/config.h"

struct ConfigCheck {
    InstallConfig config;                // as the installer parses it
    bool fellBack = false;               // the parser fell back to its compact-form search
    std::vector<std::wstring> warnings;  // English sentences, one per pitfall
};

// bytes decoded and parsed as the installer does it. Never fails.
ConfigCheck CheckConfigDocument(const std::string& bytes);
// The check as one JSON object in UTF-8, ending in a line feed. Never fails.
std::string FormatCheckReport(const ConfigCheck& check);
// 0 when the installer would go on with the configuration, 1 when it would stop with its format
// error (url or package_name empty).
int CheckExitCode(const ConfigCheck& check);
