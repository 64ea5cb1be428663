#include "tests/config/worker_stack.h"

#ifdef _WIN32
#include <windows.h>

#include "handles/handles.h"

#include <memory>
#else
#include <pthread.h>
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's red zones make the engine's frames about four times as large.
constexpr std::size_t SanitizerFactor = 4;
#else
constexpr std::size_t SanitizerFactor = 1;
#endif

#ifdef _WIN32
DWORD WINAPI Run(LPVOID work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}
#else
void* Run(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return nullptr;
}
#endif

}  // namespace

#ifdef _WIN32

bool RunOnWorkerStack(const std::function<void()>& work) {
    // Size 0: the program's default, exactly as the installer starts its worker.
    const KernelHandle thread(
        CreateThread(nullptr, 0, Run, const_cast<std::function<void()>*>(&work), 0, nullptr));
    if (!thread) return false;
    WaitForSingleObject(thread.get(), INFINITE);
    return true;
}

std::size_t WorkerStackReserve() {
    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return static_cast<std::size_t>(nt->OptionalHeader.SizeOfStackReserve);
}

#else

bool RunOnWorkerStack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_t thread;
    const bool started =
        pthread_attr_setstacksize(&attributes, WorkerStackReserve()) == 0 &&
        pthread_create(&thread, &attributes, Run, const_cast<std::function<void()>*>(&work)) == 0;
    pthread_attr_destroy(&attributes);
    if (started) pthread_join(thread, nullptr);
    return started;
}

std::size_t WorkerStackReserve() { return WorkerStackSize * SanitizerFactor; }

#endif
