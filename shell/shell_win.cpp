#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "handles/handles.h"
#include "shell/shell.h"

namespace {

std::wstring KnownFolderPath(REFKNOWNFOLDERID folder) {
    TaskMemString path;
    const HRESULT result = SHGetKnownFolderPath(folder, 0, nullptr, path.put());
    if (FAILED(result) || !path) return std::wstring();
    return std::wstring(path.get());
}

}  // namespace

std::wstring GetDocumentsFolder() { return KnownFolderPath(FOLDERID_Documents); }

std::wstring GetDesktopFolder() { return KnownFolderPath(FOLDERID_Desktop); }

bool CreateDesktopShortcut(const std::wstring& targetPath, const std::wstring& linkPath,
                           const std::wstring& description, const std::wstring& workingFolder) {
    ComPointer<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(link.put()));
    if (FAILED(result) || !link) return false;
    if (FAILED(link->SetPath(targetPath.c_str()))) return false;
    if (FAILED(link->SetDescription(description.c_str()))) return false;
    // Without one the program starts in a folder the shell picks, and looks for the DLLs it
    // loads on demand there.
    if (FAILED(link->SetWorkingDirectory(workingFolder.c_str()))) return false;

    ComPointer<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()));
    if (FAILED(result) || !file) return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}
