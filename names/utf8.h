#pragma once
// UTF-8 to and from the platform's wide strings (UTF-16 where wchar_t has 16 bits, as on
// Windows; code points where it has 32, as on Linux): strictly, for archive entries' names, and
// as Windows decodes it, for configuration documents read as raw bytes.

#include <optional>
#include <string>
#include <string_view>

// bytes as strict UTF-8 (no overlong forms, surrogates, code points past U+10FFFF or cut
// sequences) decoded; nullopt when they are not.
std::optional<std::wstring> DecodeUtf8Strictly(std::string_view bytes);

// bytes decoded as the installer's download decodes them (MultiByteToWideChar(CP_UTF8, 0)):
// ill-formed sequences become U+FFFD, a byte order mark stays U+FEFF, NUL bytes stay. Never fails.
std::wstring DecodeUtf8AsWindowsDoes(const std::string& bytes);
// text encoded as UTF-8; an unpaired surrogate becomes U+FFFD. Never fails.
std::string EncodeUtf8(const std::wstring& text);
