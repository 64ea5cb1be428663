// Times the keyed installer's signature check alone, under Wine: the package's SHA-256 streamed
// through CNG and the entries verified, exactly as the installer does after its download.
//   bench-verify ZIP SIGN
// ZIP is signed for the document the bench publishes (LumaDesk, version "bench", sample_app.exe,
// LumaDesk); SIGN is that document's sign value. The keys are the bench build's.
// Prints one line: seconds=S bytes=N ok=1|0; exits 0 when the signature verified.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/bench_common.h"
#include "config/config.h"
#include "signature/trusted_keys.h"
#include "signature/verify.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: bench-verify ZIP SIGN\n", stderr);
        return 2;
    }
    InstallConfig config;
    config.package_name = L"LumaDesk";
    config.version = L"bench";
    config.application_name = L"sample_app.exe";
    config.desktop_shortcut = L"LumaDesk";
    config.sign = argv[2];
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(argv[1], GetFileExInfoStandard, &data);
    const double start = Now();
    const bool verified = PackageSignatureVerifies(config, argv[1], TrustedPackageKeys());
    const double seconds = Now() - start;
    std::printf("seconds=%.4f bytes=%lld ok=%d\n", seconds,
                (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                verified ? 1 : 0);
    return verified ? 0 : 1;
}
