#pragma once
// Characters as the publisher's check tells of them: blanks, code points, letter case beyond
// ASCII. Windows' name rules themselves live in names/names.h.

#include <string>

// True for a character of Unicode's White_Space set or an invisible space (U+200B, U+FEFF).
bool IsUnicodeBlank(wchar_t c);
// The character as U+XXXX.
std::wstring CodePointName(wchar_t c);
// text with every letter in one case (ASCII ones as names/names.h folds them, others by the C
// library), so that names Windows takes for the same compare equal. Never fails.
std::wstring FoldCase(const std::wstring& text);
// True when text ends with suffix, compared without letter case.
bool EndsWithFolded(const std::wstring& text, const std::wstring& suffix);
