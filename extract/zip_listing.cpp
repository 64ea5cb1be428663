#include "extract/zip_listing.h"

#include <algorithm>
#include <limits>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string_view>

#include "names/names.h"
#include "names/utf8.h"

namespace {

constexpr std::uint32_t EndRecordSignature = 0x06054b50;
constexpr std::uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t Zip64EndRecordSignature = 0x06064b50;
constexpr std::uint32_t CentralHeaderSignature = 0x02014b50;
constexpr std::uint64_t EndRecordSize = 22;
constexpr std::uint64_t MaxCommentSize = 0xFFFF;
constexpr std::uint64_t Zip64LocatorSize = 20;
constexpr std::uint64_t Zip64EndRecordSize = 56;
constexpr std::uint64_t Zip64EndRecordFixedTail = 44;  // what its own size field counts at least
constexpr std::uint64_t CentralHeaderSize = 46;
constexpr std::uint64_t LocalHeaderSize = 30;
// Far above any package's (some 600,000 entries), low enough to hold in memory at once.
constexpr std::uint64_t MaxCentralDirectorySize = 64u << 20;
constexpr std::uint16_t Zip64ExtraId = 0x0001;
constexpr std::uint16_t Marker16 = 0xFFFF;
constexpr std::uint32_t Marker32 = 0xFFFFFFFF;
constexpr std::uint32_t MsDosDirectoryAttribute = 0x10;
constexpr unsigned UnixHost = 3;
constexpr unsigned DarwinHost = 19;
constexpr std::uint32_t UnixFileTypeMask = 0170000;
constexpr std::uint32_t UnixSymbolicLinkType = 0120000;

// Little-endian fields; callers have checked that the bytes are there.
std::uint64_t ReadLittleEndian(std::string_view bytes, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}
std::uint16_t Read16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(ReadLittleEndian(bytes, at, 2));
}
std::uint32_t Read32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(ReadLittleEndian(bytes, at, 4));
}
std::uint64_t Read64(std::string_view bytes, std::size_t at) {
    return ReadLittleEndian(bytes, at, 8);
}

bool ReadRange(const ArchiveReader& read, std::uint64_t archiveSize, std::uint64_t offset,
               std::uint64_t size, std::string& out) {
    if (offset > archiveSize || size > archiveSize - offset) return false;
    if (size > std::numeric_limits<std::size_t>::max()) return false;
    out.clear();
    return read(offset, static_cast<std::size_t>(size), out) && out.size() == size;
}

struct DirectoryPlace {
    std::uint64_t entryCount = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t end = 0;  // where the records after the central directory begin
};

// The ZIP64 end record that the locator (just before the end record) names.
std::optional<DirectoryPlace> ReadZip64End(const ArchiveReader& read, std::uint64_t archiveSize,
                                           std::uint64_t locatorAt, std::string_view locator) {
    const std::uint64_t recordAt = Read64(locator, 8);
    if (Read32(locator, 4) != 0 || Read32(locator, 16) > 1) return std::nullopt;
    std::string record;
    if (recordAt > locatorAt || locatorAt - recordAt < Zip64EndRecordSize ||
        !ReadRange(read, archiveSize, recordAt, Zip64EndRecordSize, record) ||
        Read32(record, 0) != Zip64EndRecordSignature) {
        return std::nullopt;
    }
    const std::uint64_t recordTail = Read64(record, 4);
    if (recordTail < Zip64EndRecordFixedTail || recordTail > locatorAt - recordAt - 12 ||
        Read32(record, 16) != 0 || Read32(record, 20) != 0 ||
        Read64(record, 24) != Read64(record, 32)) {
        return std::nullopt;
    }
    return DirectoryPlace{Read64(record, 32), Read64(record, 48), Read64(record, 40), recordAt};
}

