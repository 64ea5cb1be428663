// Adds a PEM or DER certificate to the current user's Root store of the Wine prefix, so
// that WinINet accepts the local test server's certificate with its checks left on.
//   trust-ca.exe CERT
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: trust-ca CERT\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty()) {
        std::fputs("trust-ca: cannot read the certificate\n", stderr);
        return 2;
    }
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_ANY,
                              nullptr, &size, nullptr, nullptr)) {
        std::fputs("trust-ca: not a certificate\n", stderr);
        return 2;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_ANY,
                         der.data(), &size, nullptr, nullptr);
    if (!CertAddEncodedCertificateToSystemStoreW(L"Root", der.data(), size)) {
        std::fprintf(stderr, "trust-ca: adding to the Root store failed (%lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
