// Runs the installer's own InstallWorker once, without its window, and times its stages:
//   bench-worker
// The same worker, configuration address and unpacker as installer.exe, in a console
// process like the floors', with a status channel (defined here, in place of the window's)
// that notes when each status line is set. Set against installer.exe it shows what the window
// and the driver cost; set against the floors, what the worker's own extra steps cost.
// Prints one line in the driver's form:
//   seconds=S at_STAGE=S... ok=1|0 status=TEXT
// (seconds: from the start to the final status; at_STAGE: when each stage's status was set).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "handles/handles.h"
#include "install/install.h"
#include "status/status.h"
#include "tests/support/test_text.h"

namespace {

struct TimedStatus {
    double seconds;
    std::wstring text;
};

std::mutex& StatusLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::vector<TimedStatus>& StatusTimes() {
    static std::vector<TimedStatus>* times = new std::vector<TimedStatus>;
    return *times;
}

}  // namespace

void SetStatusText(const std::wstring& text) {
    const double now = Now();
    std::lock_guard<std::mutex> guard(StatusLock());
    StatusTimes().push_back({now, text});
}

void SetDetailText(const std::wstring&) {}

void SetProgress(int) {}

int wmain() {
    const double start = Now();
    // A thread of the program's default stack, as the installer starts its worker.
    const KernelHandle worker(CreateThread(nullptr, 0, InstallWorker, nullptr, 0, nullptr));
    if (!worker) {
        std::fputs("bench-worker: no thread\n", stderr);
        return 1;
    }
    WaitForSingleObject(worker.get(), INFINITE);

    std::vector<TimedStatus> times;
    {
        std::lock_guard<std::mutex> guard(StatusLock());
        times = StatusTimes();
    }
    double end = 0;
    std::wstring final;
    StageTimes seen{};
    for (const TimedStatus& status : times) {
        NoteStage(seen, status.text, status.seconds - start);
        if (end == 0 && IsFinalStatus(status.text)) {
            end = status.seconds - start;
            final = status.text;
        }
    }
    const bool completed = IsCompletedStatus(final);
    std::printf("seconds=%.4f ", end);
    PrintStageTimes(seen);
    std::printf("ok=%d status=%s\n", completed ? 1 : 0, Utf8(final).c_str());
    return completed ? 0 : 1;
}
