// An unkeyed build: sign is carried and never read, and the run goes on as it always has.
#include "install/package_signature_check.h"
#include "net/net.h"

bool AcceptDocumentSignature(const InstallConfig&) { return true; }

std::wstring DownloadPackage(const std::wstring& url, const std::wstring& packagePath,
                             HeldPackage&) {
    return DownloadToFile(url, packagePath);
}

bool AcceptPackageSignature(const InstallConfig&, const std::wstring&, HeldPackage&) {
    return true;
}

bool PrepareReadSharingUnpack(const std::wstring&, HeldPackage&) { return true; }
