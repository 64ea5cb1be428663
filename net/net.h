#pragma once
// HTTP(S) transfers through WinINet, one session per call, never from the local cache.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// The response body decoded from UTF-8; empty when the URL cannot be fetched, the server
// answers with an error status (400 and above), a read fails, or the body is empty.
std::wstring FetchText(const std::wstring& url);
// Streams the response body into path, creating missing directories first; returns path,
// or empty on failure after writing advice to the detail text.
std::wstring DownloadToFile(const std::wstring& url, const std::wstring& path);

// What DownloadToHeldFile does with the file: open() is called once the request answered and
// the directories exist, and returns a handle the caller owns (INVALID_HANDLE_VALUE when it
// cannot open: the download then fails with the file-open advice); restart() says the bytes
// reported so far no longer count (the file was cut back to 0); written() receives each block
// once it is in the file, in file order.
struct HeldDownload {
    std::function<HANDLE(const std::wstring& path)> open;
    std::function<void()> restart;
    std::function<void(const char* bytes, std::size_t count)> written;
};
// As DownloadToFile, writing through the handle that held.open gave; path, or empty on
// failure after writing advice to the detail text. A file left after a failure is the caller's
// to delete through its handle.
std::wstring DownloadToHeldFile(const std::wstring& url, const std::wstring& path,
                                const HeldDownload& held);
