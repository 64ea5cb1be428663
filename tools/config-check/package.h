#pragma once
// The package check: a ZIP archive read as the installer's unpackers would read it. Built with
// libarchive in the native build only; elsewhere it answers that it is not available.

#include <filesystem>
#include <string>

#include "tools/config-check/check.h"

// Adds to check the errors and warnings of the archive at path for check.config and fills
// check.package; an archive that is no readable ZIP is one of those errors. False, with why in
// failure, when the file cannot be read at all (or the build cannot read packages).
bool CheckPackageFile(const std::filesystem::path& path, ConfigCheck& check, std::string& failure);
