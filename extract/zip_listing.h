#pragma once
// What a ZIP archive holds, read from its central directory alone (nothing is decompressed),
// and the check that a folder an unpacker filled holds all of it. Portable; the archive's bytes
// are untrusted.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ZipEntry {
    std::string storedName;  // the name's bytes as stored
    std::wstring name;       // path below the folder, "\" between components; empty if not portable
    bool nameIsPortable = false;  // read alike by every unpacker: valid flagged UTF-8, or ASCII
    bool isDirectory = false;     // stored name ends in "/" or "\", or MS-DOS directory attribute
    bool isSymbolicLink = false;  // made on a Unix host with the link file type in its mode
    bool isUnsafe = false;        // empty, absolute, "..", :*?"<>| or a device name: no place below
                                  // a Windows folder
    bool endsInDotOrBlank = false;  // a component ends in "." or " ", which tar keeps and the
                                    // shell and Expand-Archive drop
    std::uint64_t uncompressedSize = 0;
    std::uint16_t flags = 0;   // general purpose bits as stored (ZipFlagEncrypted, ZipFlagUtf8Name)
    std::uint16_t method = 0;  // compression method as stored: 0 stored, 8 Deflate, ...
};

inline constexpr std::uint16_t ZipFlagEncrypted = 1u << 0;
inline constexpr std::uint16_t ZipFlagUtf8Name = 1u << 11;

// Reads exactly size bytes at offset of the archive into out; false when they cannot be read.
using ArchiveReader = std::function<bool(std::uint64_t offset, std::size_t size, std::string& out)>;

// The entries in central-directory order; nullopt when the central directory cannot be read
// (not a ZIP, truncated, multi-disk, contradicting counts/sizes/offsets, over 64 MiB, no memory).
std::optional<std::vector<ZipEntry>> ListZipEntries(std::uint64_t archiveSize,
                                                    const ArchiveReader& read);

// What the caller found at a path below the unpacked folder.
struct FoundEntry {
    bool exists = false;
    bool isDirectory = false;
    std::uint64_t size = 0;
};

// True when every checkable entry is found as what it is and the folder holds at least as many
// files (fileCountInFolder, besides the archive and the script) as the archive has; false when
// one is missing or differs, or memory runs out (rules: zip_listing.cpp, FolderHoldsArchive).
bool FolderHoldsArchive(const std::vector<ZipEntry>& entries,
                        const std::function<FoundEntry(const std::wstring& relativePath)>& lookup,
                        std::uint64_t fileCountInFolder);
