#include "tools/config-check/pitfalls.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/compact_form.h"
#include "config/regex_limit.h"
#include "names/names.h"
#include "signature/package_signature.h"
#include "tools/config-check/characters.h"

namespace {

constexpr std::size_t None = std::wstring::npos;

enum class ValueKind { String, Object, Array, Other, Missing };

// A member as a JSON reader sees it; strings are kept raw (escapes not decoded).
struct Member {
    std::wstring key;
    std::size_t depth = 0;   // 1 = a member of the outermost object
    bool inWindows = false;  // a direct member of the first top-level "windows" object
    ValueKind kind = ValueKind::Missing;
    std::wstring value;  // the string's raw text, or the first characters of any other value
};

// A string somewhere inside the "windows" object that holds a brace.
struct BracedString {
    std::wstring key;  // the member it belongs to
    wchar_t brace = L'}';
};

struct Document {
    std::vector<Member> members;
    std::vector<BracedString> bracedStrings;
    std::size_t windowsObjects = 0;  // top-level "windows" members whose value is an object
    bool startsLikeJson = false;
};

bool IsJsonSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\xFEFF';
}

std::size_t SkipJsonSpace(const std::wstring& text, std::size_t at) {
    while (at < text.size() && IsJsonSpace(text[at])) ++at;
    return at;
}

// Index of the quotation mark that ends the string opening at `open` (escapes honoured), or
// the text's size when it is unterminated.
std::size_t StringEnd(const std::wstring& text, std::size_t open) {
    std::size_t at = open + 1;
    while (at < text.size() && text[at] != L'"') at += text[at] == L'\\' ? 2 : 1;
    return at < text.size() ? at : text.size();
}

std::size_t ScalarEnd(const std::wstring& text, std::size_t at) {
    while (at < text.size() && !IsJsonSpace(text[at]) && text[at] != L',' && text[at] != L'}' &&
           text[at] != L']' && text[at] != L'{' && text[at] != L'[' && text[at] != L'"') {
        ++at;
    }
    return at;
}

// A tolerant, iterative reading of the text as JSON: whatever it is, every member of every
// object, in order. Linear in the text.
Document ReadAsJson(const std::wstring& text) {
    Document document;
    const std::size_t first = SkipJsonSpace(text, 0);
    document.startsLikeJson = first < text.size() && text[first] == L'{';

    std::vector<wchar_t> open;         // the enclosing brackets
    std::size_t windowsDepth = 0;      // depth of the windows object's members; 0 before it
    bool windowsDone = false;          // the windows object has been closed
    bool nextObjectIsWindows = false;  // the "{" about to be read opens the windows object
    const auto insideWindows = [&] {
        return windowsDepth != 0 && !windowsDone && open.size() >= windowsDepth;
    };
    std::wstring lastKey;
    std::size_t at = 0;
    while (at < text.size()) {
        const wchar_t c = text[at];
        if (c == L'{' || c == L'[') {
            open.push_back(c);
            if (c == L'{' && nextObjectIsWindows) windowsDepth = open.size();
            nextObjectIsWindows = false;
            ++at;
        } else if (c == L'}' || c == L']') {
            if (!open.empty()) {
                if (windowsDepth != 0 && open.size() == windowsDepth) windowsDone = true;
                open.pop_back();
            }
            ++at;
        } else if (c == L'"') {
            const std::size_t end = StringEnd(text, at);
            std::wstring raw = text.substr(at + 1, end - at - 1);
            const std::size_t after = SkipJsonSpace(text, end + 1);
            const bool isKey =
                !open.empty() && open.back() == L'{' && after < text.size() && text[after] == L':';
            if (insideWindows()) {
                const std::size_t brace = raw.find_first_of(L"{}");
                if (brace != None) {
                    document.bracedStrings.push_back({isKey ? raw : lastKey, raw[brace]});
                }
            }
            if (!isKey) {
                at = end + 1;
                continue;
            }
            Member member;
            member.key = std::move(raw);
            member.depth = open.size();
            member.inWindows = insideWindows() && open.size() == windowsDepth;
            at = SkipJsonSpace(text, after + 1);
            if (at >= text.size()) {
                member.kind = ValueKind::Missing;
            } else if (text[at] == L'"') {
                member.kind = ValueKind::String;
                const std::size_t valueEnd = StringEnd(text, at);
                member.value = text.substr(at + 1, valueEnd - at - 1);
                if (insideWindows()) {
                    const std::size_t brace = member.value.find_first_of(L"{}");
                    if (brace != None) {
                        document.bracedStrings.push_back({member.key, member.value[brace]});
                    }
                }
                at = valueEnd + 1;
            } else if (text[at] == L'{') {
                member.kind = ValueKind::Object;
                if (member.key == L"windows" && member.depth == 1) {
                    ++document.windowsObjects;
                    nextObjectIsWindows = windowsDepth == 0;
                }
            } else if (text[at] == L'[') {
                member.kind = ValueKind::Array;
            } else {
                const std::size_t end = ScalarEnd(text, at);
                member.kind = end > at ? ValueKind::Other : ValueKind::Missing;
                member.value = text.substr(at, std::min<std::size_t>(end - at, 40));
                at = end;
            }
            lastKey = member.key;
            document.members.push_back(std::move(member));
        } else {
            ++at;
        }
    }
    return document;
}

