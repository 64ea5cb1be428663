#include "net/transfer_win.h"

#include <algorithm>
#include <cwchar>

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
