#include "tools/config-check/check.h"

#include <cstdio>
#include <utility>

#include "status/status_memory.h"
#include "signature/package_signature.h"
#include "tools/config-check/pitfalls.h"
#include "names/utf8.h"

namespace {

// The parser tells of its fallback only through the detail text.
const wchar_t FallbackDetail[] = L"JSON解析失败：正则表达式错误";

std::string JsonString(const std::wstring& text) {
    const std::string utf8 = EncodeUtf8(text);
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

}  // namespace

ConfigCheck CheckConfigDocument(const std::string& bytes,
                                const std::vector<PackageKey>& publicKeys) {
    const std::wstring text = DecodeUtf8AsWindowsDoes(bytes);
    ConfigCheck check;
    ResetRecordedStatus();
    check.config = ParseInstallConfig(text);
    for (const std::wstring& detail : ReadRecordedStatus().detailTexts) {
        check.fellBack = check.fellBack || detail == FallbackDetail;
    }
    Findings found = FindConfigPitfalls(text, check.config, check.fellBack);
    check.warnings = std::move(found.warnings);
    check.errors = std::move(found.errors);
    check.publicKeys = publicKeys;
    if (!publicKeys.empty() && SignaturesForKeys(check.config.sign, publicKeys).empty()) {
        std::wstring ids;
        for (const PackageKey& key : publicKeys) {
            ids += (ids.empty() ? L"" : L", ") + std::wstring(key.id.begin(), key.id.end());
        }
        check.errors.push_back(
            {"sign-no-entry-for-keys",
             L"sign holds no well-formed es256 entry for the public keys given (" + ids +
                 L"): an installer built with them stops before the download."});
    }
    // The signed values are joined with line feeds: a control character in one could make two
    // documents sign the same bytes, so a keyed installer refuses the document.
    const std::wstring controlled =
        publicKeys.empty() ? L"" : SignedValueWithControlCharacter(check.config);
    if (!controlled.empty()) {
        check.errors.push_back({"signed-value-control-character",
                                controlled +
                                    L" holds a control character (U+0000-U+001F or U+007F): an "
                                    L"installer built with the public keys given refuses the "
                                    L"document before the download."});
    }
    return check;
}

void CompareSignWithPackageHash(ConfigCheck& check, const std::string& packageSha256) {
    const std::wstring& sign = check.config.sign;
    if (sign.size() != 64) return;
    std::string written;
    for (const wchar_t c : sign) {
        const bool letter = (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (!letter && !(c >= L'0' && c <= L'9')) return;
        written += static_cast<char>(letter ? (c | 0x20) : c);
    }
    if (written == packageSha256) return;
    check.errors.push_back(
        {"sign-hash-mismatch",
         L"sign holds the SHA-256 " + sign + L", but the package's is " +
             std::wstring(packageSha256.begin(), packageSha256.end()) +
             L": the package at the url is not the one this document was written for: a stale "
             L"cache or a wrong upload."});
}

std::string FormatCheckReport(const ConfigCheck& check) {
    const InstallConfig& config = check.config;
    const std::pair<const char*, const std::wstring*> members[] = {
        {"package_name", &config.package_name},
        {"application_name", &config.application_name},
        {"desktop_shortcut", &config.desktop_shortcut},
        {"version", &config.version},
        {"url", &config.url},
        {"sign", &config.sign},
    };
    std::string out = "{";
    for (const auto& [name, value] : members) {
        out.append("\"").append(name).append("\":").append(JsonString(*value)).append(",");
    }
    out.append("\"parser\":").append(check.fellBack ? "\"fallback\"" : "\"regex\"");
    for (const auto& [name, list] :
         {std::pair{"warnings", &check.warnings}, std::pair{"errors", &check.errors}}) {
        out.append(",\"").append(name).append("\":[");
        for (std::size_t i = 0; i < list->size(); ++i) {
            if (i != 0) out.append(",");
            out.append(JsonString((*list)[i].text));
        }
        out.append("]");
    }
    if (check.packageChecked) {
        const PackageSummary& package = check.package;
        out.append(",\"package\":{\"entries\":").append(std::to_string(package.entries));
        out.append(",\"files\":").append(std::to_string(package.files));
        out.append(",\"bytes\":").append(std::to_string(package.bytes));
        out.append(",\"application_found\":")
            .append(package.applicationFound ? "true" : "false")
            .append("}");
    }
    if (check.signatureChecked) {
        out.append(",\"signature\":{\"key\":\"").append(check.signatureKey);
        out.append("\",\"verified\":").append(check.signatureVerified ? "true" : "false");
        out.append("}");
    }
    out.append("}\n");
    return out;
}

int CheckExitCode(const ConfigCheck& check, bool strict) {
    return !check.errors.empty() || (strict && !check.warnings.empty()) ? 1 : 0;
}
