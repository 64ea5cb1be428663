#pragma once
// The publisher's signature over a release, as the document's "sign" value carries it: its
// entries ("es256:" + key id + ":" + r‖s in hex, separated by blanks), the keys they name and the
// message they sign. Portable; hashing and verifying are the platform's (verify.h).

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "config/config.h"

inline constexpr std::size_t KeyIdDigits = 16;
using P256Point = std::array<unsigned char, 64>;      // X‖Y, 32 bytes each, big-endian
using P256Signature = std::array<unsigned char, 64>;  // r‖s, 32 bytes each, big-endian

// A public key the signatures are checked against.
struct PackageKey {
    std::string id;  // the first 8 bytes of SHA-256 over point, as 16 lower-case hex digits
    P256Point point{};
};

struct SignEntry {
    std::string keyId;  // 16 lower-case hex digits
    P256Signature signature{};
};

struct SignEntries {
    std::vector<SignEntry> es256;         // the well-formed "es256:" entries, in order
    std::vector<std::wstring> malformed;  // words of the es256 kind (in any letter case) that
                                          // are not well-formed, in order
};

// A trusted key and the signature that an entry says it made.
struct KeyedSignature {
    PackageKey key;
    P256Signature signature{};
};

// The entries of a sign value; words of other kinds are left out. Never fails.
SignEntries ParseSignEntries(const std::wstring& sign);
// The well-formed entries of sign for one of keys, in sign's order; empty when none.
std::vector<KeyedSignature> SignaturesForKeys(const std::wstring& sign,
                                              const std::vector<PackageKey>& keys);
// The signed bytes: UTF-8 of a version line, then package_name, version, application_name,
// desktop_shortcut (as read from the document) and the package's SHA-256 in lower-case hex, each
// on a line of its own. The installer and the publisher's tools both sign and check these.
// Never fails.
std::string SignedMessage(const InstallConfig& config, const std::string& packageSha256Hex);
// The key of the first signed value (package_name, version, application_name, desktop_shortcut, in
// that order) that holds a control character (U+0000-U+001F or U+007F), which could move a line
// boundary of the signed message; empty when none does. Never fails.
std::wstring SignedValueWithControlCharacter(const InstallConfig& config);
// True when r and s of signature both lie in 1..n-1, n the P-256 group order: the only values
// ECDSA defines. Checked before any verifier sees them, so that the refusal of the others does
// not rest on the crypto library. Never fails.
bool ScalarsInRange(const P256Signature& signature);
// bytes as lower-case hex digits. Never fails.
std::string LowerHex(const unsigned char* bytes, std::size_t count);
