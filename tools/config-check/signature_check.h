#pragma once
// The publisher's signature checked as a keyed installer checks it. Built with OpenSSL in the
// native build only; elsewhere it answers that it is not available.

#include <filesystem>
#include <string>

#include "signature/package_signature.h"
#include "tools/config-check/check.h"

// The EC P-256 public key in the PEM file at path (as `openssl ec -pubout` writes it). False,
// with why in failure, when it cannot be read or is not such a key (or the build has no OpenSSL).
bool ReadPublicKeyFile(const std::filesystem::path& path, PackageKey& key, std::string& failure);
// The lower-case hex SHA-256 of the file at path; empty when it cannot be read (or the build has
// no OpenSSL).
std::string FileSha256(const std::filesystem::path& path);
// Verifies the entries of check.config.sign for check.publicKeys over the package at path and
// fills check's signature members; adds an error when none verifies. False, with why in failure,
// when the package cannot be read.
bool CheckPackageSignature(const std::filesystem::path& path, ConfigCheck& check,
                           std::string& failure);
