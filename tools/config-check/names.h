#pragma once
// Windows' rules for file and folder names, shared by the checks of the document's names and of
// the package's entries.

#include <cstddef>
#include <string>
#include <vector>

// The device name (such as L"NUL") that component is taken for: CON, PRN, AUX, NUL, COM1-COM9
// and LPT1-LPT9 in any letter case, alone or before an extension. Empty when it is none.
std::wstring ReservedDeviceName(const std::wstring& component);
// True for a character of Unicode's White_Space set or an invisible space (U+200B, U+FEFF).
bool IsUnicodeBlank(wchar_t c);
// The character as U+XXXX.
std::wstring CodePointName(wchar_t c);
// text's length in UTF-16 code units, the unit of Windows' limits. Never fails.
std::size_t Utf16Length(const std::wstring& text);
// The parts of text between "/" and "\" separators, empty ones left out.
std::vector<std::wstring> PathComponents(const std::wstring& text);
// text with every letter in one case, so that names Windows takes for the same compare equal.
std::wstring FoldCase(const std::wstring& text);
// True when text ends with suffix, compared without letter case.
bool EndsWithFolded(const std::wstring& text, const std::wstring& suffix);
