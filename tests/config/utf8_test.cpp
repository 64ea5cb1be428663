// Bytes to text as the installer's download decodes them (ill-formed sequences become U+FFFD the
// way the system's converter replaces them), and back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "names/utf8.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// What the installer's download does with the bytes: MultiByteToWideChar(CP_UTF8, 0).
std::wstring SystemDecode(const std::string& bytes) {
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, text.data(), length);
    return text;
}
#endif

// Code points as the platform's wide string holds them.
std::wstring Wide(const std::u32string& codes) {
    std::wstring out;
    for (const char32_t code : codes) {
        if (sizeof(wchar_t) == 2 && code >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(code);
        }
    }
    return out;
}

struct Row {
    const char* name;
    std::string bytes;
    std::u32string text;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"ASCII", "{\"a\":1}", U"{\"a\":1}"},
        {"NUL kept", std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
        {"two, three and four bytes", "\xC3\xA9\xE9\x9C\xB2\xF0\x9F\x98\x80",
         U"\u00E9\u9732\U0001F600"},
        {"byte order mark stays", "\xEF\xBB\xBF{}", U"\uFEFF{}"},
        {"highest code point", "\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
        {"lone continuation bytes",
         "a\x80\xBF"
         "b",
         U"a\uFFFD\uFFFDb"},
        {"lead bytes that never start a sequence", "\xC0\xC1\xF5\xFF", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
        // Lead and second byte of an overlong form or a surrogate become one U+FFFD.
        {"overlong forms", "\xC0\xAF\xE0\x80\xAF\xF0\x8F\xBF\xBF",
         U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80x", U"\uFFFD\uFFFDx"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD"},
        {"sequence cut by another byte",
         "\xE2\x82"
         "a\xF0\x9F\x98"
         "b\xE2\xC3\xA9",
         U"\uFFFDa\uFFFDb\uFFFD\u00E9"},
        // Fewer bytes left than the lead byte announces: the rest is one U+FFFD.
        {"sequence cut by the end", "a\xF0\x9F", U"a\uFFFD"},
        {"short sequence at the end swallows what follows",
         "a\xF0"
         "bc",
         U"a\uFFFD"},
    };
    return rows;
}

TEST(Utf8Test, DecodesLikeTheInstaller) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DecodeUtf8AsWindowsDoes(row.bytes), Wide(row.text));
#ifdef _WIN32
        EXPECT_EQ(DecodeUtf8AsWindowsDoes(row.bytes), SystemDecode(row.bytes));
#endif
    }
}

#ifdef _WIN32
// Every sequence of four bytes drawn from the bytes that matter to a decoder (ASCII, the edges of
// the continuation ranges, each kind of lead byte, bytes that never occur), also cut short.
TEST(Utf8Test, AgreesWithTheSystemOnEveryShortSequence) {
    const unsigned char kinds[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xDF,
                                   0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
    int mismatches = 0;
    for (unsigned char a : kinds) {
        for (unsigned char b : kinds) {
            for (unsigned char c : kinds) {
                for (unsigned char d : kinds) {
                    const std::string bytes{static_cast<char>(a), static_cast<char>(b),
                                            static_cast<char>(c), static_cast<char>(d)};
                    for (std::size_t length = 1; length <= bytes.size(); ++length) {
                        const std::string part = bytes.substr(0, length);
                        if (DecodeUtf8AsWindowsDoes(part) != SystemDecode(part) &&
                            ++mismatches <= 5) {
                            ADD_FAILURE() << "bytes " << ::testing::PrintToString(part);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}
#endif

TEST(Utf8Test, EncodesBack) {
    EXPECT_EQ(EncodeUtf8(Wide(U"a\u00E9\u9732\U0001F600\uFEFF")),
              "a\xC3\xA9\xE9\x9C\xB2\xF0\x9F\x98\x80\xEF\xBB\xBF");
    // An unpaired surrogate (only a 16-bit wide string can hold one from outside) becomes U+FFFD.
    EXPECT_EQ(EncodeUtf8(std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x"), "\xEF\xBF\xBDx");
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DecodeUtf8AsWindowsDoes(EncodeUtf8(DecodeUtf8AsWindowsDoes(row.bytes))),
                  DecodeUtf8AsWindowsDoes(row.bytes));
    }
}

}  // namespace
