#include "net/field_rules.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr unsigned long long Mebibyte = 1024 * 1024;

// Megabytes with one decimal, rounded; built by hand so that no locale changes the point.
std::wstring Megabytes(unsigned long long tenths) {
    return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" MB";
}

unsigned long long TenthsOfMebibyte(unsigned long long bytes) {
    return bytes / Mebibyte * 10 + (bytes % Mebibyte * 10 + Mebibyte / 2) / Mebibyte;
}

// Reads the digits at text[at...] into value; false when there are none or they overflow.
bool ReadNumber(const std::wstring& text, size_t& at, unsigned long long& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
        const unsigned digit = static_cast<unsigned>(text[at] - L'0');
        if (value > (~0ULL - digit) / 10) return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > start;
}

bool Expect(const std::wstring& text, size_t& at, wchar_t character) {
    if (at >= text.size() || text[at] != character) return false;
    ++at;
    return true;
}

}  // namespace

bool StatusIsRetried(unsigned long status) {
    return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

bool AttemptIsRetried(AttemptEnd end, unsigned long status) {
    switch (end) {
        case AttemptEnd::OpenFailed:
        case AttemptEnd::ReadFailed:
        case AttemptEnd::ShortBody:
            return true;
        case AttemptEnd::Status:
            return StatusIsRetried(status);
        default:
            return false;
    }
}

unsigned RetryWaitSeconds(int next) {
    if (next < 2 || next > TransferAttempts) return 0;
    return 1u << (next - 2);
}

std::wstring ResumeValidator(const std::wstring& etag, const std::wstring& lastModified) {
    if (etag.size() >= 2 && etag.front() == L'"' && etag.back() == L'"') return etag;
    return lastModified;
}

std::optional<ContentRange> ParseContentRange(const std::wstring& text) {
    static const std::wstring unit = L"bytes ";
    if (text.compare(0, unit.size(), unit) != 0) return std::nullopt;
    size_t at = unit.size();
    ContentRange range;
    if (!ReadNumber(text, at, range.first) || !Expect(text, at, L'-') ||
        !ReadNumber(text, at, range.last) || !Expect(text, at, L'/') ||
        !ReadNumber(text, at, range.total) || at != text.size()) {
        return std::nullopt;
    }
    if (range.first > range.last || range.last >= range.total) return std::nullopt;
    return range;
}

ResumeAnswer JudgeResumeAnswer(unsigned long status, const std::wstring& contentRange,
                               unsigned long long offset, unsigned long long total,
                               bool restarted) {
    if (status == 200) return ResumeAnswer::StartOver;
    if (status == 206) {
        // The rest of the very file the first response began: from the bytes on disk to its end.
        const std::optional<ContentRange> range = ParseContentRange(contentRange);
        if (range && range->first == offset && range->total == total && range->last == total - 1) {
            return ResumeAnswer::Append;
        }
    }
    return restarted ? ResumeAnswer::Fail : ResumeAnswer::Restart;
}

std::wstring ProgressText(unsigned long long bytes, std::optional<unsigned long long> total,
                          double bytesPerSecond) {
    std::wstring text = L"已下载 " + Megabytes(TenthsOfMebibyte(bytes));
    if (!total) return text;
    const double rate = std::max(0.0, bytesPerSecond);
    const auto rateTenths = static_cast<unsigned long long>(std::llround(rate * 10 / Mebibyte));
    return text + L" / " + Megabytes(TenthsOfMebibyte(*total)) + L"（" + Megabytes(rateTenths) +
           L"/秒）";
}

int ProgressPosition(unsigned long long bytes, unsigned long long total, int shown) {
    if (total == 0) return shown;
    const long double share = static_cast<long double>(std::min(bytes, total)) / total;
    const int position = 50 + static_cast<int>(9 * share);
    return std::max(shown, std::min(59, position));
}

std::wstring RetryText(int next) {
    return L"网络连接中断，正在重试（第 " + std::to_wstring(next) + L" 次，共 " +
           std::to_wstring(TransferAttempts) + L" 次）...";
}

std::wstring BelowFirstLine(const std::wstring& detail, const std::wstring& line) {
    if (detail.empty()) return line;
    return detail.substr(0, detail.find(L'\n')) + L"\n" + line;
}