struct Field {
    const wchar_t* key;
    std::wstring InstallConfig::*member;
    bool platform;  // read from inside "windows"
};

const Field Fields[] = {
    {L"package_name", &InstallConfig::package_name, false},
    {L"application_name", &InstallConfig::application_name, true},
    {L"desktop_shortcut", &InstallConfig::desktop_shortcut, true},
    {L"version", &InstallConfig::version, true},
    {L"url", &InstallConfig::url, true},
    {L"sign", &InstallConfig::sign, true},
};

// Where a JSON reader looks for the field.
bool InItsPlace(const Member& member, const Field& field) {
    return member.key == field.key && (field.platform ? member.inWindows : member.depth == 1);
}

// A value for a message: quoted, shortened when long.
std::wstring Shown(const std::wstring& value) {
    constexpr std::size_t Longest = 60;
    if (value.size() <= Longest) return L"\"" + value + L"\"";
    return L"\"" + value.substr(0, Longest) + L"...\" (" + std::to_wstring(value.size()) +
           L" characters)";
}

const wchar_t* KindName(ValueKind kind) {
    switch (kind) {
        case ValueKind::Object:
            return L"an object";
        case ValueKind::Array:
            return L"an array";
        case ValueKind::Missing:
            return L"no value";
        default:
            return L"not a string";
    }
}

void CheckDocumentShape(const Document& document, std::vector<Finding>& out) {
    if (!document.startsLikeJson) {
        out.push_back(
            {"not-json",
             L"The document does not start with \"{\": it may be an error page or some other "
             L"text served in place of the configuration."});
    }
    if (document.windowsObjects == 0) {
        out.push_back(
            {"no-windows-object",
             L"There is no top-level \"windows\" object: the installer reads application_name, "
             L"desktop_shortcut, version, url and sign only from inside it."});
    } else if (document.windowsObjects > 1) {
        out.push_back(
            {"two-windows-objects",
             L"There is more than one \"windows\" object: the installer reads only the first."});
    }
    for (const BracedString& braced : document.bracedStrings) {
        out.push_back(
            {"brace-in-windows-string",
             L"A string of " + Shown(braced.key) + L" inside \"windows\" contains \"" +
                 std::wstring(1, braced.brace) +
                 L"\": the installer counts braces also inside strings to find the end of the "
                 L"\"windows\" object, so such a brace can make it stop early (missing the members "
                 L"after it) or run past the object's end."});
    }
}

