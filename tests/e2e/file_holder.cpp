// Keeps a file in use for the end-to-end tests, as a running program does:
//   file_holder EVENT [PATH [readwrite]]
// opens PATH (when given) for reading, shared with nobody (with "readwrite": sharing reading and
// writing but not deleting, as a viewer might), then signals the named event EVENT and sleeps
// until it is ended (ten minutes at most). Copied over the installed program and started without
// PATH, it is that program running. Exits 1 at once when PATH or EVENT cannot be opened.
#include <windows.h>

#include <cwchar>

#include "handles/handles.h"

int wmain(int count, wchar_t** args) {
    if (count < 2) return 1;
    FileHandle held;
    if (count > 2) {
        const DWORD share = count > 3 && std::wcscmp(args[3], L"readwrite") == 0
                                ? FILE_SHARE_READ | FILE_SHARE_WRITE
                                : 0;
        held.reset(CreateFileW(args[2], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!held) return 1;
    }
    const KernelHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, args[1]));
    if (!ready || !SetEvent(ready.get())) return 1;
    Sleep(10 * 60 * 1000);
    return 0;
}
