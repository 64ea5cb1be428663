// Planted where a web page could leave it (beside the installer, in its current folder) under the
// name of an unpacker: leaves "<its own path>.ran" behind and exits 0 without unpacking anything.
#include <windows.h>

#include <string>

#include "handles/handles.h"

int wmain() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const FileHandle mark(CreateFileW((path + L".ran").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return 0;
}