void CheckMembers(const Document& document, const InstallConfig& config,
                  std::vector<Finding>& out) {
    for (const Member& member : document.members) {
        if (member.key.size() > 16) continue;  // longer than any key read
        const std::wstring lower = FoldAsciiCase(member.key);
        bool known = lower == L"windows";
        for (const Field& field : Fields) known = known || lower == field.key;
        if (known && lower != member.key) {
            out.push_back(
                {"key-letter-case",
                 L"Key \"" + member.key + L"\" differs from \"" + lower +
                     L"\" only in letter case: keys are matched exactly, so the installer does "
                     L"not read it."});
        }
    }
    for (const Field& field : Fields) {
        const std::wstring& read = config.*field.member;
        const wchar_t* place = field.platform ? L" inside \"windows\"" : L" at the top level";
        const Member* intended = nullptr;  // first non-empty string in its place, else first
        std::vector<const Member*> strings;
        bool elsewhere = false;
        for (const Member& member : document.members) {
            if (member.key != field.key) continue;
            if (!InItsPlace(member, field)) {
                elsewhere = true;
                continue;
            }
            if (member.kind == ValueKind::String) {
                strings.push_back(&member);
            } else {
                out.push_back(
                    {"not-a-string",
                     L"\"" + member.key + L"\"" + place + L" is " + KindName(member.kind) +
                         (member.kind == ValueKind::Other ? L" (" + member.value + L")" : L"") +
                         L": the installer reads only string values and skips it."});
            }
            const auto readable = [](const Member* m) {
                return m->kind == ValueKind::String && !m->value.empty();
            };
            if (!intended || (!readable(intended) && readable(&member))) {
                intended = &member;
            }
        }
        if (!strings.empty() && strings.front()->value.empty() && !read.empty()) {
            out.push_back(
                {"empty-then-later-value",
                 L"\"" + std::wstring(field.key) + L"\"" + place +
                     L" first has an empty value: the installer skips it and uses a later one (" +
                     Shown(read) + L"), but its compact-form fallback would read it as empty."});
        }
        for (std::size_t i = 1; i < strings.size(); ++i) {
            if (!strings[i]->value.empty() && strings[i]->value != strings[0]->value &&
                !strings[0]->value.empty()) {
                out.push_back({"repeated-key", L"\"" + std::wstring(field.key) + L"\"" + place +
                                                   L" appears more than once: the installer uses "
                                                   L"the first non-empty value (" +
                                                   Shown(strings[0]->value) +
                                                   L"), most JSON readers the last (" +
                                                   Shown(strings.back()->value) + L")."});
                break;
            }
        }
        if (field.platform && !intended && elsewhere && read.empty()) {
            out.push_back(
                {"only-outside-windows",
                 L"\"" + std::wstring(field.key) +
                     L"\" appears only outside the \"windows\" object: the installer reads it only "
                     L"inside, so " +
                     field.key + L" stays empty."});
        }
        if (intended && intended->kind == ValueKind::String && !intended->value.empty() &&
            read != intended->value) {
            const std::size_t escapedQuote = intended->value.find(L"\\\"");
            if (escapedQuote != None && read == intended->value.substr(0, escapedQuote + 1)) {
                out.push_back({"escaped-quote", L"The value of \"" + std::wstring(field.key) +
                                                    L"\" contains an escaped quotation mark: the "
                                                    L"installer's value ends there, "
                                                    L"as " +
                                                    Shown(read) + L"."});
            } else if (read.empty()) {
                out.push_back({"value-not-read", L"The installer does not read \"" +
                                                     std::wstring(field.key) + L"\"" + place +
                                                     L" (" + Shown(intended->value) + L"): " +
                                                     field.key + L" stays empty."});
            } else {
                out.push_back({"value-read-elsewhere",
                               L"The installer reads " + std::wstring(field.key) + L" as " +
                                   Shown(read) + L", not the value of \"" + field.key + L"\"" +
                                   place + L" (" + Shown(intended->value) + L"): an earlier \"" +
                                   field.key + L"\" key comes first in the text it searches."});
            }
        }
    }
}

// Where the installer uses each name, for the consequence of one Windows will not take.
const wchar_t* NameUse(std::wstring InstallConfig::*member) {
    if (member == &InstallConfig::application_name) return L"the program cannot be unpacked";
    if (member == &InstallConfig::desktop_shortcut) return L"the shortcut cannot be made";
    return L"the install folder cannot be made";
}

