#pragma once
// Explains, in English, where a configuration document means something other than what the
// installer reads from it: the deployer's checker prints these before a document goes live.

#include <string>
#include <vector>

#include "config/config.h"

// One sentence per pitfall found in text, given what ParseInstallConfig read from it (config)
// and whether it had to fall back to the compact-form search; empty when there is none.
// Never fails, whatever the text.
std::vector<std::wstring> FindConfigPitfalls(const std::wstring& text, const InstallConfig& config,
                                             bool fellBack);
