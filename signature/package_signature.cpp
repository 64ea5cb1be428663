#include "signature/package_signature.h"

#include <optional>
#include <utility>

#include "names/utf8.h"

namespace {

const wchar_t Es256Kind[] = L"es256";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The value of one hex digit; none for any other character.
std::optional<unsigned> HexValue(wchar_t c, bool upperCaseToo) {
    if (c >= L'0' && c <= L'9') return static_cast<unsigned>(c - L'0');
    if (c >= L'a' && c <= L'f') return static_cast<unsigned>(c - L'a' + 10);
    if (upperCaseToo && c >= L'A' && c <= L'F') return static_cast<unsigned>(c - L'A' + 10);
    return std::nullopt;
}

// The kind before the first colon equals es256 when letter case is ignored.
bool HasEs256Kind(const std::wstring& word) {
    const std::size_t colon = word.find(L':');
    if (colon != std::size(Es256Kind) - 1) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const wchar_t c = word[i];
        const wchar_t lower = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
        if (lower != Es256Kind[i]) return false;
    }
    return true;
}

// "es256:" + 16 lower-case hex digits + ":" + 128 hex digits of either case; none otherwise.
std::optional<SignEntry> ReadEs256Entry(const std::wstring& word) {
    const std::size_t kindEnd = std::size(Es256Kind) - 1;
    const std::size_t idEnd = kindEnd + 1 + KeyIdDigits;
    if (word.size() != idEnd + 1 + 2 * std::tuple_size_v<P256Signature> ||
        word.compare(0, kindEnd, Es256Kind) != 0 || word[kindEnd] != L':' || word[idEnd] != L':') {
        return std::nullopt;
    }
    SignEntry entry;
    for (std::size_t at = kindEnd + 1; at < idEnd; ++at) {
        if (!HexValue(word[at], false)) return std::nullopt;
        entry.keyId += static_cast<char>(word[at]);
    }
    for (std::size_t i = 0; i < entry.signature.size(); ++i) {
        const std::optional<unsigned> high = HexValue(word[idEnd + 1 + 2 * i], true);
        const std::optional<unsigned> low = HexValue(word[idEnd + 2 + 2 * i], true);
        if (!high || !low) return std::nullopt;
        entry.signature[i] = static_cast<unsigned char>(*high << 4 | *low);
    }
    return entry;
}

}  // namespace

SignEntries ParseSignEntries(const std::wstring& sign) {
    SignEntries entries;
    std::size_t at = 0;
    while (at < sign.size()) {
        if (IsBlank(sign[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < sign.size() && !IsBlank(sign[end])) ++end;
        const std::wstring word = sign.substr(at, end - at);
        at = end;
        if (!HasEs256Kind(word)) continue;
        if (std::optional<SignEntry> entry = ReadEs256Entry(word)) {
            entries.es256.push_back(*entry);
        } else {
            entries.malformed.push_back(word);
        }
    }
    return entries;
}

std::vector<KeyedSignature> SignaturesForKeys(const std::wstring& sign,
                                              const std::vector<PackageKey>& keys) {
    std::vector<KeyedSignature> found;
    for (const SignEntry& entry : ParseSignEntries(sign).es256) {
        for (const PackageKey& key : keys) {
            if (key.id == entry.keyId) found.push_back({key, entry.signature});
        }
    }
    return found;
}

std::string SignedMessage(const InstallConfig& config, const std::string& packageSha256Hex) {
    std::wstring text = L"installer-package-signature-v1\n";
    for (const std::wstring* value : {&config.package_name, &config.version,
                                      &config.application_name, &config.desktop_shortcut}) {
        text += *value + L"\n";
    }
    text.append(packageSha256Hex.begin(), packageSha256Hex.end());
    return EncodeUtf8(text + L"\n");
}

std::wstring SignedValueWithControlCharacter(const InstallConfig& config) {
    const std::pair<const wchar_t*, const std::wstring*> values[] = {
        {L"package_name", &config.package_name},
        {L"version", &config.version},
        {L"application_name", &config.application_name},
        {L"desktop_shortcut", &config.desktop_shortcut}};
    for (const auto& [key, value] : values) {
        for (const wchar_t unit : *value) {
            if (unit < 0x20 || unit == 0x7F) return key;
        }
    }
    return {};
}

bool ScalarsInRange(const P256Signature& signature) {
    static const unsigned char order[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                            0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84,
                                            0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};
    for (const std::size_t start : {std::size_t{0}, std::size_t{32}}) {
        const unsigned char* scalar = signature.data() + start;
        bool zero = true;
        for (std::size_t i = 0; i < 32; ++i) zero = zero && scalar[i] == 0;
        // Big-endian: the first byte that differs from the order's decides.
        std::size_t i = 0;
        while (i < 32 && scalar[i] == order[i]) ++i;
        if (zero || i == 32 || scalar[i] > order[i]) return false;
    }
    return true;
}

std::string LowerHex(const unsigned char* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0xF];
    }
    return hex;
}