void CheckUrl(const std::wstring& url, std::vector<Finding>& out) {
    if (url.find(L"\\/") != None) {
        out.push_back(
            {"url-escaped-slash",
             L"url contains \"\\/\": JSON escapes are not decoded, so the installer downloads "
             L"from an address with backslashes in it; write plain \"/\"."});
    } else if (url.find(L'\\') != None) {
        out.push_back({"url-backslash",
                       L"url contains a backslash: JSON escapes are not decoded, so the installer "
                       L"passes it to the download as it is."});
    } else if (!url.empty()) {
        const auto isSchemeCharacter = [](wchar_t c) {
            return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                   (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
        };
        std::size_t scheme = 0;
        while (scheme < url.size() && isSchemeCharacter(url[scheme])) ++scheme;
        const bool absolute = scheme > 0 && url.compare(scheme, 3, L"://") == 0 &&
                              url.size() > scheme + 3 && url[scheme + 3] != L'/';
        if (!absolute) {
            out.push_back(
                {"url-not-absolute",
                 L"url " + Shown(url) +
                     L" is not an absolute address (such as https://host/path/package.zip): "
                     L"the installer's download has nothing to resolve it against."});
        }
    }
    if (FoldAsciiCase(url.substr(0, 7)) == L"http://") {
        out.push_back(
            {"url-http",
             L"url uses http://: without TLS, anyone on the network path can swap the program "
             L"for another one on its way to the user; serve the package over https://."});
    }
    // Blanks at either end are told with the other names' (below).
    const auto first = std::find_if_not(url.begin(), url.end(), IsUnicodeBlank);
    const auto last = std::find_if_not(url.rbegin(), url.rend(), IsUnicodeBlank).base();
    const auto blank = first < last ? std::find_if(first, last, IsUnicodeBlank) : last;
    if (blank != last) {
        out.push_back({"url-blank",
                       L"url contains a blank (" + CodePointName(*blank) +
                           L"): the installer sends the address as it is, and servers read a raw "
                           L"blank differently; write a space as %20."});
    }
}

// The checks of one name that becomes a file or folder name on the user's disk.
void CheckName(const std::wstring& name, std::wstring InstallConfig::*member,
               const std::wstring& value, Findings& out) {
    const std::vector<std::wstring> components = PathComponents(value);
    const bool folder = member == &InstallConfig::package_name || member == &InstallConfig::version;
    // Separators, and "." or ".." components, which NormalizedPath drops or ReadStoredName tells.
    if (folder && (value.find_first_of(L"/\\") != None || NormalizedPath(value) != value ||
                   ReadStoredName(value).parentComponent)) {
        out.warnings.push_back(
            {"name-leaves-folder",
             name + L" " + Shown(value) +
                 L" holds a folder separator or a \".\" or \"..\" component: the install lands "
                 L"outside Documents\\package_name\\version."});
    }
    // The shortcut's file name gets ".lnk" appended.
    const std::size_t added = member == &InstallConfig::desktop_shortcut ? 4 : 0;
    for (const std::wstring& component : components) {
        const std::wstring device = ReservedDeviceName(component);
        if (!device.empty()) {
            out.errors.push_back(
                {"name-device", name + L" " + Shown(value) + L" uses " + device +
                                    L", a name Windows reserves for a device and gives to no file "
                                    L"or folder: " +
                                    NameUse(member) + L"."});
        }
        const std::size_t length = Utf16Length(component) + added;
        if (length > 255) {
            out.warnings.push_back(
                {"name-too-long", name + L" has a name of " + std::to_wstring(length) +
                                      L" characters" + (added != 0 ? L" with \".lnk\"" : L"") +
                                      L": Windows allows at most 255 in a file or folder name."});
        }
    }
}

void CheckValues(const InstallConfig& config, Findings& found) {
    std::vector<Finding>& out = found.warnings;
    if (config.package_name.empty()) {
        found.errors.push_back(
            {"package-name-missing",
             L"package_name is empty or was not found: the installer stops with its "
             L"configuration format error."});
    }
    if (config.url.empty()) {
        found.errors.push_back(
            {"url-missing",
             L"url is empty or was not found: the installer stops with its configuration "
             L"format error."});
    }
    CheckUrl(config.url, out);
    for (const std::wstring& entry : ParseSignEntries(config.sign).malformed) {
        out.push_back({"sign-malformed-es256",
                       L"sign holds a malformed es256 entry " + Shown(entry) +
                           L": installers built with package keys skip it (an entry is es256:, "
                           L"16 lower-case hex digits of the key id, : and 128 hex digits)."});
    }
    for (const Field& field : Fields) {
        const std::wstring& value = config.*field.member;
        const std::wstring name = field.key;
        const bool isName =
            field.member != &InstallConfig::url && field.member != &InstallConfig::sign;
        if (isName && value.find(L'\\') != None) {
            out.push_back(
                {"name-backslash",
                 name + L" contains a backslash: JSON escapes are not decoded, and the "
                        L"installer uses it verbatim in a path, where it separates folders."});
        }
        if (isName) {
            const std::size_t bad = value.find_first_of(L"<>:\"/|?*");
            if (bad != None) {
                out.push_back({"name-forbidden-character",
                               name + L" contains \"" + std::wstring(1, value[bad]) +
                                   L"\", which Windows does not allow in file and folder names."});
            }
            CheckName(name, field.member, value, found);
        }
        bool control = false;
        for (wchar_t c : value) {
            const auto code = static_cast<unsigned long>(c);
            control = control || code < 0x20 || code == 0x7F;
        }
        if (control) {
            out.push_back({"control-character",
                           name + L" contains a control character (such as a line break or tab), "
                                  L"which the installer keeps as it is."});
        }
        if (value.find(L'\xFFFD') != None) {
            out.push_back({"invalid-utf8",
                           name + L" contains U+FFFD: the document is not valid UTF-8 there."});
        }
        if (field.member != &InstallConfig::sign && !value.empty() &&
            (IsUnicodeBlank(value.front()) || IsUnicodeBlank(value.back()))) {
            const wchar_t blank = IsUnicodeBlank(value.front()) ? value.front() : value.back();
            const bool dropped = isName && value.back() == L' ';
            out.push_back(
                {"blank-at-end",
                 name + L" begins or ends with a blank (" + CodePointName(blank) +
                     L"): the installer does not trim it" +
                     (dropped ? L", and Windows drops trailing spaces from names." : L".")});
        }
        if (isName && !value.empty() && value.back() == L'.') {
            out.push_back(
                {"name-ends-in-dot",
                 name + L" ends with a dot: the installer does not trim it, and Windows drops "
                        L"trailing dots from names."});
        }
    }
    if (!config.package_name.empty() && config.version.empty()) {
        out.push_back({"version-empty",
                       L"version is empty: the package is installed directly into the package_name "
                       L"folder under Documents."});
    }
    if (config.application_name.empty()) {
        out.push_back({"application-name-empty",
                       L"application_name is empty: no desktop shortcut is made, and the finished "
                       L"installer opens the install folder instead of the program."});
    } else if (config.desktop_shortcut.empty()) {
        out.push_back(
            {"shortcut-empty", L"desktop_shortcut is empty: no desktop shortcut is made."});
    }
    if (!config.application_name.empty() && !EndsWithFolded(config.application_name, L".exe")) {
        out.push_back({"application-not-exe",
                       L"application_name " + Shown(config.application_name) +
                           L" does not end in \".exe\": the shortcut and the installer's \"open\" "
                           L"button open it by its file type, not as a program."});
    }
    if (EndsWithFolded(config.desktop_shortcut, L".lnk")) {
        out.push_back({"shortcut-ends-in-lnk",
                       L"desktop_shortcut ends in \".lnk\": the installer appends \".lnk\" itself, "
                       L"so the shortcut is named " +
                           Shown(config.desktop_shortcut + L".lnk") + L"."});
    }
}

void CheckFallback(const std::wstring& text, const InstallConfig& config, bool fellBack,
                   std::vector<Finding>& out) {
    if (fellBack) {
        out.push_back(
            {"fallback",
             L"The installer's regular-expression search gives up on this document (a "
             L"member, or the blanks around its colon, spans more than " +
                 std::to_wstring(RegexMatchLimit) +
                 L" characters) and falls back to a plain search that reads only the compact "
                 L"form \"key\":\"value\" inside \"windows\":{...}."});
        return;
    }
    for (const Field& field : Fields) {
        // "key":"value" spans the value, the key and five more characters.
        const std::size_t span = (config.*field.member).size() + std::wcslen(field.key) + 5;
        if (span > RegexMatchLimit * 3 / 4) {
            out.push_back({"member-near-search-limit",
                           L"The \"" + std::wstring(field.key) + L"\" member spans " +
                               std::to_wstring(span) + L" characters: from " +
                               std::to_wstring(RegexMatchLimit + 1) +
                               L" on, the installer's search gives up and falls back to a plain "
                               L"search that reads only the compact form."});
        }
    }
    const InstallConfig compact = ReadCompactForm(text, {});
    std::wstring differing;
    for (const Field& field : Fields) {
        if (compact.*field.member != config.*field.member) {
            differing += (differing.empty() ? L"" : L", ") + std::wstring(field.key);
        }
    }
    if (!differing.empty()) {
        out.push_back(
            {"fallback-reads-differently",
             L"Should the installer's search give up, its compact-form fallback would read "
             L"this document differently (" +
                 differing +
                 L"): write members as \"key\":\"value\" and the object as \"windows\":{ without "
                 L"blanks, with nothing nested in it."});
    }
}

}  // namespace

Findings FindConfigPitfalls(const std::wstring& text, const InstallConfig& config, bool fellBack) {
    Findings found;
    const Document document = ReadAsJson(text);
    CheckDocumentShape(document, found.warnings);
    CheckMembers(document, config, found.warnings);
    CheckValues(config, found);
    CheckFallback(text, config, fellBack, found.warnings);

    // A problem repeated in many places is told once.
    for (std::vector<Finding>* list : {&found.errors, &found.warnings}) {
        std::vector<Finding> once;
        std::set<std::wstring> told;
        for (Finding& problem : *list) {
            if (told.insert(problem.text).second) once.push_back(std::move(problem));
        }
        *list = std::move(once);
    }
    return found;
}
