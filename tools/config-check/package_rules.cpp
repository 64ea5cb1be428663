#include "tools/config-check/package_rules.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "extract/commands.h"
#include "names/names.h"
#include "names/utf8.h"
#include "tools/config-check/characters.h"

namespace {

// The name the installer downloads the package under, in the folder it unpacks into.
constexpr wchar_t PackageFileName[] = L"package.zip";

// A user name of this length is common enough that an install path must fit with it.
constexpr std::size_t UserNameLength = 20;
// MAX_PATH counts the terminating NUL.
constexpr std::size_t LongestPath = 259;

// One kind of problem and the entries that have it.
struct Told {
    bool error = false;
    const char* id = "";
    std::wstring problem;
    std::wstring first;  // the first entry (or pair) with it, as shown
    std::size_t count = 0;
    const wchar_t* one = L"Entry ";                 // before first when count is 1
    const wchar_t* many = L" entries, the first ";  // between count and first otherwise
};

void Tell(std::vector<Told>& told, bool error, const char* id, const std::wstring& problem,
          const std::wstring& shown, const wchar_t* one = L"Entry ",
          const wchar_t* many = L" entries, the first ") {
    for (Told& kind : told) {
        if (kind.problem == problem) {
            ++kind.count;
            return;
        }
    }
    told.push_back({error, id, problem, shown, 1, one, many});
}

std::wstring Quoted(const std::wstring& text) {
    constexpr std::size_t Longest = 80;
    if (text.size() <= Longest) return L"\"" + text + L"\"";
    return L"\"" + text.substr(0, Longest) + L"...\" (" + std::to_wstring(text.size()) +
           L" characters)";
}

bool IsAscii(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::wstring MethodName(unsigned method) {
    static const std::map<unsigned, const wchar_t*> names = {
        {1, L"Shrink"},     {6, L"Implode"}, {9, L"Deflate64"}, {12, L"BZIP2"},   {14, L"LZMA"},
        {93, L"Zstandard"}, {95, L"XZ"},     {96, L"JPEG"},     {97, L"WavPack"}, {98, L"PPMd"}};
    const auto found = names.find(method);
    return (found != names.end() ? std::wstring(found->second) : L"an unknown method") +
           L" (method " + std::to_wstring(method) + L")";
}

// The checks of one entry's name against what Windows lets a file or folder be called, by the
// rules the installer's listing applies (names/names.h).
void CheckEntryName(const std::wstring& stored, const std::wstring& shown,
                    std::vector<Told>& told) {
    const StoredName name = ReadStoredName(stored);
    const auto tell = [&](const char* id, const std::wstring& problem) {
        Tell(told, true, id, problem, shown);
    };
    if (name.empty) {
        tell("entry-empty-name", L"an empty name; the unpackers refuse it or skip it.");
    } else if (name.absolute) {
        tell("entry-absolute",
             L"an absolute path; the unpackers refuse it or write outside the install folder.");
    } else if (name.driveLetter) {
        tell("entry-drive-letter",
             L"a path with a drive letter; the unpackers refuse it or write outside the "
             L"install folder.");
    }
    if (name.parentComponent) {
        tell("entry-parent-component",
             L"a \"..\" component; it would land outside the install folder, and the "
             L"unpackers refuse it.");
    }
    if (name.forbiddenCharacter) {
        tell("entry-forbidden-character",
             L"a character in its name that Windows does not allow in names (one of "
             L"<>:\"|?* or a control character).");
    }
    if (name.endsInDotOrBlank) {
        tell("entry-ends-in-dot-or-blank",
             L"a name that ends in a dot or a blank, which Windows drops; the unpackers "
             L"fail on it or write another name.");
    }
    if (name.onlyDotsAndBlanks) {
        tell("entry-dots-and-blanks-alone",
             L"a name of dots and blanks alone, which Windows drops to nothing; the unpackers "
             L"refuse it or skip it.");
    }
    if (!name.device.empty()) {
        tell("entry-device",
             L"the name " + name.device +
                 L", which Windows reserves for a device and gives to no file or folder.");
    }
    if (name.tooLong) {
        tell("entry-too-long", L"a name longer than 255 characters, the most Windows allows.");
    }
}

// The installer keeps files of its own in the install folder while it unpacks there: the
// archive being read, and the script of the shell's copy, both deleted afterwards. An entry at
// the root that Windows takes for one of them is written over it, or lost with it.
void CheckInstallerFileNames(const std::vector<std::wstring>& components, const std::wstring& shown,
                             std::vector<Told>& told) {
    if (components.empty()) return;
    const std::wstring root = WithoutEndingDotsAndBlanks(components.front());
    if (EqualsIgnoringAsciiCase(root, PackageFileName)) {
        Tell(told, true, "entry-installer-file",
             L"at the root, the name package.zip, under which the installer downloads the "
             L"package into the install folder and deletes it after unpacking; the entry is "
             L"unpacked over the archive being read, cannot be made beside it, or is deleted "
             L"with it.",
             shown);
    } else if (EqualsIgnoringAsciiCase(root, ScriptFileName)) {
        Tell(told, true, "entry-installer-file",
             L"at the root, the name extract_temp.vbs, under which the installer writes the "
             L"script of the shell's copy into the install folder and deletes it; the entry is "
             L"overwritten, deleted with it, or keeps the script from being written.",
             shown);
    }
}

std::wstring Joined(const std::vector<std::wstring>& components, const wchar_t* separator) {
    std::wstring joined;
    for (const std::wstring& component : components) {
        if (!joined.empty()) joined += separator;
        joined += component;
    }
    return joined;
}

void CheckApplication(const std::vector<ZipEntry>& entries, const std::vector<std::wstring>& names,
                      const InstallConfig& config, Findings& found, PackageSummary& summary) {
    const std::wstring& application = config.application_name;
    if (application.empty()) return;
    const std::vector<std::wstring> wanted = PathComponents(application);
    const std::wstring key = FoldCase(Joined(wanted, L"/"));
    std::wstring top;  // the one top-level folder that holds every entry, if there is one
    bool oneTop = !entries.empty();
    std::set<std::wstring> folded;
    const ZipEntry* elsewhere = nullptr;  // a file of the program's name in a folder
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::vector<std::wstring> components = PathComponents(names[i]);
        const bool directory = entries[i].isDirectory;
        if (FoldCase(Joined(components, L"/")) == key) {
            if (directory) {
                found.errors.push_back(
                    {"application-is-folder", L"application_name " + Quoted(application) +
                                                  L" is a folder in the package, not a file."});
                return;
            }
            summary.applicationFound = !entries[i].isSymbolicLink;
            return;
        }
        folded.insert(FoldCase(Joined(components, L"/")));
        if (!elsewhere && !directory && !wanted.empty() && !components.empty() &&
            FoldCase(components.back()) == FoldCase(wanted.back())) {
            elsewhere = &entries[i];
        }
        const bool inFolder = components.size() > 1 || (directory && !components.empty());
        if (!inFolder || (!top.empty() && FoldCase(components.front()) != FoldCase(top))) {
            oneTop = false;
        } else if (top.empty()) {
            top = components.front();
        }
    }
    const std::wstring start =
        L"application_name " + Quoted(application) + L" is not a file at the package's root";
    if (oneTop && folded.count(FoldCase(top) + L"/" + key) != 0) {
        found.errors.push_back({"application-in-top-folder",
                                start + L" but inside its one top-level folder " + Quoted(top) +
                                    L": zip the folder's contents, not the folder."});
    } else if (elsewhere) {
        found.errors.push_back(
            {"application-elsewhere", start + L" (the package has it as " +
                                          ShownEntryName(elsewhere->storedName) +
                                          L"): the installer's shortcut would point at nothing."});
    } else {
        found.errors.push_back(
            {"application-missing",
             start + L", nor anywhere in it: the installer's shortcut would point at "
                     L"nothing."});
    }
}

}  // namespace

