#pragma once
// What the installer's three unpackers (tar.exe, the shell's ZIP folders, Expand-Archive) would
// make of a package's entries, and whether the program the document names is where the
// installer looks for it.

#include <vector>

#include "config/config.h"
#include "extract/zip_listing.h"
#include "tools/config-check/check.h"
#include "tools/config-check/pitfalls.h"

// The problems of a package with these entries for the names in config, one English sentence
// for each kind of problem (naming the first entry that has it); summary is filled in.
// Never fails.
Findings CheckPackageEntries(const std::vector<ZipEntry>& entries, const InstallConfig& config,
                             PackageSummary& summary);
// name (an entry's or other bytes) in quotation marks for a message: as UTF-8 where it is valid,
// other bytes as \xNN; shortened when long.
std::wstring ShownEntryName(const std::string& name);
