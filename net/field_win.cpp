// The network build's transfers: the user's proxy settings, each transfer tried up to five times,
// a broken package download resumed from the bytes on disk, and progress while it runs.

#include "net/net.h"

#include <windows.h>
#include <wininet.h>

#include <optional>
#include <string>

#include "handles/handles.h"
#include "net/field_rules.h"
#include "net/paths.h"
#include "net/transfer_win.h"
#include "status/shared_state.h"
#include "status/status.h"

namespace {

constexpr wchar_t ProxyAdvice[] = L"代理服务器需要身份验证，请检查代理设置";

struct UrlParts {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with the query
    bool secure = false;
};

// A request and the connection handle it was opened on; the request is released first.
struct Request {
    InternetHandle connection;
    InternetHandle request;
};

// The package download's progress as the user sees it.
struct Progress {
    std::wstring detail;  // the detail text when the download began: its first line stays
    std::optional<unsigned long long> total;
    int shown = 50;
    ULONGLONG lastShown = 0;
    ULONGLONG attemptStarted = 0;
    unsigned long long attemptBytes = 0;
};

// PRECONFIG: the user's proxy settings, automatic configuration and the system's sign-in to
// proxies included.
InternetHandle OpenSession() {
    return InternetHandle(
        InternetOpenW(L"Installer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

std::optional<UrlParts> SplitUrl(const std::wstring& url) {
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return std::nullopt;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return std::nullopt;
    if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0) return std::nullopt;
    UrlParts split;
    split.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    split.port = parts.nPort;
    if (parts.lpszUrlPath != nullptr) split.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr)
        split.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (split.path.empty()) split.path = L"/";
    split.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return split;
}

bool IsCertificateError(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
            return true;
        default:
            return false;
    }
}

// The dialog, which owns the proxy's credential prompt; null in a program without a window.
HWND PromptOwner() { return DetailLabel != nullptr ? GetParent(DetailLabel) : nullptr; }

// The system's prompt for the proxy's credentials; true when the user gave some. Anything but
// FORCE_RETRY is a cancel: Wine's Cancel answers 0, not ERROR_CANCELLED.
bool PromptForProxyCredentials(HINTERNET request) {
    const DWORD flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                        FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS;
    return InternetErrorDlg(PromptOwner(), request, ERROR_INTERNET_INCORRECT_PASSWORD, flags,
                            nullptr) == ERROR_INTERNET_FORCE_RETRY;
}

// Sends a GET for url with the extra headers; Complete with sent holding the answered request,
// or why not. A proxy's 407 is answered with the system's prompt, prompts counting those of the
// whole transfer; each resend goes out on a fresh connection and request handle, since Wine
// resends on one the proxy kept open in clear text, without CONNECT or credentials.
AttemptEnd SendRequest(HINTERNET session, const UrlParts& url, const std::wstring& headers,
                       int& prompts, Request& sent) {
    // NO_CACHE_WRITE: without it WinINet writes every body into the user's INetCache as well.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        (url.secure ? INTERNET_FLAG_SECURE : 0);
    for (;;) {
        Request attempt;
        attempt.connection.reset(InternetConnectW(session, url.host.c_str(), url.port, nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!attempt.connection) return AttemptEnd::OpenFailed;
        attempt.request.reset(HttpOpenRequestW(attempt.connection.get(), L"GET", url.path.c_str(),
                                               nullptr, nullptr, nullptr, flags, 0));
        if (!attempt.request) return AttemptEnd::OpenFailed;
        // Only a request's own receive timeout ends a read that waits for ever (measured under
        // Wine: the session's and InternetOpenUrlW's are ignored).
        DWORD stall = StallMilliseconds;
        InternetSetOptionW(attempt.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stall,
                           sizeof(stall));
        if (!HttpSendRequestW(attempt.request.get(), headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0)) {
            return IsCertificateError(GetLastError()) ? AttemptEnd::Certificate
                                                      : AttemptEnd::OpenFailed;
        }
        if (ResponseStatus(attempt.request.get()) != HTTP_STATUS_PROXY_AUTH_REQ) {
            sent = std::move(attempt);
            return AttemptEnd::Complete;
        }
        if (prompts >= ProxyPrompts) return AttemptEnd::ProxyRefused;
        ++prompts;
        if (!PromptForProxyCredentials(attempt.request.get())) return AttemptEnd::ProxyRefused;
    }
}

// Shows the retry line and waits before attempt number next; a closed window ends the process,
// and the wait with it.
void WaitBeforeAttempt(const std::wstring& detail, int next) {
    SetDetailText(BelowFirstLine(detail, RetryText(next)));
    Sleep(RetryWaitSeconds(next) * 1000);
}

// The body as bytes; Complete when all the announced bytes arrived.
AttemptEnd ReadBody(HINTERNET request, std::string& bytes) {
    const std::optional<unsigned long long> announced = AnnouncedLength(request);
    if (announced && *announced > MaxTextBytes) return AttemptEnd::Status;  // too long to decode
    char buffer[ChunkBufferBytes];
    for (;;) {
        DWORD count = 0;
        if (!InternetReadFile(request, buffer, ChunkBufferBytes, &count))
            return AttemptEnd::ReadFailed;
        if (count == 0) break;
        if (bytes.size() + count > MaxTextBytes) return AttemptEnd::Status;
        bytes.append(buffer, count);
    }
    return ReceivedAnnouncedLength(request, bytes.size()) ? AttemptEnd::Complete
                                                          : AttemptEnd::ShortBody;
}

bool ProgressDue(const Progress& progress) {
    return progress.lastShown == 0 ||
           GetTickCount64() - progress.lastShown >= ProgressIntervalMilliseconds;
}

void ShowProgress(Progress& progress, unsigned long long onDisk) {
    const ULONGLONG now = GetTickCount64();
    progress.lastShown = now;
    const ULONGLONG elapsed = now - progress.attemptStarted;
    const double rate =
        elapsed >= ProgressIntervalMilliseconds ? progress.attemptBytes * 1000.0 / elapsed : 0.0;
    SetDetailText(BelowFirstLine(progress.detail, ProgressText(onDisk, progress.total, rate)));
    if (!progress.total) return;
    const int position = ProgressPosition(onDisk, *progress.total, progress.shown);
    if (position != progress.shown) SetProgress(position);
    progress.shown = position;
}

// Copies the body to the end of the file, telling the holder of each block and showing the
// progress. What arrived before a failed read stays on disk, so that the next attempt can
// continue from it. On a slow link blocks are written early, so that the bar follows the bytes
// on disk.
AttemptEnd CopyBodyToFile(HINTERNET request, HANDLE file, const HeldDownload& held,
                          unsigned long long& onDisk, Progress& progress) {
    const Transfer end = CopyBody(
        request,
        [&](const char* bytes, std::size_t count) {
            if (!WriteAll(file, bytes, count)) return false;
            if (held.written) held.written(bytes, count);
            onDisk += count;
            progress.attemptBytes += count;
            if (ProgressDue(progress)) ShowProgress(progress, onDisk);
            return true;
        },
        [&progress] { return ProgressDue(progress); });
    if (end == Transfer::Complete) return AttemptEnd::Complete;
    return end == Transfer::WriteFailed ? AttemptEnd::WriteFailed : AttemptEnd::ReadFailed;
}

// Cuts the file back to nothing; false when it cannot.
bool CutFile(HANDLE file, const HeldDownload& held, unsigned long long& onDisk) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) return false;
    if (held.restart) held.restart();
    onDisk = 0;
    return true;
}

