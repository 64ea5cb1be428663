#pragma once
// HTTP(S) transfers through WinINet, one session per call, never from the local cache.

#include <string>

// The response body decoded from UTF-8; empty when the URL cannot be fetched, the server
// answers with an error status (400 and above), a read fails, or the body is empty.
std::wstring FetchText(const std::wstring& url);
// Streams the response body into path, creating missing directories first; returns path,
// or empty on failure after writing advice to the detail text.
std::wstring DownloadToFile(const std::wstring& url, const std::wstring& path);
