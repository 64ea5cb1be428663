#pragma once
// Portable rules of the network build's transfers: which outcomes are tried again and how long
// to wait, when a broken package download resumes, and what the user sees while it runs.

#include <optional>
#include <string>

// Attempts per transfer, and how long a read may wait for its next byte.
constexpr int TransferAttempts = 5;
constexpr unsigned long StallMilliseconds = 30 * 1000;
// Credential prompts per transfer for a proxy that answers 407.
constexpr int ProxyPrompts = 3;
// The progress detail changes at most this often.
constexpr unsigned long ProgressIntervalMilliseconds = 250;

// How one attempt ended.
enum class AttemptEnd {
    Complete,      // the whole body is on disk (or in memory)
    OpenFailed,    // no connection, or the request could not be sent
    ReadFailed,    // a read failed, a stalled read included
    ShortBody,     // the body ended before its announced length
    Status,        // an error status: see StatusIsRetried
    Certificate,   // the server's certificate was refused
    WriteFailed,   // the file took not all of the body
    ProxyRefused,  // the proxy still asks for credentials, or the user cancelled its prompt
};

// True for the answers that a later attempt may not get again: 408, 429 and every 5xx.
bool StatusIsRetried(unsigned long status);
// True when an attempt that ended so (with status, for AttemptEnd::Status) is worth another one.
bool AttemptIsRetried(AttemptEnd end, unsigned long status);
// Seconds to wait before attempt number next (2..TransferAttempts): 1, 2, 4, 8; 0 otherwise.
unsigned RetryWaitSeconds(int next);

// The validator an If-Range may carry: a strong ETag, else Last-Modified; empty when the
// response had neither (a weak ETag, W/"...", does not count).
std::wstring ResumeValidator(const std::wstring& etag, const std::wstring& lastModified);

struct ContentRange {
    unsigned long long first = 0;
    unsigned long long last = 0;
    unsigned long long total = 0;
};
// "bytes N-M/T" with N <= M < T, digits only, nothing around it; nullopt otherwise.
std::optional<ContentRange> ParseContentRange(const std::wstring& text);

// What to do with the answer to a request for the bytes from offset on.
enum class ResumeAnswer {
    Append,     // a 206 that continues the file: append its body
    StartOver,  // the package changed (a 200): cut the file to 0 and write this body
    Restart,    // an answer that cannot continue the file: cut it and ask again without a range
    Fail,       // such an answer after a restart already: the transfer fails
};
// status and contentRange of the answer, offset the bytes on disk, total the first response's
// length, restarted whether a Restart has already been taken in this transfer.
ResumeAnswer JudgeResumeAnswer(unsigned long status, const std::wstring& contentRange,
                               unsigned long long offset, unsigned long long total, bool restarted);

// "已下载 12.3 MB / 256.0 MB（2.1 MB/秒）", or "已下载 12.3 MB" without a total.
std::wstring ProgressText(unsigned long long bytes, std::optional<unsigned long long> total,
                          double bytesPerSecond);
// The bar's position for bytes of total: 50 up to at most 59, never below shown (the position
// already on the bar).
int ProgressPosition(unsigned long long bytes, unsigned long long total, int shown);
// "网络连接中断，正在重试（第 N 次，共 5 次）..." for attempt number next.
std::wstring RetryText(int next);
// The first line of detail, then line below it; line alone when detail is empty.
std::wstring BelowFirstLine(const std::wstring& detail, const std::wstring& line);