std::wstring ShownEntryName(const std::string& name) {
    const std::wstring decoded = DecodeUtf8AsWindowsDoes(name);
    if (EncodeUtf8(decoded) == name) return Quoted(decoded);
    std::wstring shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<wchar_t>(byte);
        } else {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\x%02X", static_cast<unsigned>(byte));
            shown += escaped;
        }
    }
    return Quoted(shown);
}

Findings CheckPackageEntries(const std::vector<ZipEntry>& entries, const InstallConfig& config,
                             PackageSummary& summary) {
    summary = {};
    Findings found;
    std::vector<Told> told;
    std::vector<std::wstring> names;
    std::map<std::wstring, std::size_t> byFoldedName;
    const std::wstring installFolder = L"C:\\Users\\" + std::wstring(UserNameLength, L'u') +
                                       L"\\Documents\\" + config.package_name + L"\\" +
                                       config.version + L"\\";
    std::size_t longPaths = 0, longest = 0;
    std::wstring longestShown;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& entry = entries[i];
        const std::wstring name = DecodeUtf8AsWindowsDoes(entry.storedName);
        const std::wstring shown = ShownEntryName(entry.storedName);
        names.push_back(name);
        const bool directory = entry.isDirectory;
        ++summary.entries;
        if (!directory) {
            ++summary.files;
            summary.bytes += entry.uncompressedSize;
        }
        CheckEntryName(name, shown, told);
        if (entry.isSymbolicLink) {
            Tell(told, true, "entry-symbolic-link",
                 L"a symbolic link; tar.exe cannot make one without a right users lack, and the "
                 L"shell and Expand-Archive write a small file holding the target's name instead.",
                 shown);
        }
        if ((entry.flags & ZipFlagEncrypted) != 0 || entry.method == 99) {
            Tell(told, true, "entry-encrypted",
                 L"encrypted; the unpackers ask for no password and cannot unpack it.", shown);
        } else if (entry.method != 0 && entry.method != 8) {
            Tell(told, true, "entry-method",
                 L"compressed with " + MethodName(entry.method) +
                     L"; only stored and Deflate are read by all three unpackers.",
                 shown);
        }
        if (!IsAscii(entry.storedName) && (entry.flags & ZipFlagUtf8Name) == 0) {
            Tell(told, false, "entry-name-code-page",
                 L"a name outside ASCII without the UTF-8 flag; each Windows machine decodes it "
                 L"by its own code page, so on most it comes out garbled.",
                 shown);
        }
        const std::vector<std::wstring> components = PathComponents(name);
        CheckInstallerFileNames(components, shown, told);
        const auto [earlier, first] = byFoldedName.emplace(FoldCase(Joined(components, L"/")), i);
        if (!first && !(directory && entries[earlier->second].isDirectory)) {
            const bool same =
                Joined(PathComponents(names[earlier->second]), L"/") == Joined(components, L"/");
            Tell(told, true, same ? "entry-twice" : "entry-letter-case",
                 same ? L"the same name twice; the later one replaces the earlier."
                      : L"names that differ only in letter case, which Windows takes for one "
                        L"name; one of them is lost.",
                 ShownEntryName(entries[earlier->second].storedName) + L" and " + shown,
                 L"Entries ", L" pairs of entries, the first ");
        }
        const std::size_t pathLength = Utf16Length(installFolder + Joined(components, L"\\"));
        if (pathLength > LongestPath) {
            ++longPaths;
            if (pathLength > longest) {
                longest = pathLength;
                longestShown = shown;
            }
        }
    }
    for (const Told& kind : told) {
        const std::wstring subject = kind.count == 1
                                         ? kind.one + kind.first
                                         : std::to_wstring(kind.count) + kind.many + kind.first;
        (kind.error ? found.errors : found.warnings)
            .push_back({kind.id, subject + L": " + kind.problem});
    }
    if (longPaths != 0) {
        found.warnings.push_back(
            {"entry-path-too-long",
             (longPaths == 1
                  ? L"Entry " + longestShown
                  : std::to_wstring(longPaths) + L" entries, the longest " + longestShown) +
                 L": the install path C:\\Users\\<a user name of " +
                 std::to_wstring(UserNameLength) +
                 L" characters>\\Documents\\package_name\\version\\entry is " +
                 std::to_wstring(longest) + L" characters long, more than the " +
                 std::to_wstring(LongestPath) +
                 L" that fit in MAX_PATH; the shell's ZIP copy and Expand-Archive fail there."});
    }
    CheckApplication(entries, names, config, found, summary);
    return found;
}
