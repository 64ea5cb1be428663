// The package and live checks in a build without libarchive and libcurl (the Windows one).

#include "tools/config-check/live.h"
#include "tools/config-check/package.h"

bool CheckPackageFile(const std::filesystem::path&, ConfigCheck&, std::string& failure) {
    failure = "--package is not available in this build (it needs libarchive)";
    return false;
}

bool CheckLiveDeployment(const std::string&, const std::filesystem::path&, ConfigCheck&,
                         std::string& failure) {
    failure = "--live is not available in this build (it needs libcurl)";
    return false;
}
