#pragma once
// Explains, in English, where a configuration document means something other than what the
// installer reads from it, or names that Windows will not take: the deployer's checker prints
// these before a document goes live.

#include <string>
#include <vector>

#include "config/config.h"

struct Findings {
    std::vector<std::wstring> errors;    // why the release would not install as meant
    std::vector<std::wstring> warnings;  // pitfalls that may be meant
};

// One sentence per problem found in text, given what ParseInstallConfig read from it (config)
// and whether it had to fall back to the compact-form search; both lists empty when there is
// none. Never fails, whatever the text.
Findings FindConfigPitfalls(const std::wstring& text, const InstallConfig& config, bool fellBack);
