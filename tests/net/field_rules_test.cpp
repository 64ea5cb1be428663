#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "net/field_rules.h"

namespace {

TEST(FieldRules, RetriesOnlyWhatAnotherAttemptMayNotMeetAgain) {
    struct Case {
        AttemptEnd end;
        unsigned long status;
        bool retried;
    };
    const Case cases[] = {
        {AttemptEnd::OpenFailed, 0, true},   {AttemptEnd::ReadFailed, 0, true},
        {AttemptEnd::ShortBody, 0, true},    {AttemptEnd::Status, 408, true},
        {AttemptEnd::Status, 429, true},     {AttemptEnd::Status, 500, true},
        {AttemptEnd::Status, 503, true},     {AttemptEnd::Status, 599, true},
        {AttemptEnd::Status, 400, false},    {AttemptEnd::Status, 403, false},
        {AttemptEnd::Status, 404, false},    {AttemptEnd::Status, 416, false},
        {AttemptEnd::Status, 600, false},    {AttemptEnd::Certificate, 0, false},
        {AttemptEnd::WriteFailed, 0, false}, {AttemptEnd::ProxyRefused, 0, false},
        {AttemptEnd::Complete, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AttemptIsRetried(c.end, c.status), c.retried)
            << static_cast<int>(c.end) << " " << c.status;
    }
}

TEST(FieldRules, WaitsDoubleFromOneSecondBetweenFiveAttempts) {
    EXPECT_EQ(RetryWaitSeconds(1), 0u);
    EXPECT_EQ(RetryWaitSeconds(2), 1u);
    EXPECT_EQ(RetryWaitSeconds(3), 2u);
    EXPECT_EQ(RetryWaitSeconds(4), 4u);
    EXPECT_EQ(RetryWaitSeconds(5), 8u);
    EXPECT_EQ(RetryWaitSeconds(6), 0u);
}

TEST(FieldRules, TheValidatorIsAStrongEtagElseLastModified) {
    const std::wstring date = L"Wed, 21 Oct 2015 07:28:00 GMT";
    EXPECT_EQ(ResumeValidator(L"\"5f1-3a\"", date), L"\"5f1-3a\"");
    EXPECT_EQ(ResumeValidator(L"W/\"5f1-3a\"", date), date);
    EXPECT_EQ(ResumeValidator(L"", date), date);
    EXPECT_EQ(ResumeValidator(L"W/\"x\"", L""), L"");
    EXPECT_EQ(ResumeValidator(L"\"", L""), L"");
}

TEST(FieldRules, ContentRangeIsReadStrictly) {
    const std::optional<ContentRange> range = ParseContentRange(L"bytes 100-999/1000");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 100u);
    EXPECT_EQ(range->last, 999u);
    EXPECT_EQ(range->total, 1000u);
    for (const wchar_t* bad : {L"", L"bytes 100-999/*", L"bytes */1000", L"bytes 100-999/1000 ",
                               L" bytes 100-999/1000", L"bytes=100-999/1000", L"items 100-999/1000",
                               L"bytes 100-1000/1000", L"bytes 200-100/1000", L"bytes -1-999/1000",
                               L"bytes +1-999/1000", L"bytes 1-2/99999999999999999999999"}) {
        EXPECT_FALSE(ParseContentRange(bad)) << std::wstring(bad).size();
    }
}

TEST(FieldRules, ResumeAppendsOnlyTheRestOfTheSameFile) {
    struct Case {
        unsigned long status;
        const wchar_t* range;
        bool restarted;
        ResumeAnswer answer;
    };
    const Case cases[] = {
        {206, L"bytes 400-999/1000", false, ResumeAnswer::Append},
        {206, L"bytes 400-999/1000", true, ResumeAnswer::Append},
        {200, L"", false, ResumeAnswer::StartOver},
        {200, L"", true, ResumeAnswer::StartOver},
        {206, L"bytes 0-999/1000", false, ResumeAnswer::Restart},
        {206, L"bytes 400-999/2000", false, ResumeAnswer::Restart},
        {206, L"bytes 400-799/1000", false, ResumeAnswer::Restart},
        {206, L"garbage", false, ResumeAnswer::Restart},
        {416, L"bytes */1000", false, ResumeAnswer::Restart},
        {416, L"bytes */1000", true, ResumeAnswer::Fail},
        {206, L"bytes 0-999/1000", true, ResumeAnswer::Fail},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JudgeResumeAnswer(c.status, c.range, 400, 1000, c.restarted), c.answer)
            << c.status << " " << std::wstring(c.range).size() << " " << c.restarted;
    }
}

TEST(FieldRules, ProgressTextInMebibytesWithOneDecimal) {
    const unsigned long long mib = 1024 * 1024;
    EXPECT_EQ(ProgressText(mib * 123 / 10, 256 * mib, 2.1 * mib),
              L"已下载 12.3 MB / 256.0 MB（2.1 MB/秒）");
    EXPECT_EQ(ProgressText(mib * 123 / 10, std::nullopt, 2.1 * mib), L"已下载 12.3 MB");
    EXPECT_EQ(ProgressText(0, 1000, 0), L"已下载 0.0 MB / 0.0 MB（0.0 MB/秒）");
    EXPECT_EQ(ProgressText(mib - 1, 2 * mib, 0), L"已下载 1.0 MB / 2.0 MB（0.0 MB/秒）");
}

TEST(FieldRules, TheBarMovesFromFiftyToFiftyNineAndNeverBack) {
    EXPECT_EQ(ProgressPosition(0, 1000, 50), 50);
    EXPECT_EQ(ProgressPosition(500, 1000, 50), 54);
    EXPECT_EQ(ProgressPosition(999, 1000, 50), 58);
    EXPECT_EQ(ProgressPosition(1000, 1000, 50), 59);
    EXPECT_EQ(ProgressPosition(5000, 1000, 50), 59);
    EXPECT_EQ(ProgressPosition(100, 1000, 57), 57);  // a start-over does not pull it back
    EXPECT_EQ(ProgressPosition(100, 0, 50), 50);
    const unsigned long long huge = 1ULL << 62;
    EXPECT_EQ(ProgressPosition(huge / 2, huge, 50), 54);
}

TEST(FieldRules, RetryAndProgressLinesGoBelowTheFirstLine) {
    EXPECT_EQ(RetryText(2), L"网络连接中断，正在重试（第 2 次，共 5 次）...");
    EXPECT_EQ(BelowFirstLine(L"安装目录: C:\\x", L"b"), L"安装目录: C:\\x\nb");
    EXPECT_EQ(BelowFirstLine(L"安装目录: C:\\x\nold", L"b"), L"安装目录: C:\\x\nb");
    EXPECT_EQ(BelowFirstLine(L"", L"b"), L"b");
}

}  // namespace
