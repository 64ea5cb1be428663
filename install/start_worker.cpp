#include <windows.h>

#include "handles/handles.h"
#include "install/install.h"

bool StartInstallWorker() {
    const KernelHandle thread(CreateThread(nullptr, 0, InstallWorker, nullptr, 0, nullptr));
    return static_cast<bool>(thread);
}
