// The publisher's signature: the sign value's entries and the signed message, against a key and
// a signature made at test time by the openssl program alone (make-golden-signature), verified
// as config-check verifies them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "signature/package_signature.h"
#include "tools/config-check/signature_check.h"
#include "names/utf8.h"
#include "tests/support/signed_values.h"

namespace {

std::string Golden(const char* name) {
    const char* dir = std::getenv("INSTALLER_GOLDEN_SIGNATURE");
    return std::string(dir ? dir : ".") + "/" + name;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::wstring Wide(const std::string& text) { return DecodeUtf8AsWindowsDoes(text); }

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'f') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

struct GoldenSignature : testing::Test {
    PackageKey key;
    std::wstring entry = Wide(ReadBytes(Golden("entry")));
    std::wstring id, rs;

    void SetUp() override {
        std::string failure;
        ASSERT_TRUE(ReadPublicKeyFile(Golden("key.pub.pem"), key, failure)) << failure;
        ASSERT_EQ(entry.size(), 151u) << "make-golden-signature did not run";
        id = entry.substr(6, 16);
        rs = entry.substr(23);
    }
};

TEST_F(GoldenSignature, TheKeyIdAndTheMessageAreTheFormatsOwn) {
    EXPECT_EQ(Wide(key.id), id);
    const std::string message = ReadBytes(Golden("message"));
    const std::string hash = message.substr(message.size() - 65, 64);
    EXPECT_EQ(SignedMessage(SignedTestConfig(L""), hash), message);
}

TEST_F(GoldenSignature, EntriesAreReadAndVerifiedAsTheInstallerDoes) {
    const std::wstring bad = entry.substr(0, 150) + (entry[150] == L'0' ? L'1' : L'0');
    const std::wstring other = L"es256:0123456789abcdef:" + rs;
    struct Row {
        const char* what;
        std::wstring sign;
        std::size_t entries, malformed;
        bool verifies;
        std::function<void(InstallConfig&)> change = [](InstallConfig&) {};
    };
    const Row rows[] = {
        {"the entry alone", entry, 1, 0, true},
        {"signature digits in capitals", L"es256:" + id + L":" + Upper(rs), 1, 0, true},
        {"blanks and tabs around and between", L" \t" + other + L"  \t" + entry + L"\t ", 2, 0,
         true},
        {"other kinds and the bare hash are skipped",
         L"ed25519:" + id + L":abc " + rs.substr(0, 64) + L" " + entry, 1, 0, true},
        {"a stranger's entry, then a broken one, then the trusted one",
         other + L" " + bad + L" " + entry, 3, 0, true},
        {"the kind in capitals", L"ES256:" + id + L":" + rs, 0, 1, false},
        {"the key id in capitals", L"es256:" + Upper(id) + L":" + rs, 0, 1, false},
        {"a signature digit short", entry.substr(0, 150), 0, 1, false},
        {"a signature digit long", entry + L"0", 0, 1, false},
        {"a letter that is no hex digit", entry.substr(0, 150) + L"g", 0, 1, false},
        {"no ASCII blank between", entry + L"\u3000" + entry, 0, 1, false},
        {"a line break is no blank", entry + L"\n" + entry, 0, 1, false},
        {"nothing", L"", 0, 0, false},
        {"one changed digit of s", bad, 1, 0, false},
        {"a changed version", entry, 1, 0, false, [](InstallConfig& c) { c.version = L"1.1"; }},
        {"a changed shortcut", entry, 1, 0, false,
         [](InstallConfig& c) { c.desktop_shortcut += L" "; }},
        {"a changed url is not signed", entry, 1, 0, true,
         [](InstallConfig& c) { c.url = L"https://mirror.example.org/x.zip"; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const SignEntries parsed = ParseSignEntries(row.sign);
        EXPECT_EQ(parsed.es256.size(), row.entries);
        EXPECT_EQ(parsed.malformed.size(), row.malformed);
        ConfigCheck check;
        check.config = SignedTestConfig(row.sign);
        row.change(check.config);
        check.publicKeys = {key};
        std::string failure;
        ASSERT_TRUE(CheckPackageSignature(Golden("package.zip"), check, failure)) << failure;
        EXPECT_EQ(check.signatureVerified, row.verifies);
        if (row.verifies) {
            EXPECT_EQ(check.signatureKey, key.id);
        }
    }
}

// A line feed inside one value and a line feed between two values must not sign the same bytes:
// every signed value with a control character is named, the url and sign are not signed.
TEST(SignedValues, AControlCharacterInASignedValueIsNamed) {
    const struct {
        std::wstring InstallConfig::*field;
        std::wstring value;
        std::wstring named;
    } cases[] = {
        {&InstallConfig::package_name, L"a\nb", L"package_name"},
        {&InstallConfig::version, std::wstring(L"1\0", 2), L"version"},
        {&InstallConfig::application_name, L"A.exe\nB", L"application_name"},
        {&InstallConfig::desktop_shortcut, L"B\x1f", L"desktop_shortcut"},
        {&InstallConfig::desktop_shortcut, L"B\x7f", L"desktop_shortcut"},
        {&InstallConfig::desktop_shortcut, L"示例\u0080 程序", L""},
        {&InstallConfig::url, L"https://x/\n", L""},
        {&InstallConfig::sign, L"es256:a\tb", L""},
    };
    for (const auto& row : cases) {
        InstallConfig config = SignedTestConfig(L"");
        config.*row.field = row.value;
        EXPECT_EQ(SignedValueWithControlCharacter(config), row.named) << row.named;
    }
}

TEST(SignedValues, OnlyScalarsFromOneToBelowTheOrderAreInRange) {
    const std::string order = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
    const std::string below = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632550";
    const std::string one = std::string(63, '0') + "1";
    const std::string zero(64, '0');
    const struct {
        std::string r, s;
        bool inRange;
    } cases[] = {{one, below, true},
                 {below, one, true},
                 {zero, one, false},
                 {one, zero, false},
                 {order, one, false},
                 {one, order, false},
                 {std::string(64, 'f'), one, false}};
    for (const auto& row : cases) {
        P256Signature signature{};
        const std::string hex = row.r + row.s;
        for (std::size_t i = 0; i < signature.size(); ++i)
            signature[i] = static_cast<unsigned char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
        EXPECT_EQ(ScalarsInRange(signature), row.inRange) << row.r << " " << row.s;
    }
}

}  // namespace
