#pragma once
// The publisher's keys a keyed build trusts: compiled in from INSTALLER_PACKAGE_KEYS by
// cmake/PackageKeys.cmake, which writes the one definition. An unkeyed build links none.

#include <vector>

#include "signature/package_signature.h"

// The trusted keys, in the order given at configure time (1 to 4). Never fails.
std::vector<PackageKey> TrustedPackageKeys();
