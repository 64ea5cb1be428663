#include "extract/zip_listing.h"

#include <algorithm>
#include <limits>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string_view>

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

// Strict UTF-8 (no overlong forms, surrogates, code points past U+10FFFF or cut sequences),
// as UTF-16 where wchar_t has 16 bits (Windows) and as code points where it has 32.
std::optional<std::wstring> DecodeUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            length = 1, code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (bytes.size() - at < length) return std::nullopt;
        for (std::size_t i = 1; i < length; ++i) {
            const unsigned char next = static_cast<unsigned char>(bytes[at + i]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return std::nullopt;
        if constexpr (sizeof(wchar_t) == 2) {
            if (code >= 0x10000) {
                code -= 0x10000;
                text += static_cast<wchar_t>(0xD800 + (code >> 10));
                code = 0xDC00 + (code & 0x3FF);
            }
        }
        text += static_cast<wchar_t>(code);
        at += length;
    }
    return text;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows drops the dots and blanks that end a name whenever it reads a path, except through
// "\\?\" paths: tar writes such names through those as stored, the shell's ZIP folders and
// Expand-Archive without them. path with each component ("\" between them) so trimmed; works on
// the bytes of any code page too, where dots and blanks are never part of a wider character.
template <typename Char>
std::basic_string<Char> WithoutEndingDotsAndBlanks(const std::basic_string<Char>& path) {
    std::basic_string<Char> trimmed;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find(Char('\\'), at), path.size());
        std::size_t kept = end;
        while (kept > at && (path[kept - 1] == Char('.') || path[kept - 1] == Char(' '))) --kept;
        if (at != 0) trimmed += Char('\\');
        trimmed.append(path, at, kept - at);
        at = end + 1;
    }
    return trimmed;
}

// Windows keeps these device names for itself, with any extension and blanks after the name.
bool IsDeviceName(std::string_view component) {
    std::string stem(component.substr(0, component.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), FoldAscii);
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
           stem[3] >= '0' && stem[3] <= '9';
}

bool IsSafeComponent(std::string_view component) {
    for (char c : component) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) return false;
    }
    if (WithoutEndingDotsAndBlanks(std::string(component)).empty()) return false;
    return !IsDeviceName(component);
}

// The stored name's components joined by "\", empty and "." ones dropped (Windows and the
// unpackers ignore them: "./a" is "a"). Separators are the same ASCII bytes in UTF-8 and in the
// other code pages, so this works on the bytes before any decoding.
std::string NormalizedPath(std::string_view stored) {
    std::string path;
    std::size_t at = 0;
    while (at <= stored.size()) {
        std::size_t end = at;
        while (end < stored.size() && !IsSeparator(stored[end])) ++end;
        const std::string_view component = stored.substr(at, end - at);
        if (!component.empty() && component != ".") {
            if (!path.empty()) path += '\\';
            path += component;
        }
        at = end + 1;
    }
    return path;
}

// Names a Windows folder cannot hold below itself: the unpackers refuse them or each rewrite
// them their own way (drive letters dropped, ".." skipped or stripped), so such entries are
// neither looked up nor counted. Calling a name unsafe only makes the folder check laxer.
bool SafePath(std::string_view stored, const std::string& normalized) {
    if (normalized.empty() || IsSeparator(stored.front())) return false;
    for (std::size_t at = 0; at <= normalized.size();) {
        const std::size_t end = std::min(normalized.find('\\', at), normalized.size());
        if (!IsSafeComponent(std::string_view(normalized).substr(at, end - at))) return false;
        at = end + 1;
    }
    return true;
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
    if ((flags & ZipFlagUtf8Name) != 0 || IsAscii(normalized)) decoded = DecodeUtf8(normalized);
    entry.nameIsPortable = decoded.has_value();
    if (decoded) entry.name = std::move(*decoded);
    entry.isDirectory = (!entry.storedName.empty() && IsSeparator(entry.storedName.back())) ||
                        (attributes & MsDosDirectoryAttribute) != 0;
    entry.isSymbolicLink = (host == UnixHost || host == DarwinHost) &&
                           ((attributes >> 16) & UnixFileTypeMask) == UnixSymbolicLinkType;
    entry.isUnsafe = !SafePath(entry.storedName, normalized);
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

std::wstring FoldAsciiWide(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
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
                std::string key = WithoutEndingDotsAndBlanks(NormalizedPath(entry.storedName));
                std::transform(key.begin(), key.end(), key.begin(), FoldAscii);
                otherFiles.insert(std::move(key));
                continue;
            }
            if (entry.endsInDotOrBlank) {
                if (!entry.isDirectory)
                    trimmedFiles.insert(FoldAsciiWide(WithoutEndingDotsAndBlanks(entry.name)));
                continue;
            }
            Wanted& wanted = portable[FoldAsciiWide(entry.name)];
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
