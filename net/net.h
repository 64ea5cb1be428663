#pragma once
// HTTP(S) transfers through WinINet, one session per call, never from the local cache.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// The response body decoded from UTF-8; empty when the URL cannot be fetched, the server
// answers with an error status (400 and above), a read fails, or the body is empty.
std::wstring FetchText(const std::wstring& url);
// As FetchText; on failure, advice receives the detail text the failure calls for when the
// caller's general advice would mislead (a proxy that refused the user's sign-in), else stays
// empty.
std::wstring FetchText(const std::wstring& url, std::wstring& advice);
// Streams the response body into path, creating missing directories first; returns path,
// or empty on failure after writing advice to the detail text.
std::wstring DownloadToFile(const std::wstring& url, const std::wstring& path);

// What DownloadToHeldFile does with the file: open() is called once the request answered and
// the directories exist, and returns a handle the caller owns (INVALID_HANDLE_VALUE when it
// cannot open: the download then fails with the file-open advice); restart() says the bytes
// reported so far no longer count (the file was cut back to 0); written() receives each block
// once it is in the file, in file order; discard() (may be empty) says the download gave up and
// its bytes are not to be kept: the caller closes the handle and deletes the file.
struct HeldDownload {
    std::function<HANDLE(const std::wstring& path)> open;
    std::function<void()> restart;
    std::function<void(const char* bytes, std::size_t count)> written;
    std::function<void()> discard;
};
// As DownloadToFile, writing through the handle that held.open gave; path, or empty on
// failure after writing advice to the detail text. A build that keeps a partial file never
// calls discard(); one that keeps nothing of a failed download does.
std::wstring DownloadToHeldFile(const std::wstring& url, const std::wstring& path,
                                const HeldDownload& held);
