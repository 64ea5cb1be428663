#pragma once
// The deployer's check of a configuration document: what the installer would read from it, and
// where that differs from what the document seems to say; with a package, what the unpackers
// would make of it.

#include <cstdint>
#include <string>
#include <vector>

#include "config/config.h"
#include "signature/package_signature.h"
#include "tools/config-check/pitfalls.h"

struct PackageSummary {
    std::uint64_t entries = 0;      // files and folders listed by the archive
    std::uint64_t files = 0;        // entries that are not folders
    std::uint64_t bytes = 0;        // the files' unpacked sizes, added up
    bool applicationFound = false;  // application_name is a file where the installer looks
};

struct ConfigCheck {
    InstallConfig config;           // as the installer parses it
    bool fellBack = false;          // the parser fell back to its compact-form search
    std::vector<Finding> warnings;  // one per pitfall that may be meant
    std::vector<Finding> errors;    // why the release would not install
    bool packageChecked = false;    // a package was looked at (or fetched, or tried to be)
    PackageSummary package;
    std::vector<PackageKey> publicKeys;  // --public-key: the keys a release must be signed with
    bool signatureChecked = false;       // the entries for publicKeys were verified over a package
    std::string signatureKey;            // the key whose entry verified, else the first tried
    bool signatureVerified = false;
};

// bytes decoded and parsed as the installer does it; with publicKeys, an error when sign holds
// no well-formed entry for one of them, and one when a signed value holds a control character.
// Never fails.
ConfigCheck CheckConfigDocument(const std::string& bytes,
                                const std::vector<PackageKey>& publicKeys = {});
// Adds an error to check when sign holds a SHA-256 (64 hex digits, as tools/release writes it for
// an unsigned release) other than packageSha256, the lower-case hex hash of the package that
// was read. Never fails.
void CompareSignWithPackageHash(ConfigCheck& check, const std::string& packageSha256);
// The check as one JSON object in UTF-8, ending in a line feed. Never fails.
std::string FormatCheckReport(const ConfigCheck& check);
// 0 when the release would install as meant (under strict: without any warning either), else 1.
int CheckExitCode(const ConfigCheck& check, bool strict = false);
