#include "bench/bench_common.h"

#include <windows.h>

#include <cstdio>

double Now() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void NoteStage(StageTimes& times, const std::wstring& status, double seconds) {
    for (std::size_t i = 0; i < times.size(); ++i)
        if (times[i] == 0 && status == Stages[i].status) times[i] = seconds;
}

void PrintStageTimes(const StageTimes& times) {
    for (std::size_t i = 0; i < times.size(); ++i)
        std::printf("at_%s=%.4f ", Stages[i].name, times[i]);
}

bool IsFinalStatus(const std::wstring& status) {
    return IsCompletedStatus(status) || status.rfind(L"错误", 0) == 0;
}

bool IsCompletedStatus(const std::wstring& status) { return status.rfind(L"安装完成", 0) == 0; }
