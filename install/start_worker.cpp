#include <windows.h>

#include <memory>

#include "install/install.h"

namespace {

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using ThreadHandle = std::unique_ptr<void, HandleClose>;

}  // namespace

bool StartInstallWorker() {
    ThreadHandle thread(CreateThread(nullptr, 0, InstallWorker, nullptr, 0, nullptr));
    return thread != nullptr;
}
