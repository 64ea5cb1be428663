#pragma once
// The publisher's signature in an install run. An unkeyed build (the default) links the version
// that reads nothing; a keyed build links the one that checks against its trusted keys in place
// of it.

#include <string>

#include "config/config.h"

// Keyed: false, with the texts shown, when config.sign holds no well-formed entry for a trusted
// key. Unkeyed: true, and sign is never read.
bool AcceptDocumentSignature(const InstallConfig& config);
// Keyed: shows the check, and false, with the package deleted and the texts shown, when no entry
// for a trusted key verifies over config and the package at packagePath. Unkeyed: true, and
// nothing is shown or read.
bool AcceptPackageSignature(const InstallConfig& config, const std::wstring& packagePath);
