#include "tools/config-check/names.h"

#include <cstdio>
#include <cwctype>

std::wstring ReservedDeviceName(const std::wstring& component) {
    // Windows looks at the part before the first dot, without the blanks that end it.
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    std::wstring upper;
    for (const wchar_t c : base) {
        upper += c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
        if (upper == device) return upper;
    }
    if (upper.size() == 4 &&
        (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0)) {
        // Windows counts the superscript digits 1 to 3 as digits here too.
        const wchar_t digit = upper[3];
        if ((digit >= L'1' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' ||
            digit == L'\x00B3') {
            return upper;
        }
    }
    return {};
}

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

namespace {

// A template, so that the count of 32-bit characters is not compiled where wchar_t has 16 bits.
template <typename Char>
std::size_t CodeUnits(const std::basic_string<Char>& text) {
    std::size_t length = text.size();
    if constexpr (sizeof(Char) > 2) {
        for (const Char c : text) length += static_cast<unsigned long>(c) > 0xFFFF ? 1 : 0;
    }
    return length;
}

}  // namespace

std::size_t Utf16Length(const std::wstring& text) { return CodeUnits(text); }

std::vector<std::wstring> PathComponents(const std::wstring& text) {
    std::vector<std::wstring> components;
    std::wstring current;
    for (const wchar_t c : text) {
        if (c != L'/' && c != L'\\') {
            current += c;
        } else if (!current.empty()) {
            components.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) components.push_back(current);
    return components;
}

std::wstring FoldCase(const std::wstring& text) {
    std::wstring folded = text;
    for (wchar_t& c : folded) {
        c = c < 0x80 ? (c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c)
                     : static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
    }
    return folded;
}

bool EndsWithFolded(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           FoldCase(text.substr(text.size() - suffix.size())) == FoldCase(suffix);
}
