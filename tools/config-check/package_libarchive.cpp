#include "tools/config-check/package.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "extract/zip_listing.h"
#include "tools/config-check/package_rules.h"
#include "names/utf8.h"
#include "tools/config-check/signature_check.h"

namespace {

using LibarchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

// The file from byte start on, as an archive of its own; false on a short read.
ArchiveReader ReaderFrom(std::ifstream& file, std::uint64_t start) {
    return [&file, start](std::uint64_t offset, std::size_t size, std::string& out) {
        file.clear();
        if (!file.seekg(static_cast<std::streamoff>(start + offset))) return false;
        out.assign(size, '\0');
        file.read(out.data(), static_cast<std::streamsize>(size));
        return static_cast<std::size_t>(file.gcount()) == size;
    };
}

// The bytes a self-extractor's stub puts before the archive, which shift every offset in it: how
// far the last end record lies past where its central directory would end. 0 when none.
std::uint64_t StubSize(const ArchiveReader& read, std::uint64_t fileSize) {
    constexpr std::uint64_t EndRecordSize = 22, LongestComment = 0xFFFF;
    const std::uint64_t tailAt = fileSize - std::min(fileSize, EndRecordSize + LongestComment);
    std::string tail;
    if (!read(tailAt, static_cast<std::size_t>(fileSize - tailAt), tail)) return 0;
    const std::size_t at = tail.rfind("PK\5\6");
    if (at == std::string::npos || tail.size() - at < EndRecordSize) return 0;
    const auto field = [&](std::size_t from) {
        std::uint64_t value = 0;
        for (std::size_t i = 4; i-- > 0;)
            value = (value << 8) | static_cast<unsigned char>(tail[from + i]);
        return value;
    };
    const std::uint64_t directoryEnd = field(at + 12) + field(at + 16);  // size + offset
    return tailAt + at > directoryEnd ? tailAt + at - directoryEnd : 0;
}

const wchar_t TarLibrary[] = L"libarchive (the library of Windows' tar.exe)";

std::wstring LastError(archive* reader) {
    const char* message = archive_error_string(reader);
    return DecodeUtf8AsWindowsDoes(message ? message : "unknown error");
}

// What tar.exe's library makes of the archive: one error when it cannot list it, and one for
// each kind of failure to unpack an entry, naming the first entry and how many have it.
void ReadAsTarDoes(const std::filesystem::path& path, std::vector<Finding>& errors) {
    LibarchiveReader reader(archive_read_new(), archive_read_free);
    if (!reader) throw std::bad_alloc();
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), path.c_str(), std::size_t{1} << 16) !=
        ARCHIVE_OK) {
        errors.push_back({"tar-cannot-open", std::wstring(TarLibrary) +
                                                 L" cannot open the package: " +
                                                 LastError(reader.get()) + L"."});
        return;
    }
    std::vector<std::pair<std::wstring, std::pair<std::wstring, std::size_t>>> failures;
    const auto fail = [&](const std::wstring& shown, const std::wstring& why) {
        for (auto& [message, entries] : failures) {
            if (message == why) {
                ++entries.second;
                return;
            }
        }
        failures.push_back({why, {shown, 1}});
    };
    for (;;) {
        archive_entry* entry = nullptr;
        const int header = archive_read_next_header(reader.get(), &entry);
        if (header == ARCHIVE_EOF) break;
        if (header == ARCHIVE_FATAL) {
            errors.push_back({"tar-cannot-list", std::wstring(TarLibrary) +
                                                     L" cannot read the package's entries: " +
                                                     LastError(reader.get()) + L"."});
            break;
        }
        const char* name = archive_entry_pathname(entry);
        const std::wstring shown = ShownEntryName(name ? name : "");
        if (header == ARCHIVE_FAILED) {
            fail(shown, LastError(reader.get()));
            continue;
        }
        // Encryption is told from the central directory; without a password nothing is read.
        if (archive_entry_is_encrypted(entry)) continue;
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        int data = ARCHIVE_OK;
        do {
            data = archive_read_data_block(reader.get(), &block, &size, &offset);
        } while (data == ARCHIVE_OK || data == ARCHIVE_WARN);
        if (data == ARCHIVE_EOF) continue;
        fail(shown, LastError(reader.get()));
        if (data == ARCHIVE_FATAL) break;
    }
    for (const auto& [why, entries] : failures) {
        errors.push_back({"tar-cannot-unpack",
                          (entries.second == 1 ? L"Entry " + entries.first
                                               : std::to_wstring(entries.second) +
                                                     L" entries, the first " + entries.first) +
                              L": " + TarLibrary + L" cannot unpack it: " + why + L"."});
    }
}

}  // namespace

bool CheckPackageFile(const std::filesystem::path& path, ConfigCheck& check, std::string& failure) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        failure = path.string() + " is a folder";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    const std::uint64_t size = std::filesystem::file_size(path, error);
    if (!file || error) {
        failure = "cannot read " + path.string();
        return false;
    }
    check.packageChecked = true;
    check.package = {};
    if (!check.publicKeys.empty() && !CheckPackageSignature(path, check, failure)) return false;
    if (check.config.sign.size() == 64) {
        const std::string hash = FileSha256(path);
        if (hash.empty()) {
            failure = "cannot read " + path.string();
            return false;
        }
        CompareSignWithPackageHash(check, hash);
    }
    std::optional<std::vector<ZipEntry>> entries = ListZipEntries(size, ReaderFrom(file, 0));
    // The unpackers read past a self-extractor's stub; the installer's listing does not.
    const std::uint64_t stub = entries ? 0 : StubSize(ReaderFrom(file, 0), size);
    if (stub != 0) entries = ListZipEntries(size - stub, ReaderFrom(file, stub));
    if (!entries) {
        check.errors.push_back(
            {"not-a-zip",
             L"The package is not a readable ZIP archive: its central directory is missing, cut "
             L"short, damaged or split across files."});
        return true;
    }
    Findings found = CheckPackageEntries(*entries, check.config, check.package);
    for (auto& [from, to] :
         {std::pair{&found.errors, &check.errors}, std::pair{&found.warnings, &check.warnings}}) {
        to->insert(to->end(), std::make_move_iterator(from->begin()),
                   std::make_move_iterator(from->end()));
    }
    // The shell's ZIP folders and Expand-Archive go by the central directory, tar.exe by
    // libarchive's reading: both must hold.
    ReadAsTarDoes(path, check.errors);
    return true;
}
