// Fuzz entry over the central-directory listing: the bytes are the archive. Besides not crashing,
// the listing must keep its promises about names and reads, and the folder check must accept the
// very folder the listing describes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "extract/zip_listing.h"
#include "names/utf8.h"

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_zip_listing: violated: %s\n", what);
    std::abort();
}

// The stored name's components ("/" or "\" between them), without empty and "." ones.
std::vector<std::string> StoredComponents(const std::string& stored) {
    std::vector<std::string> components;
    std::string component;
    for (std::size_t i = 0; i <= stored.size(); ++i) {
        if (i < stored.size() && stored[i] != '/' && stored[i] != '\\') {
            component += stored[i];
            continue;
        }
        if (!component.empty() && component != ".") components.push_back(component);
        component.clear();
    }
    return components;
}

std::wstring FoldAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
    }
    return text;
}

void CheckEntry(const ZipEntry& entry) {
    const std::vector<std::string> components = StoredComponents(entry.storedName);
    bool climbs = entry.storedName.empty() || entry.storedName[0] == '/' ||
                  entry.storedName[0] == '\\' || components.empty();
    for (const std::string& component : components) {
        if (component == ".." || component.find(':') != std::string::npos) climbs = true;
    }
    Require(!climbs || entry.isUnsafe, "names that leave the folder are unsafe");
    Require(entry.name.find(L'/') == std::wstring::npos, "names hold no \"/\"");
    if (!entry.nameIsPortable) {
        Require(entry.name.empty(), "only portable names are decoded");
        return;
    }
    Require((entry.flags & ZipFlagUtf8Name) != 0 ||
                std::all_of(entry.storedName.begin(), entry.storedName.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }),
            "a portable name is flagged UTF-8 or ASCII");
    std::string joined;
    for (const std::string& component : components)
        joined += (joined.empty() ? "" : "\\") + component;
    Require(EncodeUtf8(entry.name) == joined, "a portable name is its stored components");
    Require(entry.isUnsafe ||
                (!entry.name.empty() && entry.name.front() != L'\\' && entry.name.back() != L'\\' &&
                 entry.name.find(L"\\\\") == std::wstring::npos),
            "a safe name has no empty components");
}

// The folder that unpacking the listing would leave, as Windows looks names up.
void CheckFolderCheck(const std::vector<ZipEntry>& entries) {
    std::map<std::wstring, FoundEntry> folder;
    for (const ZipEntry& entry : entries) {
        if (!entry.nameIsPortable || entry.isUnsafe || entry.isSymbolicLink) continue;
        folder[FoldAscii(entry.name)] = {true, entry.isDirectory, entry.uncompressedSize};
    }
    const auto lookup = [&](const std::wstring& path) {
        const auto found = folder.find(FoldAscii(path));
        return found == folder.end() ? FoundEntry{} : found->second;
    };
    Require(FolderHoldsArchive(entries, lookup, entries.size()),
            "the folder of the listing holds it");
    const auto everything = [](const std::wstring&) { return FoundEntry{true, false, 0}; };
    FolderHoldsArchive(entries, everything, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::uint64_t requested = 0;
    const auto entries = ListZipEntries(
        bytes.size(), [&](std::uint64_t offset, std::size_t length, std::string& out) {
            Require(offset <= bytes.size() && length <= bytes.size() - offset,
                    "reads stay inside the archive");
            requested += length;
            out.assign(bytes, static_cast<std::size_t>(offset), length);
            return true;
        });
    // The tail, a locator per candidate end record, one ZIP64 record, the directory.
    Require(requested <= 3 * bytes.size() + 56, "each byte is read a bounded number of times");
    if (!entries) return 0;
    Require(entries->size() * 46 <= bytes.size(), "every entry has its header's bytes");
    for (const ZipEntry& entry : *entries) CheckEntry(entry);
    CheckFolderCheck(*entries);
    return 0;
}
