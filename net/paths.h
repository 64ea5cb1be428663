#pragma once
// Portable path logic of the download: which directories DownloadToFile creates.

#include <string>
#include <vector>

// The directories to create for path, in creation order (each backslash-ended prefix of
// the directory part, then the directory part itself); empty when path has no directory part.
std::vector<std::wstring> DirectoriesToCreate(const std::wstring& path);
