#pragma once
// Windows' rules for the names of files and folders, and the case folding they are compared
// with: one place for the installer's archive listing, the publisher's config-check and the
// test stand-ins, so that they judge a name alike. Portable; includes nothing of ours.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// c with ASCII letters in lower case, every other character as it is. Never fails.
char FoldAsciiCase(char c);
wchar_t FoldAsciiCase(wchar_t c);
// text with FoldAsciiCase applied to each character. Never fails.
std::string FoldAsciiCase(std::string text);
std::wstring FoldAsciiCase(std::wstring text);
// True when a and b are equal with ASCII letters' case folded.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

// The parts of path between "/" and "\" separators, empty and "." ones left out (Windows and
// every unpacker ignore them: "./a" is "a"); works on the bytes of any code page, whose
// separators are the ASCII ones. Never fails.
std::vector<std::string> PathComponents(std::string_view path);
std::vector<std::wstring> PathComponents(std::wstring_view path);
// PathComponents(path) joined by "\". Never fails.
std::string NormalizedPath(std::string_view path);
std::wstring NormalizedPath(std::wstring_view path);
// path ("\" between components) with the dots and blanks that end each component dropped, as
// Windows drops them from every path that does not start with "\\?\"; also on the bytes of any
// code page, where dots and blanks are never part of a wider character. Never fails.
std::string WithoutEndingDotsAndBlanks(std::string_view path);
std::wstring WithoutEndingDotsAndBlanks(std::wstring_view path);

// The device (such as L"NUL" or L"COM\x00B9") that Windows takes component for, in upper case;
// empty when it takes it for none.
std::wstring ReservedDeviceName(std::wstring_view component);
// True for the characters Windows allows in no name: <>:"|?* and the control characters.
bool IsForbiddenInNames(wchar_t c);
// text's length in UTF-16 code units, the unit of Windows' limits. Never fails.
std::size_t Utf16Length(std::wstring_view text);

// What Windows makes of an archive entry's stored name, component by component.
struct StoredName {
    std::wstring path;                // NormalizedPath of the stored name
    bool empty = false;               // nothing at all is stored
    bool namesTheFolder = false;      // only "." and separators: the folder unpacked into
    bool absolute = false;            // begins with "/" or "\"
    bool driveLetter = false;         // begins with a letter and ":"
    bool parentComponent = false;     // a ".." component
    bool forbiddenCharacter = false;  // IsForbiddenInNames, a drive letter's ":" aside
    bool endsInDotOrBlank = false;    // a component other than ".." ends in "." or " "
    bool onlyDotsAndBlanks = false;   // a component other than ".." is nothing else
    bool tooLong = false;             // a component over 255 UTF-16 code units
    std::wstring device;              // the first component's ReservedDeviceName that has one
};

// stored read by Windows' rules. Never fails.
StoredName ReadStoredName(std::wstring_view stored);
// True when the name has a place of its own below a Windows folder: not empty, not the folder
// itself, and none of absolute, drive letter, "..", forbidden characters, a component of dots
// and blanks alone, a device name or a component too long. A name ending in a dot or a blank
// has a place, under another name where the shell and Expand-Archive unpack.
bool HasPlaceBelowAFolder(const StoredName& name);
