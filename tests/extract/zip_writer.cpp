#include "tests/extract/zip_writer.h"

#include <zlib.h>

namespace {

void PutU16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void PutU32(std::string& out, unsigned long value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, (value >> 16) & 0xFFFF);
}

std::string RawDeflate(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

bool IsAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

}  // namespace

std::string BuildZip(const std::vector<ZipWriterEntry>& entries) {
    constexpr unsigned DosTime = 0;
    constexpr unsigned DosDate = (1 << 5) | 1;  // 1980-01-01
    std::string archive;
    std::string directory;
    for (const ZipWriterEntry& entry : entries) {
        const unsigned method = entry.deflate ? 8 : 0;
        const std::string packed = entry.deflate ? RawDeflate(entry.data) : entry.data;
        const unsigned long crc = crc32(0L, reinterpret_cast<const Bytef*>(entry.data.data()),
                                        static_cast<uInt>(entry.data.size()));
        const unsigned flags = IsAscii(entry.name) ? 0 : 0x800;
        const unsigned long offset = static_cast<unsigned long>(archive.size());

        // From "version needed" to the extra field's length (none), the local header and the
        // central directory record alike.
        std::string common;
        PutU16(common, 20);
        PutU16(common, flags);
        PutU16(common, method);
        PutU16(common, DosTime);
        PutU16(common, DosDate);
        PutU32(common, crc);
        PutU32(common, static_cast<unsigned long>(packed.size()));
        PutU32(common, static_cast<unsigned long>(entry.data.size()));
        PutU16(common, static_cast<unsigned>(entry.name.size()));
        PutU16(common, 0);

        PutU32(archive, 0x04034b50);
        archive += common;
        archive += entry.name;
        archive += packed;

        PutU32(directory, 0x02014b50);
        PutU16(directory, 20);  // made by
        directory += common;
        PutU16(directory, 0);  // comment length
        PutU16(directory, 0);  // first disk
        PutU16(directory, 0);  // internal attributes
        const bool folder = !entry.name.empty() && entry.name.back() == '/';
        PutU32(directory, folder ? 0x10 : 0x20);
        PutU32(directory, offset);
        directory += entry.name;
    }
    const unsigned long directoryOffset = static_cast<unsigned long>(archive.size());
    archive += directory;
    PutU32(archive, 0x06054b50);
    PutU16(archive, 0);
    PutU16(archive, 0);
    PutU16(archive, static_cast<unsigned>(entries.size()));
    PutU16(archive, static_cast<unsigned>(entries.size()));
    PutU32(archive, static_cast<unsigned long>(directory.size()));
    PutU32(archive, directoryOffset);
    PutU16(archive, 0);
    return archive;
}
