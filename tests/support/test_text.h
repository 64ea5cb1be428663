#pragma once
// Text conversions that the tests, the unpacker stand-in and the installer driver share.

#include <string>

// text in UTF-8 (messages, logs, ZIP entry names). Never fails.
std::string Utf8(const std::wstring& text);
// UTF-8 bytes as text, malformed sequences as U+FFFD. Never fails.
std::wstring FromUtf8(const std::string& bytes);
// bytes in the Windows code page codePage (437, CP_ACP, ...) as text; empty when the system does
// not know the code page.
std::wstring FromCodePage(unsigned codePage, const std::string& bytes);
// A Unix path as a Windows program under Wine reaches it (the Unix root is drive Z:); any other
// path unchanged. Never fails.
std::wstring WindowsPath(std::wstring path);
