// Fuzz entry over the configuration reader: the bytes are decoded as the checker decodes them and
// parsed as the installer parses them. Besides not crashing, the results must agree with a plain
// re-reading of the same rules, so a wrong pattern or a wrong bound shows up too.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "status/status_memory.h"
#include "config/compact_form.h"
#include "config/config.h"
#include "config/regex_limit.h"
#include "names/utf8.h"
#include "tools/config-check/check.h"

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_config: violated: %s\n", what);
    std::abort();
}

bool IsRegexSpace(wchar_t c) {
    static const std::regex_traits<wchar_t> traits;
    static const wchar_t name[] = L"s";
    static const auto space = traits.lookup_classname(name, name + 1);
    return traits.isctype(c, space);
}

// Where "key" <blanks> : <blanks> is followed by what `after` accepts, for the leftmost such
// place: the index just past the colon's blanks, npos when there is none.
template <typename Accept>
std::size_t FindMember(const std::wstring& text, const std::wstring& key, Accept after) {
    const std::wstring quoted = L"\"" + key + L"\"";
    for (std::size_t at = text.find(quoted); at != std::wstring::npos;
         at = text.find(quoted, at + 1)) {
        std::size_t i = at + quoted.size();
        while (i < text.size() && IsRegexSpace(text[i])) ++i;
        if (i == text.size() || text[i] != L':') continue;
        ++i;
        while (i < text.size() && IsRegexSpace(text[i])) ++i;
        if (after(i)) return i;
    }
    return std::wstring::npos;
}

std::wstring PlainField(const std::wstring& text, const std::wstring& key) {
    const auto nonEmptyString = [&](std::size_t i) {
        return i + 1 < text.size() && text[i] == L'"' && text[i + 1] != L'"' &&
               text.find(L'"', i + 1) != std::wstring::npos;
    };
    const std::size_t at = FindMember(text, key, nonEmptyString);
    if (at == std::wstring::npos) return {};
    return text.substr(at + 1, text.find(L'"', at + 1) - at - 1);
}

// The regular-expression path's reading, done without regular expressions.
InstallConfig PlainReading(const std::wstring& text) {
    InstallConfig config;
    config.package_name = PlainField(text, L"package_name");
    const std::size_t open = FindMember(
        text, L"windows", [&](std::size_t i) { return i < text.size() && text[i] == L'{'; });
    if (open == std::wstring::npos) return config;
    int depth = 1;
    std::size_t end = open + 1;
    for (; end < text.size(); ++end) {
        if (text[end] == L'{') ++depth;
        if (text[end] == L'}' && --depth == 0) break;
    }
    if (end >= text.size()) return config;
    const std::wstring section = text.substr(open + 1, end - open - 1);
    config.application_name = PlainField(section, L"application_name");
    config.desktop_shortcut = PlainField(section, L"desktop_shortcut");
    config.version = PlainField(section, L"version");
    config.url = PlainField(section, L"url");
    config.sign = PlainField(section, L"sign");
    return config;
}

bool Same(const InstallConfig& a, const InstallConfig& b) {
    return a.package_name == b.package_name && a.application_name == b.application_name &&
           a.desktop_shortcut == b.desktop_shortcut && a.version == b.version && a.url == b.url &&
           a.sign == b.sign;
}

void CheckDecoder(const std::string& bytes, const std::wstring& text) {
    const std::string encoded = EncodeUtf8(text);
    Require(DecodeUtf8AsWindowsDoes(encoded) == text,
            "decoded text survives encoding and decoding");
    if (text.find(L'\xFFFD') == std::wstring::npos) {
        Require(encoded == bytes, "valid UTF-8 is decoded without loss");
    }
}

void CheckParser(const std::wstring& text) {
    ResetRecordedStatus();
    const InstallConfig config = ParseInstallConfig(text);
    const bool fellBack = !ReadRecordedStatus().detailTexts.empty();
    for (const std::wstring* field :
         {&config.package_name, &config.application_name, &config.desktop_shortcut, &config.version,
          &config.url, &config.sign}) {
        Require(field->find(L'"') == std::wstring::npos, "no value holds a quotation mark");
    }
    if (!fellBack) {
        Require(Same(config, PlainReading(text)), "regex path reads what its rules say");
    } else {
        Require(text.size() > RegexMatchLimit, "only long texts make the search give up");
        Require(config.package_name == ReadCompactForm(text, {}).package_name,
                "fallback reads package_name in the compact form");
    }
}

// Reads one JSON string of the report at `at`, undoing the escapes the report uses.
bool ReadReportString(const std::string& report, std::size_t& at, std::string& out) {
    if (at >= report.size() || report[at] != '"') return false;
    out.clear();
    for (++at; at < report.size() && report[at] != '"'; ++at) {
        const auto byte = static_cast<unsigned char>(report[at]);
        if (byte < 0x20) return false;
        if (byte != '\\') {
            out += report[at];
            continue;
        }
        if (++at >= report.size()) return false;
        switch (report[at]) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                if (at + 4 >= report.size()) return false;
                const unsigned long code = std::stoul(report.substr(at + 1, 4), nullptr, 16);
                if (code >= 0x80) return false;
                out += static_cast<char>(code);
                at += 4;
                break;
            }
            default:
                return false;
        }
    }
    return at++ < report.size();
}

// The report is one JSON object whose members hold exactly what the check found.
void CheckReport(const ConfigCheck& check) {
    const std::string report = FormatCheckReport(check);
    Require(EncodeUtf8(DecodeUtf8AsWindowsDoes(report)) == report, "report is valid UTF-8");
    const InstallConfig& c = check.config;
    const std::vector<std::pair<std::string, std::wstring>> expected = {
        {"package_name", c.package_name},
        {"application_name", c.application_name},
        {"desktop_shortcut", c.desktop_shortcut},
        {"version", c.version},
        {"url", c.url},
        {"sign", c.sign},
        {"parser", check.fellBack ? L"fallback" : L"regex"}};
    std::size_t at = 0;
    Require(report.compare(0, 1, "{") == 0, "report is an object");
    ++at;
    std::string name, value;
    for (const auto& [key, text] : expected) {
        Require(ReadReportString(report, at, name) && name == key, "member name in order");
        Require(report.compare(at, 1, ":") == 0, "colon after a name");
        ++at;
        Require(ReadReportString(report, at, value) && value == EncodeUtf8(text),
                "member value escaped and complete");
        Require(report.compare(at, 1, ",") == 0, "comma after a member");
        ++at;
    }
    for (const auto& [key, list] :
         {std::pair{"warnings", &check.warnings}, std::pair{"errors", &check.errors}}) {
        if (list == &check.errors)
            Require(report.compare(at++, 1, ",") == 0, "comma before errors");
        Require(ReadReportString(report, at, name) && name == key, "warnings, then errors");
        Require(report.compare(at, 2, ":[") == 0, "warnings and errors are arrays");
        at += 2;
        for (std::size_t i = 0; i < list->size(); ++i) {
            if (i != 0) Require(report.compare(at++, 1, ",") == 0, "comma between sentences");
            Require(ReadReportString(report, at, value) && value == EncodeUtf8((*list)[i].text),
                    "sentence escaped and complete");
        }
        Require(report.compare(at++, 1, "]") == 0, "array closed");
    }
    Require(report.compare(at, std::string::npos, "}\n") == 0, "report ends after the errors");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = DecodeUtf8AsWindowsDoes(bytes);
    CheckDecoder(bytes, text);
    CheckParser(text);
    CheckReport(CheckConfigDocument(bytes));
    return 0;
}
