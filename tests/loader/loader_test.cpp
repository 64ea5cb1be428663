// The delay-load hooks: a DLL the table does not name fails, whatever lies beside the program,
// and the import table's page is as protected after a resolution as before it.
#include <windows.h>
#include <bcrypt.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/test_files.h"

extern "C" INT_PTR WINAPI UnlistedAnswer();
// The delay-load import table's entries of the two functions, as the import libraries name them.
extern "C" FARPROC __imp_UnlistedAnswer;
extern "C" FARPROC __imp_BCryptCloseAlgorithmProvider;

namespace {

std::wstring BesideTheProgram(const wchar_t* name) {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

DWORD Protection(const void* address) {
    MEMORY_BASIC_INFORMATION page{};
    return VirtualQuery(address, &page, sizeof(page)) == sizeof(page) ? page.Protect : 0;
}

TEST(DelayLoadTest, ADllTheTableDoesNotNameFailsAndIsNotLoadedFromBesideTheProgram) {
    const std::wstring planted = BesideTheProgram(L"unlisted.dll");
    const std::wstring mark = planted + L".loaded";
    DeleteFileW(mark.c_str());
    ASSERT_TRUE(PathExists(planted));

    EXPECT_EQ(UnlistedAnswer(), 0);
    EXPECT_EQ(UnlistedAnswer(), 0) << "a second call";
    EXPECT_EQ(GetModuleHandleW(L"unlisted.dll"), nullptr);
    EXPECT_FALSE(PathExists(mark));

    // The control: a load by name does find the planted DLL in this test bed.
    const HMODULE byName = LoadLibraryW(L"unlisted.dll");
    EXPECT_NE(byName, nullptr) << "the test bed hides DLL planting";
    EXPECT_TRUE(PathExists(mark));
    if (byName) FreeLibrary(byName);
    DeleteFileW(mark.c_str());
}

// Each entry's page made read-only first, as binutils 2.44 lays the table out: the hooks make it
// writable for the helper and must give the read-only protection back, when the DLL loads and
// the entry is written, and when the DLL fails and it is not.
TEST(DelayLoadTest, TheEntrysPageGetsItsProtectionBack) {
    struct Row {
        const char* dll;
        FARPROC* entry;
        std::function<void()> call;
        bool written;
    };
    const Row rows[] = {
        {"bcrypt.dll", &__imp_BCryptCloseAlgorithmProvider,
         [] { BCryptCloseAlgorithmProvider(nullptr, 0); }, true},
        {"unlisted.dll", &__imp_UnlistedAnswer, [] { EXPECT_EQ(UnlistedAnswer(), 0); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.dll);
        FARPROC* entry = row.entry;
        const FARPROC thunk = *entry;
        DWORD original = 0;
        ASSERT_TRUE(VirtualProtect(entry, sizeof(*entry), PAGE_READONLY, &original));
        row.call();
        EXPECT_EQ(Protection(entry), static_cast<DWORD>(PAGE_READONLY));
        EXPECT_EQ(*entry != thunk, row.written);
        DWORD readOnly = 0;
        VirtualProtect(entry, sizeof(*entry), original, &readOnly);
    }
}

}  // namespace
