#include "net/net.h"

#include <windows.h>
#include <wininet.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "handles/handles.h"
#include "net/paths.h"
#include "net/transfer_win.h"
#include "status/status.h"

namespace {

// The text read leaves one byte of the chunk buffer free, the room a terminating zero byte
// takes behind the data when the chunk is handled as a C string.
constexpr DWORD TextChunkBytes = ChunkBufferBytes - 1;

InternetHandle OpenSession() {
    return InternetHandle(
        InternetOpenW(L"Installer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
}

// RELOAD alone only keeps the cache from answering: WinINet would still write every body into the
// user's INetCache, a second copy of the package that nobody deletes.
InternetHandle OpenUrl(HINTERNET session, const std::wstring& url) {
    return InternetHandle(InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
}

// An error status means the body is an error page, not the resource asked for.
bool HasSuccessStatus(HINTERNET request) {
    if (!IsHttpRequest(request)) return true;
    const unsigned long status = ResponseStatus(request);
    return status != 0 && status < 400;
}

std::optional<std::string> ReadText(const std::wstring& url) {
    const InternetHandle session = OpenSession();
    if (!session) return std::nullopt;
    const InternetHandle request = OpenUrl(session.get(), url);
    if (!request || !HasSuccessStatus(request.get())) return std::nullopt;
    const std::optional<unsigned long long> announced = AnnouncedLength(request.get());
    if (announced && *announced > MaxTextBytes) {
        return std::nullopt;  // too long to decode: fail before reading it all
    }
    std::string bytes;
    char buffer[ChunkBufferBytes];
    for (;;) {
        DWORD count = 0;
        if (!InternetReadFile(request.get(), buffer, TextChunkBytes, &count)) return std::nullopt;
        if (count == 0) break;
        if (bytes.size() + count > MaxTextBytes) return std::nullopt;
        bytes.append(buffer, count);
    }
    if (!ReceivedAnnouncedLength(request.get(), bytes.size())) return std::nullopt;
    return bytes;
}

// Session and request for a download, and the file's directories once the request answered;
// false (with the advice shown, nothing created) when the server cannot be reached.
bool StartDownload(const std::wstring& url, const std::wstring& path, InternetHandle& session,
                   InternetHandle& request) {
    session = OpenSession();
    if (!session) {
        SetDetailText(SessionAdvice);
        return false;
    }
    request = OpenUrl(session.get(), url);
    if (!request || !HasSuccessStatus(request.get())) {
        SetDetailText(NetworkAdvice);
        return false;
    }
    for (const std::wstring& directory : DirectoriesToCreate(path)) {
        CreateDirectoryW(directory.c_str(), nullptr);  // existing levels fail; the open decides
    }
    return true;
}

// path, or empty with the advice for what went wrong.
std::wstring EndDownload(Transfer outcome, const std::wstring& path) {
    if (outcome == Transfer::ReadFailed) {
        SetDetailText(NetworkAdvice);
        return {};
    }
    if (outcome == Transfer::WriteFailed) {
        SetDetailText(WriteAdvice);
        return {};
    }
    return path;
}

}  // namespace

std::wstring FetchText(const std::wstring& url) {
    const std::optional<std::string> bytes = ReadText(url);
    if (!bytes || bytes->empty()) return {};
    return WideFromUtf8(*bytes);
}

// A direct connection has no failure that needs advice of its own.
std::wstring FetchText(const std::wstring& url, std::wstring&) { return FetchText(url); }

std::wstring DownloadToFile(const std::wstring& url, const std::wstring& path) {
    InternetHandle session;
    InternetHandle request;
    if (!StartDownload(url, path, session, request)) return {};
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        SetDetailText(FileOpenAdvice);
        return {};
    }
    Transfer outcome = CopyBody(request.get(), [&file](const char* bytes, std::size_t count) {
        return static_cast<bool>(file.write(bytes, static_cast<std::streamsize>(count)));
    });
    file.close();
    if (outcome == Transfer::Complete && file.fail()) {
        outcome = Transfer::WriteFailed;  // what was still buffered could not be written
    }
    return EndDownload(outcome, path);
}

std::wstring DownloadToHeldFile(const std::wstring& url, const std::wstring& path,
                                const HeldDownload& held) {
    InternetHandle session;
    InternetHandle request;
    if (!StartDownload(url, path, session, request)) return {};
    const HANDLE file = held.open(path);
    if (file == INVALID_HANDLE_VALUE) {
        SetDetailText(FileOpenAdvice);
        return {};
    }
    const Transfer outcome =
        CopyBody(request.get(), [file, &held](const char* bytes, std::size_t count) {
            if (!WriteAll(file, bytes, count)) return false;
            held.written(bytes, count);
            return true;
        });
    return EndDownload(outcome, path);
}
