// The installer's own check of the publisher's signature, with Windows' CNG. Wine's CNG takes a
// signature of any length and is no guard here: what the installer refuses before and around it
// is. Against two keys and their signatures over one package, made at build time by openssl.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "signature/trusted_keys.h"
#include "signature/verify.h"
#include "tests/support/signed_values.h"
#include "tests/support/test_files.h"
#include "tests/support/test_text.h"

namespace {

std::wstring Signatures(const wchar_t* name) {
    const char* dir = std::getenv("INSTALLER_SIGNATURES");
    return WindowsPath(FromUtf8(dir ? dir : ".")) + L"\\" + name;
}

std::wstring Entry(const wchar_t* name) {
    std::string bytes;
    ReadFileBytes(Signatures(name), bytes);
    return FromUtf8(bytes);
}

// The P-256 group order n, and two values past it.
const std::wstring Order = L"ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
const std::wstring OrderPlusOne =
    L"ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632552";
const std::wstring AllOnes(64, L'f');
const std::wstring Zero(64, L'0');

struct VerifyTest : testing::Test {
    const std::wstring a = Entry(L"a.entry");
    const std::wstring b = Entry(L"b.entry");
    const std::wstring package = Signatures(L"package.zip");
    std::wstring otherPackage;

    void SetUp() override {
        ASSERT_EQ(a.size(), 151u) << "make-signatures did not run";
        ASSERT_EQ(b.size(), 151u);
        ASSERT_EQ(TrustedPackageKeys().size(), 2u);
        // The package with one byte changed.
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(package, bytes));
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 1);
        wchar_t folder[MAX_PATH + 1] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH + 1, folder), 0u);
        otherPackage = std::wstring(folder) + L"changed.zip";
        ASSERT_TRUE(WriteFileBytes(otherPackage, bytes));
    }
    void TearDown() override { DeleteFileW(otherPackage.c_str()); }

    std::wstring IdA() const { return a.substr(6, 16); }
    std::wstring RA() const { return a.substr(23, 64); }
    std::wstring SA() const { return a.substr(87, 64); }
    std::wstring UnderA(const std::wstring& digits) const {
        return L"es256:" + IdA() + L":" + digits;
    }
};

TEST_F(VerifyTest, OnlyTheSignatureOverTheseValuesAndThisPackageUnderItsOwnKeyVerifies) {
    struct Row {
        const char* what;
        std::wstring sign;
        bool verifies = false;
        bool wellFormed = true;
        std::function<void(InstallConfig&)> change = [](InstallConfig&) {};
        bool otherPackage = false;
    };
    const Row rows[] = {
        {"A's own entry", a, true},
        {"B's own entry", b, true},
        {"r = 0", UnderA(Zero + SA())},
        {"s = 0", UnderA(RA() + Zero)},
        {"r = n", UnderA(Order + SA())},
        {"s = n", UnderA(RA() + Order)},
        {"r = n + 1", UnderA(OrderPlusOne + SA())},
        {"s = n + 1", UnderA(RA() + OrderPlusOne)},
        {"r = 2^256 - 1", UnderA(AllOnes + SA())},
        {"s = 2^256 - 1", UnderA(RA() + AllOnes)},
        {"63 bytes", UnderA(RA() + SA().substr(0, 62)), false, false},
        {"65 bytes", UnderA(RA() + SA() + L"00"), false, false},
        {"B's signature under A's key", UnderA(b.substr(23))},
        {"package_name changed", a, false, true, [](InstallConfig& c) { c.package_name += L"2"; }},
        {"version changed", a, false, true, [](InstallConfig& c) { c.version = L"1.1"; }},
        {"application_name changed", a, false, true,
         [](InstallConfig& c) { c.application_name = L"sample app2.exe"; }},
        {"desktop_shortcut changed", a, false, true,
         [](InstallConfig& c) { c.desktop_shortcut = L"示例"; }},
        {"package changed", a, false, true, [](InstallConfig&) {}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ParseSignEntries(row.sign).es256.size(), row.wellFormed ? 1u : 0u);
        InstallConfig config = SignedTestConfig(row.sign);
        row.change(config);
        EXPECT_EQ(PackageSignatureVerifies(config, row.otherPackage ? otherPackage : package,
                                           TrustedPackageKeys()),
                  row.verifies);
    }
}

}  // namespace
