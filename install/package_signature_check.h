#pragma once
// The publisher's signature in an install run, and the package file from its download to the
// end of its unpack. An unkeyed build (the default) links the version that reads nothing and
// holds nothing; a keyed build links the one that checks against its trusted keys, and holds
// the package so that the bytes it verified are the bytes unpacked, in place of it.

#include <optional>
#include <string>

#include "config/config.h"
#include "handles/handles.h"
#include "signature/verify.h"

// What a run holds of its package. Keyed: from the download on, nobody else can write, rename
// or delete the file. Unkeyed: empty throughout.
struct HeldPackage {
    FileHandle writer;  // the download's own: reads, writes, deletes; shares reading only
    FileHandle reader;  // in the writer's place once handed over: reads; shares reading only
    std::optional<Sha256Digest> sha256;  // of every byte written, once the download succeeded
};

// Keyed: false, with the texts shown, when config.sign holds no well-formed entry for a trusted
// key or a signed value holds a control character. Unkeyed: true, and sign is never read.
bool AcceptDocumentSignature(const InstallConfig& config);
// Unkeyed: DownloadToFile. Keyed: the same through a handle kept in package, the SHA-256 taken
// from the blocks as they are written. packagePath, or empty on failure (advice shown).
std::wstring DownloadPackage(const std::wstring& url, const std::wstring& packagePath,
                             HeldPackage& package);
// Keyed: shows the check, and false, with the texts shown, when no entry for a trusted key
// verifies over config and the package's SHA-256 (the package is then deleted, and the text
// says so when that succeeded). Unkeyed: true, and nothing is shown or read.
bool AcceptPackageSignature(const InstallConfig& config, const std::wstring& packagePath,
                            HeldPackage& package);
// Before an unpacker that opens the package sharing reading only. Keyed: the writer exchanged
// for a reader; false when the exchange fails or the bytes read through the reader do not have
// the SHA-256 that was verified. Unkeyed: true.
bool PrepareReadSharingUnpack(const std::wstring& packagePath, HeldPackage& package);
