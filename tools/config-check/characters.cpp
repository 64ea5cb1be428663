#include "tools/config-check/characters.h"

#include <cstdio>
#include <cwctype>

#include "names/names.h"

bool IsUnicodeBlank(wchar_t c) {
    const auto code = static_cast<unsigned long>(c);
    return (code >= 0x09 && code <= 0x0D) || code == 0x20 || code == 0x85 || code == 0xA0 ||
           code == 0x1680 || (code >= 0x2000 && code <= 0x200B) || code == 0x2028 ||
           code == 0x2029 || code == 0x202F || code == 0x205F || code == 0x3000 || code == 0xFEFF;
}

std::wstring CodePointName(wchar_t c) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04lX", static_cast<unsigned long>(c));
    return std::wstring(name, name + std::char_traits<char>::length(name));
}

// NTFS folds the case of letters beyond ASCII too, by its own table; the C library's is close
// enough to tell the publisher of names that may collide.
std::wstring FoldCase(const std::wstring& text) {
    std::wstring folded = text;
    for (wchar_t& c : folded) {
        c = c < 0x80 ? FoldAsciiCase(c)
                     : static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    }
    return folded;
}

bool EndsWithFolded(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           FoldCase(text.substr(text.size() - suffix.size())) == FoldCase(suffix);
}
