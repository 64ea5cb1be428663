#include "net/transfer_win.h"

#include <algorithm>
#include <cwchar>
#include <vector>

bool IsHttpRequest(HINTERNET request) {
    DWORD type = 0;
    DWORD size = sizeof(type);
    return InternetQueryOptionW(request, INTERNET_OPTION_HANDLE_TYPE, &type, &size) &&
           type == INTERNET_HANDLE_TYPE_HTTP_REQUEST;
}

unsigned long ResponseStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        return 0;
    }
    return status;
}

std::optional<unsigned long long> AnnouncedLength(HINTERNET request) {
    if (!IsHttpRequest(request)) return std::nullopt;
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
        return std::nullopt;
    }
    wchar_t* end = nullptr;
    const unsigned long long length = std::wcstoull(text, &end, 10);
    if (end == text) return std::nullopt;
    return length;
}

std::wstring ResponseHeader(HINTERNET request, DWORD query) {
    DWORD size = 0;
    if (HttpQueryInfoW(request, query, nullptr, &size, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
        return {};
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, query, text.data(), &size, nullptr)) return {};
    text.resize(size / sizeof(wchar_t));
    return text;
}

bool ReceivedAnnouncedLength(HINTERNET request, unsigned long long received) {
    const std::optional<unsigned long long> announced = AnnouncedLength(request);
    return !announced || *announced == received;
}

namespace {

// Hands what the block holds to the sink and empties it.
bool WriteBlock(const BlockSink& sink, std::vector<char>& block) {
    const bool written = block.empty() || sink(block.data(), block.size());
    block.clear();
    return written;
}

}  // namespace

Transfer CopyBody(HINTERNET request, const BlockSink& sink, const std::function<bool()>& writeNow) {
    char buffer[ChunkBufferBytes];
    std::vector<char> block;
    block.reserve(FileBlockBytes + ChunkBufferBytes);
    unsigned long long received = 0;
    for (;;) {
        DWORD count = 0;
        if (!InternetReadFile(request, buffer, ChunkBufferBytes, &count)) {
            WriteBlock(sink, block);  // what arrived stays on disk
            return Transfer::ReadFailed;
        }
        if (count == 0) break;
        received += count;
        block.insert(block.end(), buffer, buffer + count);
        if ((block.size() >= FileBlockBytes || (writeNow && writeNow())) &&
            !WriteBlock(sink, block)) {
            return Transfer::WriteFailed;
        }
    }
    if (!WriteBlock(sink, block)) return Transfer::WriteFailed;
    return ReceivedAnnouncedLength(request, received) ? Transfer::Complete : Transfer::ReadFailed;
}

bool WriteAll(HANDLE file, const char* bytes, std::size_t count) {
    while (count > 0) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(count, MAXDWORD));
        DWORD written = 0;
        if (!WriteFile(file, bytes, part, &written, nullptr) || written == 0) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

std::wstring WideFromUtf8(const std::string& bytes) {
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, text.data(), length) != length)
        return {};
    return text;
}
