#pragma once
// A ZIP archive's central directory, the list that the shell's ZIP folders and Expand-Archive
// go by, with what libarchive reads but does not tell: each name's UTF-8 flag and each entry's
// compression method.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

struct ZipDirectoryEntry {
    std::string name;          // the name's bytes as stored
    std::uint16_t madeBy = 0;  // "version made by": the high byte names the system
    std::uint16_t flags = 0;   // general purpose bits: 0 encrypted, 11 UTF-8 name
    std::uint16_t method = 0;  // compression method: 0 stored, 8 Deflate, ...
    std::uint32_t externalAttributes = 0;
    std::uint64_t uncompressedSize = 0;
};

inline constexpr std::uint16_t ZipFlagEncrypted = 1u << 0;
inline constexpr std::uint16_t ZipFlagUtf8Name = 1u << 11;

// The central directory of the archive in `in`, in its order. False, with why in English, when
// there is none or it is damaged (`in` is then left in any state).
bool ReadZipDirectory(std::istream& in, std::vector<ZipDirectoryEntry>& entries, std::string& why);
// True when the entry records a Unix symbolic link.
bool IsZipSymbolicLink(const ZipDirectoryEntry& entry);
// True when the entry is a folder (a name ending in "/", or the folder attribute).
bool IsZipDirectory(const ZipDirectoryEntry& entry);
