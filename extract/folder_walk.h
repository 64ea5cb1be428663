#pragma once
// Counting the files an unpacker left below a folder, over a lister that reads one folder at a
// time (FindFirstFileW on Windows), and the path form that reaches below MAX_PATH's limit.
// Portable.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One entry of a folder as the system lists it.
struct ListedEntry {
    std::wstring name;
    bool isDirectory = false;
    bool isReparsePoint = false;   // FILE_ATTRIBUTE_REPARSE_POINT
    std::uint32_t reparseTag = 0;  // its tag (WIN32_FIND_DATAW::dwReserved0); 0 when not reported
};

// Fills entries with what folder holds, "." and ".." left out; false when it cannot be listed.
using FolderLister =
    std::function<bool(const std::wstring& folder, std::vector<ListedEntry>& entries)>;

// True when the walk passes over the entry without counting or entering it: a link to another
// place (a name surrogate: symbolic link, junction, mount point) or a reparse point whose kind
// is not reported.
bool IsPassedOver(const ListedEntry& entry);

// The files below top, its subfolders included, except entries at top for which ignoredAtTop is
// true (may be empty). Folders that cannot be listed add nothing; 0 when lister is empty or
// memory runs out.
std::uint64_t CountFilesBelow(const std::wstring& top,
                              const std::function<bool(const std::wstring& name)>& ignoredAtTop,
                              const FolderLister& lister);

// relativePath below folder, with one "\" between them.
std::wstring PathBelow(const std::wstring& folder, const std::wstring& relativePath);

// fullPath ("C:\..." or "\\server\share\...", as GetFullPathNameW returns it) as a "\\?\" path,
// which reaches past MAX_PATH and names files exactly as given; a path already in that form (or
// a "\\.\" device path) unchanged. Empty for a path that is not full.
std::wstring ExtendedLengthPath(const std::wstring& fullPath);
