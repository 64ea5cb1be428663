#include "names/names.h"

#include <algorithm>

namespace {

constexpr std::size_t LongestComponent = 255;

template <typename Char>
bool IsSeparator(Char c) {
    return c == Char('/') || c == Char('\\');
}

template <typename Char>
std::vector<std::basic_string<Char>> Components(std::basic_string_view<Char> path) {
    std::vector<std::basic_string<Char>> components;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        const std::basic_string_view<Char> component = path.substr(at, end - at);
        if (!component.empty() && !(component.size() == 1 && component[0] == Char('.')))
            components.emplace_back(component);
        at = end + 1;
    }
    return components;
}

template <typename Char>
std::basic_string<Char> Joined(std::basic_string_view<Char> path) {
    std::basic_string<Char> joined;
    for (const std::basic_string<Char>& component : Components(path)) {
        if (!joined.empty()) joined += Char('\\');
        joined += component;
    }
    return joined;
}

template <typename Char>
std::basic_string<Char> Trimmed(std::basic_string_view<Char> path) {
    std::basic_string<Char> trimmed;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find(Char('\\'), at), path.size());
        std::size_t kept = end;
        while (kept > at && (path[kept - 1] == Char('.') || path[kept - 1] == Char(' '))) --kept;
        if (at != 0) trimmed += Char('\\');
        trimmed.append(path.substr(at, kept - at));
        at = end + 1;
    }
    return trimmed;
}

// A template, so that the count of 32-bit characters is not compiled where wchar_t has 16 bits.
template <typename Char>
std::size_t CodeUnits(std::basic_string_view<Char> text) {
    std::size_t length = text.size();
    if constexpr (sizeof(Char) > 2) {
        for (const Char c : text) length += static_cast<unsigned long>(c) > 0xFFFF ? 1 : 0;
    }
    return length;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

}  // namespace

char FoldAsciiCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

wchar_t FoldAsciiCase(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::string FoldAsciiCase(std::string text) {
    for (char& c : text) c = FoldAsciiCase(c);
    return text;
}

std::wstring FoldAsciiCase(std::wstring text) {
    for (wchar_t& c : text) c = FoldAsciiCase(c);
    return text;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}

std::vector<std::string> PathComponents(std::string_view path) { return Components(path); }
std::vector<std::wstring> PathComponents(std::wstring_view path) { return Components(path); }
std::string NormalizedPath(std::string_view path) { return Joined(path); }
std::wstring NormalizedPath(std::wstring_view path) { return Joined(path); }
std::string WithoutEndingDotsAndBlanks(std::string_view path) { return Trimmed(path); }
std::wstring WithoutEndingDotsAndBlanks(std::wstring_view path) { return Trimmed(path); }

// Microsoft's "Naming Files, Paths, and Namespaces" lists CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9 and, as digits Windows takes too, COM and LPT with the superscripts ¹ ² ³; alone
// or before an extension ("NUL.txt" is NUL), with blanks before the extension. Every Windows
// treats the bare names so. Windows 11 is reported to no longer take most names with an
// extension for devices, which the page does not say: such names stay reserved here, as for
// Windows 10, where the installer runs too. COM0 and LPT0 were on the page from 2022 until 2025
// and Explorer, the shell's ZIP copy among them, was reported to refuse them: reserved as well.
std::wstring ReservedDeviceName(std::wstring_view component) {
    std::wstring stem(component.substr(0, component.find(L'.')));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (wchar_t& c : stem) c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
        if (stem == device) return stem;
    }
    if (stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"))) {
        const wchar_t digit = stem[3];
        if ((digit >= L'0' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' ||
            digit == L'\x00B3') {
            return stem;
        }
    }
    return {};
}

bool IsForbiddenInNames(wchar_t c) {
    return static_cast<unsigned long>(c) < 0x20 ||
           std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos;
}

std::size_t Utf16Length(std::wstring_view text) { return CodeUnits(text); }

StoredName ReadStoredName(std::wstring_view stored) {
    StoredName name;
    name.path = NormalizedPath(stored);
    name.empty = stored.empty();
    name.absolute = !stored.empty() && IsSeparator(stored.front());
    name.driveLetter = stored.size() >= 2 && stored[1] == L':' && IsAsciiLetter(stored[0]);
    name.namesTheFolder = !name.empty && !name.absolute && name.path.empty();
    const std::wstring_view rest = stored.substr(name.driveLetter ? 2 : 0);
    for (const std::wstring& component : PathComponents(rest)) {
        if (component == L"..") {
            name.parentComponent = true;
            continue;
        }
        name.forbiddenCharacter =
            name.forbiddenCharacter ||
            std::any_of(component.begin(), component.end(), IsForbiddenInNames);
        name.endsInDotOrBlank =
            name.endsInDotOrBlank || component.back() == L'.' || component.back() == L' ';
        name.onlyDotsAndBlanks =
            name.onlyDotsAndBlanks || component.find_first_not_of(L". ") == std::wstring::npos;
        name.tooLong = name.tooLong || Utf16Length(component) > LongestComponent;
        if (name.device.empty()) name.device = ReservedDeviceName(component);
    }
    return name;
}

bool HasPlaceBelowAFolder(const StoredName& name) {
    return !name.empty && !name.namesTheFolder && !name.absolute && !name.driveLetter &&
           !name.parentComponent && !name.forbiddenCharacter && !name.onlyDotsAndBlanks &&
           !name.tooLong && name.device.empty();
}