bool MoveToEnd(HANDLE file, unsigned long long onDisk) {
    LARGE_INTEGER end = {};
    end.QuadPart = static_cast<LONGLONG>(onDisk);
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) != 0;
}

std::wstring RangeHeaders(unsigned long long offset, const std::wstring& validator) {
    return L"Range: bytes=" + std::to_wstring(offset) + L"-\r\nIf-Range: " + validator + L"\r\n";
}

const wchar_t* FinalAdvice(AttemptEnd end) {
    switch (end) {
        case AttemptEnd::WriteFailed:
            return WriteAdvice;
        case AttemptEnd::ProxyRefused:
            return ProxyAdvice;
        default:
            return NetworkAdvice;
    }
}

std::wstring Download(const std::wstring& url, const std::wstring& path, const HeldDownload& held) {
    const InternetHandle session = OpenSession();
    if (!session) {
        SetDetailText(SessionAdvice);
        return {};
    }
    const std::optional<UrlParts> parts = SplitUrl(url);
    if (!parts) {
        SetDetailText(NetworkAdvice);
        return {};
    }
    Progress progress;
    progress.detail = DetailText();
    HANDLE file = INVALID_HANDLE_VALUE;
    unsigned long long onDisk = 0;
    std::wstring validator;
    bool restarted = false;
    bool waitFirst = false;
    int prompts = 0;
    AttemptEnd end = AttemptEnd::OpenFailed;
    for (int attempt = 1; attempt <= TransferAttempts; ++attempt) {
        if (waitFirst) WaitBeforeAttempt(progress.detail, attempt);
        waitFirst = true;
        const bool ranged =
            file != INVALID_HANDLE_VALUE && onDisk > 0 && progress.total && !validator.empty();
        Request sent;
        end = SendRequest(session.get(), *parts,
                          ranged ? RangeHeaders(onDisk, validator) : std::wstring(), prompts, sent);
        if (end != AttemptEnd::Complete) {
            if (AttemptIsRetried(end, 0)) continue;
            break;
        }
        const HINTERNET request = sent.request.get();
        const unsigned long status = ResponseStatus(request);
        if (status == 0) {
            end = AttemptEnd::OpenFailed;  // no status line to read: as if the connection failed
            continue;
        }
        if (status >= 400 && !(ranged && status == 416)) {
            end = AttemptEnd::Status;
            if (StatusIsRetried(status)) continue;
            break;
        }
        bool fresh = true;
        if (ranged) {
            const ResumeAnswer answer =
                JudgeResumeAnswer(status, ResponseHeader(request, HTTP_QUERY_CONTENT_RANGE), onDisk,
                                  *progress.total, restarted);
            if (answer == ResumeAnswer::Fail) {
                end = AttemptEnd::ReadFailed;
                break;
            }
            if (answer == ResumeAnswer::Restart) {
                // Asked again at once without a range, and not counted as a failed attempt.
                restarted = true;
                validator.clear();
                if (!CutFile(file, held, onDisk)) {
                    end = AttemptEnd::WriteFailed;
                    break;
                }
                --attempt;
                waitFirst = false;
                continue;
            }
            fresh = answer == ResumeAnswer::StartOver;
        }
        if (fresh) {
            if (file == INVALID_HANDLE_VALUE) {
                for (const std::wstring& directory : DirectoriesToCreate(path)) {
                    CreateDirectoryW(directory.c_str(), nullptr);  // the open decides
                }
                file = held.open(path);
                if (file == INVALID_HANDLE_VALUE) {
                    SetDetailText(FileOpenAdvice);
                    return {};
                }
            } else if (onDisk > 0 && !CutFile(file, held, onDisk)) {
                end = AttemptEnd::WriteFailed;
                break;
            }
            progress.total = AnnouncedLength(request);
        }
        // A 206 without validators of its own continues the file the earlier one began.
        const std::wstring answered =
            ResumeValidator(ResponseHeader(request, HTTP_QUERY_ETAG),
                            ResponseHeader(request, HTTP_QUERY_LAST_MODIFIED));
        if (fresh || !answered.empty()) validator = answered;
        if (!MoveToEnd(file, onDisk)) {
            end = AttemptEnd::WriteFailed;
            break;
        }
        progress.attemptStarted = GetTickCount64();
        progress.attemptBytes = 0;
        end = CopyBodyToFile(request, file, held, onDisk, progress);
        if (end == AttemptEnd::Complete) return path;
        if (!AttemptIsRetried(end, 0)) break;
    }
    // Nothing of a failed download stays behind.
    if (file != INVALID_HANDLE_VALUE && held.discard) held.discard();
    SetDetailText(FinalAdvice(end));
    return {};
}

}  // namespace

