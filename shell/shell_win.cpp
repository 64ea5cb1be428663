#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

#include "shell/shell.h"

namespace {

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPointer = std::unique_ptr<Interface, ComRelease>;

struct TaskMemFree {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};
using TaskMemString = std::unique_ptr<wchar_t, TaskMemFree>;

std::wstring KnownFolderPath(REFKNOWNFOLDERID folder) {
    wchar_t* rawPath = nullptr;
    HRESULT result = SHGetKnownFolderPath(folder, 0, nullptr, &rawPath);
    TaskMemString path(rawPath);
    if (FAILED(result) || path == nullptr) return std::wstring();
    return std::wstring(path.get());
}

}  // namespace

std::wstring GetDocumentsFolder() { return KnownFolderPath(FOLDERID_Documents); }

std::wstring GetDesktopFolder() { return KnownFolderPath(FOLDERID_Desktop); }

bool CreateDesktopShortcut(const std::wstring& targetPath, const std::wstring& linkPath,
                           const std::wstring& description) {
    IShellLinkW* rawLink = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(&rawLink));
    ComPointer<IShellLinkW> link(rawLink);
    if (FAILED(result) || link == nullptr) return false;
    if (FAILED(link->SetPath(targetPath.c_str()))) return false;
    if (FAILED(link->SetDescription(description.c_str()))) return false;

    IPersistFile* rawFile = nullptr;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile));
    ComPointer<IPersistFile> file(rawFile);
    if (FAILED(result) || file == nullptr) return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}
