#pragma once
// The publisher's signature verified with Windows' CNG (bcrypt.dll, loaded on first use from the
// system folder).

#include <string>
#include <vector>

#include "config/config.h"
#include "signature/package_signature.h"

// True when an entry of config.sign for one of keys verifies over config and the SHA-256 of the
// file at packagePath; false when none does, when the file cannot be read and when CNG fails
// (bcrypt.dll not loadable included).
bool PackageSignatureVerifies(const InstallConfig& config, const std::wstring& packagePath,
                              const std::vector<PackageKey>& keys);
