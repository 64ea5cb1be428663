#pragma once
// The live check: a deployment fetched as the installer fetches it. Built with libcurl in the
// native build only; elsewhere it answers that it is not available.

#include <filesystem>
#include <string>

#include "tools/config-check/check.h"

// Fetches base (https://HOST[:PORT]) + "/app/lumadesk/version.json" and the package it names,
// with caFile (when not empty) trusted besides the system's certificate authorities, and fills
// check with the document, the package and every failure that would stop the installer. False,
// with why in failure, for what is not the deployment's fault: a base of another form, a CA
// file that cannot be read, no room for the temporary package (or a build without libcurl).
bool CheckLiveDeployment(const std::string& base, const std::filesystem::path& caFile,
                         ConfigCheck& check, std::string& failure);
