#include "net/paths.h"

std::vector<std::wstring> DirectoriesToCreate(const std::wstring& path) {
    std::vector<std::wstring> directories;
    const size_t end = path.find_last_of(L"\\/");
    if (end == std::wstring::npos || end == 0) {
        return directories;
    }
    const std::wstring directory = path.substr(0, end);
    // Only backslashes separate levels; a leading one has no prefix in front of it.
    for (size_t i = 1; i < directory.size(); ++i) {
        if (directory[i] == L'\\') {
            directories.push_back(directory.substr(0, i));
        }
    }
    directories.push_back(directory);
    return directories;
}
