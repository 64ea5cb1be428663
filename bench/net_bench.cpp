// Times the installer's transfers outside the installer, under Wine.
//   bench-net floor CONFIG_URL PACKAGE_URL ZIP DIR
//       FetchText(CONFIG_URL), DownloadToFile(PACKAGE_URL, ZIP), then ExtractWithTar(ZIP, DIR):
//       the system folder's tar.exe with the installer's command line.
//   bench-net unpack ZIP DIR
//       only the unpacker, as above.
//   bench-net download VARIANT URL PATH
//       one download of URL into PATH (VARIANT: see Variants below).
// Prints one line of key=value pairs (seconds, bytes); exits 0 when everything worked.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "extract/commands.h"
#include "extract/extract.h"
#include "handles/handles.h"
#include "net/net.h"

namespace {

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Seconds the unpacker took, negative when it failed.
double TimeUnpack(const std::wstring& zip, const std::wstring& dir) {
    CreateDirectoryW(dir.c_str(), nullptr);
    const double start = Now();
    const bool unpacked = ExtractWithTar(zip, dir);
    const double seconds = Now() - start;
    return unpacked ? seconds : -1.0;
}

int Floor(const std::wstring& configUrl, const std::wstring& packageUrl, const std::wstring& zip,
          const std::wstring& dir) {
    const double start = Now();
    const std::wstring text = FetchText(configUrl);
    const double fetched = Now();
    const std::wstring downloaded = DownloadToFile(packageUrl, zip);
    const double done = Now();
    const double unpack = TimeUnpack(zip, dir);
    const bool ok = !text.empty() && !downloaded.empty() && unpack >= 0;
    std::printf("fetch=%.4f download=%.4f unpack=%.4f bytes=%lld ok=%d\n", fetched - start,
                done - fetched, unpack, FileSize(zip), ok ? 1 : 0);
    return ok ? 0 : 1;
}

int Unpack(const std::wstring& zip, const std::wstring& dir) {
    const double unpack = TimeUnpack(zip, dir);
    std::printf("unpack=%.4f ok=%d\n", unpack, unpack >= 0 ? 1 : 0);
    return unpack >= 0 ? 0 : 1;
}

// The installer's transfer loop with one thing changed at a time.
struct Variant {
    const wchar_t* name;
    DWORD flags;       // for InternetOpenUrlW
    DWORD readSize;    // bytes asked for per InternetReadFile
    bool writeToFile;  // false: the bytes are dropped
};

const Variant Variants[] = {
    // INTERNET_FLAG_RELOAD alone, as DownloadToFile passed it until it stopped the cache copy;
    // 4 KiB reads, each written to a binary ofstream as it comes.
    {L"reload", INTERNET_FLAG_RELOAD, 4096, true},
    // The same without the copy that WinINet writes into its cache folder: DownloadToFile's flags.
    {L"nocache", INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 4096, true},
    // Without the cache copy and without our own file: network, TLS and WinINet alone.
    {L"nocache-discard", INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 4096, false},
    // Without the cache copy, with 64 KiB reads.
    {L"nocache-64k", INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 65536, true},
    // The cache copy kept, 64 KiB reads.
    {L"reload-64k", INTERNET_FLAG_RELOAD, 65536, true},
};

// Bytes received, or -1 when the session, the URL or the file could not be opened.
long long BareDownload(const Variant& variant, const std::wstring& url, const std::wstring& path) {
    const InternetHandle session(
        InternetOpenW(L"Installer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) return -1;
    const InternetHandle request(
        InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0, variant.flags, 0));
    if (!request) return -1;
    std::ofstream file;
    if (variant.writeToFile) {
        file.open(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
        if (!file.is_open()) return -1;
    }
    std::vector<char> buffer(variant.readSize);
    long long received = 0;
    for (;;) {
        DWORD count = 0;
        if (!InternetReadFile(request.get(), buffer.data(), variant.readSize, &count) || count == 0)
            break;
        received += count;
        if (variant.writeToFile) file.write(buffer.data(), count);
    }
    return received;
}

int Download(const std::wstring& variantName, const std::wstring& url, const std::wstring& path) {
    long long bytes = -1;
    const double start = Now();
    if (variantName == L"product") {
        if (!DownloadToFile(url, path).empty()) bytes = FileSize(path);
    } else {
        for (const Variant& variant : Variants) {
            if (variantName == variant.name) bytes = BareDownload(variant, url, path);
        }
    }
    const double seconds = Now() - start;
    std::printf("seconds=%.4f bytes=%lld ok=%d\n", seconds, bytes, bytes > 0 ? 1 : 0);
    return bytes > 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"floor" && argc == 6) return Floor(argv[2], argv[3], argv[4], argv[5]);
    if (mode == L"unpack" && argc == 4) return Unpack(argv[2], argv[3]);
    if (mode == L"download" && argc == 5) return Download(argv[2], argv[3], argv[4]);
    std::fputs(
        "usage: bench-net floor CONFIG_URL PACKAGE_URL ZIP DIR\n"
        "       bench-net unpack ZIP DIR\n"
        "       bench-net download product|reload|nocache|nocache-discard|nocache-64k|reload-64k"
        " URL PATH\n",
        stderr);
    return 2;
}