// The end record is searched from the end backwards, as the unpackers do, past a comment and
// bytes appended after it; the first signature whose record is plausible is the one.
std::optional<DirectoryPlace> FindCentralDirectory(const ArchiveReader& read,
                                                   std::uint64_t archiveSize) {
    if (archiveSize < EndRecordSize) return std::nullopt;
    const std::uint64_t tailSize = std::min(archiveSize, EndRecordSize + MaxCommentSize);
    const std::uint64_t tailAt = archiveSize - tailSize;
    std::string tail;
    if (!ReadRange(read, archiveSize, tailAt, tailSize, tail)) return std::nullopt;
    for (std::size_t at = tail.size() - EndRecordSize + 1; at-- > 0;) {
        if (Read32(tail, at) != EndRecordSignature) continue;
        const std::uint16_t disk = Read16(tail, at + 4);
        const std::uint16_t directoryDisk = Read16(tail, at + 6);
        const std::uint16_t entriesOnDisk = Read16(tail, at + 8);
        const std::uint16_t entries = Read16(tail, at + 10);
        const std::uint32_t size = Read32(tail, at + 12);
        const std::uint32_t offset = Read32(tail, at + 16);
        const std::uint16_t commentSize = Read16(tail, at + 20);
        if (tail.size() - at - EndRecordSize < commentSize) continue;
        if ((disk != 0 && disk != Marker16) || (directoryDisk != 0 && directoryDisk != Marker16) ||
            entriesOnDisk != entries) {
            continue;
        }
        const std::uint64_t endRecordAt = tailAt + at;
        if (endRecordAt >= Zip64LocatorSize) {
            const std::uint64_t locatorAt = endRecordAt - Zip64LocatorSize;
            std::string locator;
            if (!ReadRange(read, archiveSize, locatorAt, Zip64LocatorSize, locator))
                return std::nullopt;
            if (Read32(locator, 0) == Zip64LocatorSignature)
                return ReadZip64End(read, archiveSize, locatorAt, locator);
        }
        // Without ZIP64 records a marker value is taken as it stands: some writers store
        // exactly 65535 entries so, and the checks below reject the rest.
        if (disk != 0 || directoryDisk != 0 || offset > endRecordAt || size > endRecordAt - offset)
            continue;
        return DirectoryPlace{entries, offset, size, endRecordAt};
    }
    return std::nullopt;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The stored name as Windows' rules read it: decoded where it is portable, else byte for byte
// (the ASCII rules are exact on any code page's bytes; a wider character misread only calls a
// name unsafe, which makes the folder check laxer).
StoredName ReadName(std::string_view stored, const std::optional<std::wstring>& decoded) {
    if (decoded) return ReadStoredName(*decoded);
    std::wstring bytes;
    for (const char c : stored) bytes += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return ReadStoredName(bytes);
}

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct EntrySizes {
    std::uint64_t uncompressed = 0;
    std::uint64_t compressed = 0;
    std::uint64_t localHeaderAt = 0;
    std::uint32_t disk = 0;
};

// Fields stored as ZIP64 markers come from the ZIP64 extra field, in this order, and only
// those; without that field a marker is the value itself (a file of exactly 4 GiB - 1 bytes).
// False when the field is there but too short, or the extra fields overrun their space.
bool ResolveZip64(std::string_view extra, EntrySizes& sizes) {
    const bool needUncompressed = sizes.uncompressed == Marker32;
    const bool needCompressed = sizes.compressed == Marker32;
    const bool needOffset = sizes.localHeaderAt == Marker32;
    const bool needDisk = sizes.disk == Marker16;
    if (!needUncompressed && !needCompressed && !needOffset && !needDisk) return true;
    for (std::size_t at = 0; extra.size() - at >= 4;) {
        const std::uint16_t id = Read16(extra, at);
        const std::uint16_t size = Read16(extra, at + 2);
        at += 4;
        if (extra.size() - at < size) return false;
        if (id != Zip64ExtraId) {
            at += size;
            continue;
        }
        const std::string_view field = extra.substr(at, size);
        std::size_t used = 0;
        const auto take = [&](std::uint64_t& value, bool needed, std::size_t width) {
            if (!needed) return true;
            if (field.size() - used < width) return false;
            value = width == 8 ? Read64(field, used) : Read32(field, used);
            used += width;
            return true;
        };
        std::uint64_t disk = sizes.disk;
        if (!take(sizes.uncompressed, needUncompressed, 8) ||
            !take(sizes.compressed, needCompressed, 8) ||
            !take(sizes.localHeaderAt, needOffset, 8) || !take(disk, needDisk, 4)) {
            return false;
        }
        sizes.disk = static_cast<std::uint32_t>(disk);
        return true;
    }
    return true;
}

// One central header at the start of header, whose size is already checked; false when it
// contradicts the archive's layout.
bool ReadCentralHeader(std::string_view header, std::size_t nameSize, std::size_t extraSize,
                       const DirectoryPlace& place, ZipEntry& entry) {
    const unsigned host = Read16(header, 4) >> 8;
    const std::uint16_t flags = Read16(header, 8);
    const std::uint32_t attributes = Read32(header, 38);
    EntrySizes sizes{Read32(header, 24), Read32(header, 20), Read32(header, 42),
                     Read16(header, 34)};
    if (!ResolveZip64(header.substr(CentralHeaderSize + nameSize, extraSize), sizes)) return false;
    // The entry's local header and data lie before the central directory.
    if (sizes.disk != 0 || sizes.localHeaderAt > place.offset ||
        place.offset - sizes.localHeaderAt < LocalHeaderSize ||
        sizes.compressed > place.offset - sizes.localHeaderAt - LocalHeaderSize) {
        return false;
    }
    entry.storedName = header.substr(CentralHeaderSize, nameSize);
    const std::string normalized = NormalizedPath(entry.storedName);
    std::optional<std::wstring> decoded;
    if ((flags & ZipFlagUtf8Name) != 0 || IsAscii(entry.storedName))
        decoded = DecodeUtf8Strictly(entry.storedName);
    entry.nameIsPortable = decoded.has_value();
    // Names a Windows folder cannot hold below itself: the unpackers refuse them or each
    // rewrite them their own way (drive letters dropped, ".." skipped or stripped), so such
    // entries are neither looked up nor counted.
    entry.isUnsafe = !HasPlaceBelowAFolder(ReadName(entry.storedName, decoded));
    if (decoded) entry.name = NormalizedPath(*decoded);
    entry.isDirectory = (!entry.storedName.empty() && IsSeparator(entry.storedName.back())) ||
                        (attributes & MsDosDirectoryAttribute) != 0;
    entry.isSymbolicLink = (host == UnixHost || host == DarwinHost) &&
                           ((attributes >> 16) & UnixFileTypeMask) == UnixSymbolicLinkType;
    entry.endsInDotOrBlank = WithoutEndingDotsAndBlanks(normalized) != normalized;
    entry.uncompressedSize = sizes.uncompressed;
    entry.flags = flags;
    entry.method = Read16(header, 10);
    return true;
}

std::optional<std::vector<ZipEntry>> ReadCentralDirectory(const ArchiveReader& read,
                                                          std::uint64_t archiveSize) {
    const std::optional<DirectoryPlace> place = FindCentralDirectory(read, archiveSize);
    if (!place || place->size > MaxCentralDirectorySize || place->offset > place->end ||
        place->size > place->end - place->offset) {
        return std::nullopt;
    }
    // A count the directory's size cannot hold fails here, before anything is allocated for it.
    if (place->entryCount > place->size / CentralHeaderSize) return std::nullopt;
    std::string directory;
    if (!ReadRange(read, archiveSize, place->offset, place->size, directory)) return std::nullopt;
    std::vector<ZipEntry> entries;
    entries.reserve(static_cast<std::size_t>(place->entryCount));
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < place->entryCount; ++i) {
        const std::string_view rest = std::string_view(directory).substr(at);
        if (rest.size() < CentralHeaderSize || Read32(rest, 0) != CentralHeaderSignature)
            return std::nullopt;
        const std::size_t nameSize = Read16(rest, 28);
        const std::size_t extraSize = Read16(rest, 30);
        const std::size_t commentSize = Read16(rest, 32);
        const std::size_t headerSize = CentralHeaderSize + nameSize + extraSize + commentSize;
        if (rest.size() < headerSize) return std::nullopt;
        ZipEntry entry;
        if (!ReadCentralHeader(rest.substr(0, headerSize), nameSize, extraSize, *place, entry))
            return std::nullopt;
        entries.push_back(std::move(entry));
        at += headerSize;
    }
    if (at != directory.size()) return std::nullopt;
    return entries;
}

}  // namespace

