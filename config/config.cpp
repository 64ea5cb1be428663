#include "config/config.h"

#include <iterator>
#include <regex>
#include <utility>

#include "status/status.h"
#include "config/compact_form.h"
#include "config/regex_limit.h"

namespace {

const wchar_t* const PlatformKeys[] = {L"application_name", L"desktop_shortcut", L"version", L"url",
                                       L"sign"};

std::wstring& PlatformField(InstallConfig& config, std::size_t index) {
    std::wstring* const fields[] = {&config.application_name, &config.desktop_shortcut,
                                    &config.version, &config.url, &config.sign};
    return *fields[index];
}

// What follows the colon in the patterns searched: a non-empty string value or an object.
enum class PatternTail { StringValue, ObjectOpen };

// The standard library matches depth-first and recurses once per character that an attempt
// consumes; a value or whitespace run of a few thousand characters exhausts the worker's stack
// and the process dies instead of getting an error. So before every search, walk the attempts
// that can get long (only those starting at the quoted key: all others fail within the key) in
// the order the search makes them, up to the first that succeeds, and raise the error a bounded
// engine would raise when one of them would run past RegexMatchLimit. Linear in the text, and
// each attempt is walked at most RegexMatchLimit characters.
void CheckAttemptLengths(const std::wstring& text, const std::wstring& key, PatternTail tail) {
    const std::regex_traits<wchar_t> traits;  // the same classification the engine uses
    const wchar_t spaceName[] = L"s";
    const auto space = traits.lookup_classname(spaceName, spaceName + 1);
    const std::wstring quotedKey = L"\"" + key + L"\"";
    const std::size_t size = text.size();

    for (std::size_t begin = text.find(quotedKey); begin != std::wstring::npos;
         begin = text.find(quotedKey, begin + 1)) {
        std::size_t at = begin + quotedKey.size();
        const auto checkLength = [&] {
            if (at - begin > RegexMatchLimit) {
                throw std::regex_error(std::regex_constants::error_stack);
            }
        };
        const auto skipWhile = [&](auto predicate) {
            for (; at < size && predicate(text[at]); ++at) checkLength();
            checkLength();
        };
        const auto take = [&](wchar_t wanted) {
            if (at >= size || text[at] != wanted) return false;
            ++at;
            checkLength();
            return true;
        };
        const auto isSpace = [&](wchar_t c) { return traits.isctype(c, space); };

        checkLength();
        skipWhile(isSpace);
        if (!take(L':')) continue;
        skipWhile(isSpace);
        if (tail == PatternTail::ObjectOpen) {
            if (take(L'{')) return;
            continue;
        }
        if (!take(L'"')) continue;
        const std::size_t valueBegin = at;
        skipWhile([](wchar_t c) { return c != L'"'; });
        if (at > valueBegin && take(L'"')) return;
    }
}

// Index of the "}" that closes the object whose body starts at start, counting braces only;
// npos when the text ends first.
std::size_t ClosingBrace(const std::wstring& text, std::size_t start) {
    std::size_t depth = 1;
    for (std::size_t at = start; at < text.size(); ++at) {
        if (text[at] == L'{') {
            ++depth;
        } else if (text[at] == L'}' && --depth == 0) {
            return at;
        }
    }
    return std::wstring::npos;
}

// Stores each field as soon as it is read, so that a regular-expression error thrown later
// leaves the earlier fields in config.
void ReadWithRegex(const std::wstring& text, InstallConfig& config) {
    config.package_name = ExtractQuotedField(text, L"package_name");

    CheckAttemptLengths(text, L"windows", PatternTail::ObjectOpen);
    const std::wregex windows(L"\"windows\"\\s*:\\s*\\{");
    std::wsmatch match;
    if (!std::regex_search(text, match, windows)) return;
    const std::size_t start = static_cast<std::size_t>(match.position(0) + match.length(0));
    if (start == text.size()) return;
    const std::size_t end = ClosingBrace(text, start);
    if (end == std::wstring::npos || end == start) return;

    const std::wstring section = text.substr(start, end - start);
    for (std::size_t i = 0; i < std::size(PlatformKeys); ++i) {
        PlatformField(config, i) = ExtractQuotedField(section, PlatformKeys[i]);
    }
}

}  // namespace

std::wstring ExtractQuotedField(const std::wstring& text, const std::wstring& key) {
    CheckAttemptLengths(text, key, PatternTail::StringValue);
    const std::wregex pattern(L"\"" + key + L"\"\\s*:\\s*\"([^\"]+)\"");
    std::wsmatch match;
    if (!std::regex_search(text, match, pattern)) return {};
    return match[1].str();
}

std::wstring ExtractQuotedFieldPlain(const std::wstring& text, const std::wstring& key) {
    const std::wstring needle = L"\"" + key + L"\":\"";
    const std::size_t found = text.find(needle);
    if (found == std::wstring::npos) return {};
    const std::size_t valueBegin = found + needle.size();
    const std::size_t valueEnd = text.find(L'"', valueBegin);
    if (valueEnd == std::wstring::npos) return {};
    return text.substr(valueBegin, valueEnd - valueBegin);
}

InstallConfig ReadCompactForm(const std::wstring& text, InstallConfig config) {
    config.package_name = ExtractQuotedFieldPlain(text, L"package_name");
    const std::size_t marker = text.find(L"\"windows\":{");
    if (marker == std::wstring::npos) return config;
    const std::size_t end = text.find(L'}', marker);
    if (end == std::wstring::npos) return config;

    const std::wstring section = text.substr(marker, end - marker);
    for (std::size_t i = 0; i < std::size(PlatformKeys); ++i) {
        PlatformField(config, i) = ExtractQuotedFieldPlain(section, PlatformKeys[i]);
    }
    return config;
}

InstallConfig ParseInstallConfig(const std::wstring& text) {
    InstallConfig config;
    try {
        ReadWithRegex(text, config);
    } catch (const std::regex_error&) {
        SetDetailText(L"JSON解析失败：正则表达式错误");
        config = ReadCompactForm(text, std::move(config));
    }
    return config;
}
