#include "extract/folder_walk.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace {

// Bit 29 of a reparse tag marks a name surrogate, a name for another place in the file system
// (winnt.h's IsReparseTagNameSurrogate); this file builds without winnt.h.
constexpr std::uint32_t NameSurrogateBit = 0x20000000;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wstring(prefix).size(), prefix) == 0;
}

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

// Links are passed over: one back to its own folder would make the walk endless, and what a link
// names is not the unpacker's work. Every other reparse point is an ordinary folder or file to
// its reader (cloud placeholders in OneDrive's Documents, deduplicated files) and is counted.
// Windows reports a tag with every reparse point; one without (Wine 8 lists a Unix symbolic link
// so) cannot be told from a link.
bool IsPassedOver(const ListedEntry& entry) {
    return entry.isReparsePoint &&
           (entry.reparseTag == 0 || (entry.reparseTag & NameSurrogateBit) != 0);
}

// Folders wait in a list rather than on the stack: a path may nest some 16,000 folders deep.
std::uint64_t CountFilesBelow(const std::wstring& top,
                              const std::function<bool(const std::wstring& name)>& ignoredAtTop,
                              const FolderLister& lister) {
    if (!lister) return 0;
    try {
        std::uint64_t count = 0;
        std::vector<std::wstring> pending{top};
        std::vector<ListedEntry> entries;
        while (!pending.empty()) {
            const std::wstring folder = std::move(pending.back());
            pending.pop_back();
            entries.clear();
            if (!lister(folder, entries)) continue;
            const bool atTop = folder == top;
            for (const ListedEntry& entry : entries) {
                if (IsPassedOver(entry)) continue;
                if (entry.isDirectory) {
                    pending.push_back(PathBelow(folder, entry.name));
                } else if (!atTop || !ignoredAtTop || !ignoredAtTop(entry.name)) {
                    ++count;
                }
            }
        }
        return count;
    } catch (const std::bad_alloc&) {
        return 0;  // too few: the folder check then fails, as for a folder that cannot be listed
    } catch (const std::length_error&) {
        return 0;
    }
}

std::wstring PathBelow(const std::wstring& folder, const std::wstring& relativePath) {
    if (!folder.empty() && folder.back() == L'\\') return folder + relativePath;
    return folder + L'\\' + relativePath;
}

std::wstring ExtendedLengthPath(const std::wstring& fullPath) {
    if (StartsWith(fullPath, L"\\\\?\\") || StartsWith(fullPath, L"\\\\.\\")) return fullPath;
    if (fullPath.size() >= 3 && IsLetter(fullPath[0]) && fullPath[1] == L':' &&
        fullPath[2] == L'\\') {
        return L"\\\\?\\" + fullPath;
    }
    // "\\server\share\...": a share and its server both named.
    if (StartsWith(fullPath, L"\\\\")) {
        const std::size_t shareAt = fullPath.find(L'\\', 2);
        if (shareAt != std::wstring::npos && shareAt > 2 && shareAt + 1 < fullPath.size() &&
            fullPath[shareAt + 1] != L'\\') {
            return L"\\\\?\\UNC\\" + fullPath.substr(2);
        }
    }
    return {};
}
