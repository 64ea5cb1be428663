#pragma once
// The publisher's signature verified with Windows' CNG (bcrypt.dll, loaded on first use from the
// system folder).

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "config/config.h"
#include "handles/handles.h"
#include "signature/package_signature.h"

using Sha256Digest = std::array<unsigned char, 32>;

// A SHA-256 fed block by block through CNG.
struct Sha256Stream {
    CngAlgorithmHandle algorithm;
    CngHashHandle hash;
    bool failed = false;
};

// A new stream; failed when CNG cannot hash (bcrypt.dll not loadable included).
Sha256Stream StartSha256();
// Adds count bytes; the stream fails when CNG refuses them.
void AddToSha256(Sha256Stream& stream, const char* bytes, std::size_t count);
// The digest of what was added, and the stream is used up; nullopt when it failed.
std::optional<Sha256Digest> FinishSha256(Sha256Stream& stream);
// The SHA-256 of the open file's bytes from its start to its end, read through file (its file
// pointer is moved); nullopt when a read or CNG fails.
std::optional<Sha256Digest> Sha256OfOpenFile(HANDLE file);

// True when an entry of config.sign for one of keys verifies over config and the SHA-256 of the
// file at packagePath; false when none does, when the file cannot be read and when CNG fails
// (bcrypt.dll not loadable included).
bool PackageSignatureVerifies(const InstallConfig& config, const std::wstring& packagePath,
                              const std::vector<PackageKey>& keys);
// True when an entry of config.sign for one of keys verifies over config and packageSha256;
// false when none does and when CNG fails.
bool PackageDigestVerifies(const InstallConfig& config, const Sha256Digest& packageSha256,
                           const std::vector<PackageKey>& keys);
