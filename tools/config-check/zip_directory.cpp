#include "tools/config-check/zip_directory.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint32_t Zip64EndSignature = 0x06064b50;
constexpr std::uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t EntrySignature = 0x02014b50;
constexpr std::size_t EndSize = 22;
constexpr std::size_t Zip64LocatorSize = 20;
constexpr std::size_t Zip64EndSize = 56;
constexpr std::size_t EntrySize = 46;
constexpr std::size_t LongestComment = 0xFFFF;

std::uint64_t Little(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i - 1]);
    }
    return value;
}

// count bytes from offset, or false when the stream has fewer.
bool ReadAt(std::istream& in, std::uint64_t offset, std::size_t count, std::string& out) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    out.assign(count, '\0');
    in.read(out.data(), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount()) == count;
}

// The archive-wide numbers of the end record (of its ZIP64 form where that is used).
struct DirectoryPlace {
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    std::uint64_t end = 0;  // where the directory must have ended: the first end record
};

bool FindDirectory(std::istream& in, DirectoryPlace& place, std::string& why) {
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < static_cast<std::streamoff>(EndSize)) {
        why = "it is too short to be a ZIP archive";
        return false;
    }
    const auto fileSize = static_cast<std::uint64_t>(length);
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, EndSize + LongestComment));
    std::string tail;
    if (!ReadAt(in, fileSize - tailSize, tailSize, tail)) {
        why = "it cannot be read to its end";
        return false;
    }
    // The end record is the last one whose comment fits in what follows it.
    std::size_t at = tailSize - EndSize + 1;
    bool found = false;
    while (at-- > 0) {
        if (Little(tail, at, 4) == EndSignature &&
            at + EndSize + Little(tail, at + 20, 2) <= tailSize) {
            found = true;
            break;
        }
    }
    if (!found) {
        why = "it has no end of central directory record (not a ZIP archive, or cut short)";
        return false;
    }
    const std::uint64_t endOffset = fileSize - tailSize + at;
    if (Little(tail, at + 4, 2) != 0 || Little(tail, at + 6, 2) != 0) {
        why = "it is one part of a split archive";
        return false;
    }
    place.entries = Little(tail, at + 10, 2);
    place.size = Little(tail, at + 12, 4);
    place.offset = Little(tail, at + 16, 4);
    place.end = endOffset;
    if (place.entries != 0xFFFF && place.size != 0xFFFFFFFF && place.offset != 0xFFFFFFFF)
        return true;

    std::string locator, end64;
    if (endOffset < Zip64LocatorSize ||
        !ReadAt(in, endOffset - Zip64LocatorSize, Zip64LocatorSize, locator) ||
        Little(locator, 0, 4) != Zip64LocatorSignature) {
        return true;  // values that merely look like ZIP64 markers
    }
    const std::uint64_t end64Offset = Little(locator, 8, 8);
    if (end64Offset >= endOffset || !ReadAt(in, end64Offset, Zip64EndSize, end64) ||
        Little(end64, 0, 4) != Zip64EndSignature) {
        why = "its ZIP64 end of central directory record is missing or damaged";
        return false;
    }
    place.entries = Little(end64, 32, 8);
    place.size = Little(end64, 40, 8);
    place.offset = Little(end64, 48, 8);
    place.end = end64Offset;
    return true;
}

// The ZIP64 extra field holds the 8-byte values whose ordinary field is all ones, the
// uncompressed size first.
std::uint64_t Zip64UncompressedSize(const std::string& extra, std::uint64_t ordinary) {
    std::size_t at = 0;
    while (at + 4 <= extra.size()) {
        const std::uint64_t id = Little(extra, at, 2);
        const auto size = static_cast<std::size_t>(Little(extra, at + 2, 2));
        if (at + 4 + size > extra.size()) break;
        if (id == 0x0001 && size >= 8) return Little(extra, at + 4, 8);
        at += 4 + size;
    }
    return ordinary;
}

}  // namespace

bool ReadZipDirectory(std::istream& in, std::vector<ZipDirectoryEntry>& entries, std::string& why) {
    entries.clear();
    DirectoryPlace place;
    if (!FindDirectory(in, place, why)) return false;
    if (place.size > place.end || place.entries > place.size / EntrySize) {
        why = "its end record gives a central directory that does not fit in the file";
        return false;
    }
    std::string directory;
    if (!ReadAt(in, place.offset, static_cast<std::size_t>(place.size), directory) ||
        (place.entries != 0 && Little(directory, 0, 4) != EntrySignature)) {
        // Bytes put before the archive (a self-extractor's stub) shift every offset in it.
        if (!ReadAt(in, place.end - place.size, static_cast<std::size_t>(place.size), directory)) {
            why = "its central directory cannot be read";
            return false;
        }
    }
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < place.entries; ++i) {
        if (at + EntrySize > directory.size() || Little(directory, at, 4) != EntrySignature) {
            why = "its central directory is damaged at entry " + std::to_string(i + 1);
            return false;
        }
        ZipDirectoryEntry entry;
        entry.madeBy = static_cast<std::uint16_t>(Little(directory, at + 4, 2));
        entry.flags = static_cast<std::uint16_t>(Little(directory, at + 8, 2));
        entry.method = static_cast<std::uint16_t>(Little(directory, at + 10, 2));
        entry.uncompressedSize = Little(directory, at + 24, 4);
        const std::size_t nameSize = static_cast<std::size_t>(Little(directory, at + 28, 2));
        const std::size_t extraSize = static_cast<std::size_t>(Little(directory, at + 30, 2));
        const std::size_t commentSize = static_cast<std::size_t>(Little(directory, at + 32, 2));
        entry.externalAttributes = static_cast<std::uint32_t>(Little(directory, at + 38, 4));
        const std::size_t next = at + EntrySize + nameSize + extraSize + commentSize;
        if (next > directory.size()) {
            why = "its central directory is damaged at entry " + std::to_string(i + 1);
            return false;
        }
        entry.name = directory.substr(at + EntrySize, nameSize);
        if (entry.uncompressedSize == 0xFFFFFFFF) {
            entry.uncompressedSize = Zip64UncompressedSize(
                directory.substr(at + EntrySize + nameSize, extraSize), entry.uncompressedSize);
        }
        entries.push_back(std::move(entry));
        at = next;
    }
    return true;
}

bool IsZipSymbolicLink(const ZipDirectoryEntry& entry) {
    const unsigned system = entry.madeBy >> 8;
    constexpr std::uint32_t TypeMask = 0170000, Link = 0120000;
    return (system == 3 || system == 19) && ((entry.externalAttributes >> 16) & TypeMask) == Link;
}

bool IsZipDirectory(const ZipDirectoryEntry& entry) {
    return (!entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\')) ||
           (entry.externalAttributes & 0x10) != 0;
}
