// Times one whole install through the real installer, as a user would start it:
//   bench-driver INSTALLER.exe [POLL_MILLISECONDS]
// Starts the installer, waits until its window is ready and idle, presses the button, and
// polls the status line (every 5 ms by default) until the run's final status appears. Right
// then, before the window is closed, it reads the installer's peak working set.
// The status line is read with InternalGetWindowText: one wineserver request that leaves the
// installer's threads alone (WM_GETTEXT would wake its dialog thread for every poll). The
// wineserver also carries each socket read of the download, so a heavier or faster poll
// would slow down the run it times.
// Prints one line:
//   seconds=S at_STAGE=S... peak_working_set=BYTES working_set=BYTES ok=1|0 status=TEXT
// seconds: press to the poll that saw the final status; at_STAGE: when each stage's status
// line was first seen (0 when a stage passed between two polls). Exits 0 when the install
// completed.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench/bench_common.h"
#include "tools/driver/driver.h"

namespace {

constexpr DWORD DefaultPollMilliseconds = 5;
constexpr double RunTimeoutSeconds = 600;

std::wstring StatusText(HWND statusLine) {
    wchar_t text[256] = {};
    const int length = InternalGetWindowText(statusLine, text, 256);
    return std::wstring(text, length > 0 ? length : 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) {
        std::fputs("usage: bench-driver INSTALLER.exe [POLL_MILLISECONDS]\n", stderr);
        return 2;
    }
    const DWORD pollMilliseconds =
        argc == 3 ? static_cast<DWORD>(_wtoi(argv[2])) : DefaultPollMilliseconds;
    RunningInstaller installer = StartInstaller(argv[1]);
    if (installer.dialog == nullptr) {
        std::fputs("bench-driver: the installer window did not appear\n", stderr);
        StopInstaller(installer);
        return 1;
    }
    // Let the start-up settle (painting, fonts) so that none of it falls into the timed run.
    std::vector<DialogState> history;
    WaitForDialog(
        installer.dialog, [](const DialogState& state) { return state.buttonEnabled; }, history);
    Sleep(500);

    const HWND statusLine = GetDlgItem(installer.dialog, IDC_STATUS);
    const double start = Now();
    ClickActionButton(installer.dialog);
    std::wstring status;
    double polled = start;
    StageTimes seen{};
    for (;;) {
        status = StatusText(statusLine);
        polled = Now();
        NoteStage(seen, status, polled - start);
        if (IsFinalStatus(status) || polled - start > RunTimeoutSeconds) break;
        Sleep(pollMilliseconds);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    const bool measured =
        GetProcessMemoryInfo(installer.process.hProcess, &memory, sizeof(memory)) != FALSE;
    const bool completed = IsCompletedStatus(status);
    // The run ends with the package's deletion; wait for the button before closing the window.
    WaitForDialog(installer.dialog, RunEnded, history);
    StopInstaller(installer);

    std::printf("seconds=%.4f ", polled - start);
    PrintStageTimes(seen);
    std::printf("peak_working_set=%lld working_set=%lld ok=%d status=%s\n",
                measured ? static_cast<long long>(memory.PeakWorkingSetSize) : -1LL,
                measured ? static_cast<long long>(memory.WorkingSetSize) : -1LL, completed ? 1 : 0,
                Utf8(status).c_str());
    return completed ? 0 : 1;
}