std::wstring FetchText(const std::wstring& url, std::wstring& advice) {
    const InternetHandle session = OpenSession();
    const std::optional<UrlParts> parts = SplitUrl(url);
    if (!session || !parts) return {};
    int prompts = 0;
    for (int attempt = 1; attempt <= TransferAttempts; ++attempt) {
        // The configuration stage's detail has nothing to keep: the retry line stands alone.
        if (attempt > 1) WaitBeforeAttempt(std::wstring(), attempt);
        Request sent;
        AttemptEnd end = SendRequest(session.get(), *parts, std::wstring(), prompts, sent);
        std::string bytes;
        unsigned long status = 0;
        if (end == AttemptEnd::Complete) {
            status = ResponseStatus(sent.request.get());
            end = status >= 400 ? AttemptEnd::Status : ReadBody(sent.request.get(), bytes);
        }
        if (end == AttemptEnd::Complete)
            return bytes.empty() ? std::wstring() : WideFromUtf8(bytes);
        if (end == AttemptEnd::ProxyRefused) advice = ProxyAdvice;
        if (!AttemptIsRetried(end, status)) return {};
    }
    return {};
}

std::wstring FetchText(const std::wstring& url) {
    std::wstring advice;
    return FetchText(url, advice);
}

std::wstring DownloadToHeldFile(const std::wstring& url, const std::wstring& path,
                                const HeldDownload& held) {
    return Download(url, path, held);
}

std::wstring DownloadToFile(const std::wstring& url, const std::wstring& path) {
    FileHandle file;
    HeldDownload held;
    held.open = [&file](const std::wstring& target) {
        file.reset(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.get();
    };
    held.discard = [&file, &path] {
        file.reset();
        DeleteFileW(path.c_str());
    };
    return Download(url, path, held);
}
