#pragma once
// Explains, in English, where a configuration document means something other than what the
// installer reads from it, or names that Windows will not take: the deployer's checker prints
// these before a document goes live.

#include <string>
#include <vector>

#include "config/config.h"

// One problem: which check found it, and the sentence that explains it.
struct Finding {
    std::string id;     // the check's short name, such as "url-escaped-slash"; stays when the
                        // sentence is reworded
    std::wstring text;  // English, for the deployer
    bool operator==(const Finding&) const = default;
};

struct Findings {
    std::vector<Finding> errors;    // why the release would not install as meant
    std::vector<Finding> warnings;  // pitfalls that may be meant
};

// One sentence per problem found in text, given what ParseInstallConfig read from it (config)
// and whether it had to fall back to the compact-form search; both lists empty when there is
// none. Never fails, whatever the text.
Findings FindConfigPitfalls(const std::wstring& text, const InstallConfig& config, bool fellBack);