std::optional<std::vector<ZipEntry>> ListZipEntries(std::uint64_t archiveSize,
                                                    const ArchiveReader& read) {
    if (!read) return std::nullopt;
    try {
        return ReadCentralDirectory(read, archiveSize);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

// Checked: entries that are safe and not links. Portable names are looked up once per name
// (ASCII letters' case folded, as Windows folds them; other letters' case is not folded, so such
// pairs count as two); each entry of a name stored twice brings its size, and the file may have
// any of them, since unpackers differ in which copy they write last. A name that is a file and
// also a directory (by an entry, or as another entry's parent) is skipped: no folder holds
// both. Directories only implied by their files' paths are not looked up: the files are. Names
// in other code pages are never looked up (each unpacker decodes them its own way) but their
// distinct files are counted, and so are names with a component that ends in a dot or a blank
// (each unpacker writes them its own way), as they are without those: "a" and "a." stored both
// make one file where the shell unpacks. The folder must hold at least as many files as are
// counted.
bool FolderHoldsArchive(const std::vector<ZipEntry>& entries,
                        const std::function<FoundEntry(const std::wstring& relativePath)>& lookup,
                        std::uint64_t fileCountInFolder) {
    if (!lookup) return false;
    try {
        struct Wanted {
            std::wstring name;
            bool asFile = false;
            bool asDirectory = false;
            std::vector<std::uint64_t> sizes;
        };
        std::map<std::wstring, Wanted> portable;
        std::set<std::string> otherFiles;
        std::set<std::wstring> trimmedFiles;
        for (const ZipEntry& entry : entries) {
            if (entry.isUnsafe || entry.isSymbolicLink) continue;
            if (!entry.nameIsPortable) {
                if (entry.isDirectory) continue;
                otherFiles.insert(
                    FoldAsciiCase(WithoutEndingDotsAndBlanks(NormalizedPath(entry.storedName))));
                continue;
            }
            if (entry.endsInDotOrBlank) {
                if (!entry.isDirectory)
                    trimmedFiles.insert(FoldAsciiCase(WithoutEndingDotsAndBlanks(entry.name)));
                continue;
            }
            Wanted& wanted = portable[FoldAsciiCase(entry.name)];
            if (wanted.name.empty()) wanted.name = entry.name;
            if (entry.isDirectory) {
                wanted.asDirectory = true;
            } else {
                wanted.asFile = true;
                wanted.sizes.push_back(entry.uncompressedSize);
            }
        }
        std::uint64_t filesWanted = otherFiles.size();
        for (const auto& [key, wanted] : portable) {
            // Names below key sort right after key + "\".
            const std::wstring asParent = key + L'\\';
            const auto next = portable.lower_bound(asParent);
            const bool isParent = next != portable.end() && next->first.starts_with(asParent);
            if (wanted.asFile && (wanted.asDirectory || isParent)) continue;
            const FoundEntry found = lookup(wanted.name);
            if (!found.exists || found.isDirectory != wanted.asDirectory) return false;
            if (wanted.asDirectory) continue;
            if (std::find(wanted.sizes.begin(), wanted.sizes.end(), found.size) ==
                wanted.sizes.end()) {
                return false;
            }
            ++filesWanted;
            trimmedFiles.erase(key);
        }
        filesWanted += trimmedFiles.size();
        return fileCountInFolder >= filesWanted;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}
