#pragma once
// UTF-8 to and from the platform's wide strings (UTF-16 where wchar_t has 16 bits, as on
// Windows; code points where it has 32, as on Linux), for programs that read configuration
// documents as raw bytes.

#include <string>

// bytes decoded as the installer's download decodes them (MultiByteToWideChar(CP_UTF8, 0)):
// ill-formed sequences become U+FFFD, a byte order mark stays U+FEFF, NUL bytes stay. Never fails.
std::wstring DecodeUtf8AsWindowsDoes(const std::string& bytes);
// text encoded as UTF-8; an unpaired surrogate becomes U+FFFD. Never fails.
std::string EncodeUtf8(const std::wstring& text);
