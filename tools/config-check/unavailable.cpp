// The package, live and signature checks in a build without libarchive, libcurl and OpenSSL
// (the Windows one).

#include "tools/config-check/live.h"
#include "tools/config-check/package.h"
#include "tools/config-check/signature_check.h"

bool CheckPackageFile(const std::filesystem::path&, ConfigCheck&, std::string& failure) {
    failure = "--package is not available in this build (it needs libarchive)";
    return false;
}

bool CheckLiveDeployment(const std::string&, const std::filesystem::path&, ConfigCheck&,
                         std::string& failure) {
    failure = "--live is not available in this build (it needs libcurl)";
    return false;
}

bool ReadPublicKeyFile(const std::filesystem::path&, PackageKey&, std::string& failure) {
    failure = "--public-key is not available in this build (it needs OpenSSL)";
    return false;
}

bool CheckPackageSignature(const std::filesystem::path&, ConfigCheck&, std::string& failure) {
    failure = "signatures cannot be verified in this build (it needs OpenSSL)";
    return false;
}

std::string FileSha256(const std::filesystem::path&) { return {}; }
