#include "tools/driver/driver.h"

#include <commctrl.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <type_traits>

#include "app/resource.h"
#include "handles/handles.h"

namespace {

std::wstring WindowText(HWND window) {
    if (window == nullptr) return L"<missing>";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return L"<hung>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return text;
}

struct FindContext {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindDialogOfProcess(HWND window, LPARAM parameter) {
    auto* context = reinterpret_cast<FindContext*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (owner == context->processId && std::wstring(className) == L"#32770" &&
        IsWindowVisible(window) && GetDlgItem(window, IDC_ACTION) != nullptr) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const DialogState& state) {
    std::wstring detail;
    for (wchar_t c : state.detail) detail += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
    return out << Utf8(L"[" + state.title + L" | " + state.status + L" | " + detail + L" | " +
                       std::to_wstring(state.progress) + L" | " + state.caption +
                       (state.buttonEnabled ? L"]" : L" (disabled)]"));
}

RunningInstaller StartInstaller(const std::wstring& exePath, const std::wstring& workingFolder) {
    RunningInstaller installer;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + exePath + L"\"";
    const std::wstring folder =
        workingFolder.empty() ? exePath.substr(0, exePath.find_last_of(L'\\')) : workingFolder;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &installer.process)) {
        return installer;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        FindContext context{installer.process.dwProcessId, nullptr};
        EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&context));
        if (context.found != nullptr) {
            installer.dialog = context.found;
            break;
        }
        if (WaitForSingleObject(installer.process.hProcess, 20) == WAIT_OBJECT_0) break;
    }
    return installer;
}

void StopInstaller(RunningInstaller& installer) {
    if (installer.process.hProcess == nullptr) return;
    if (WaitForSingleObject(installer.process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(installer.process.hProcess, 1);
        WaitForSingleObject(installer.process.hProcess, 10000);
    }
    const ProcessHandles owned = OwnProcess(installer.process);
    installer.process = PROCESS_INFORMATION{};
    installer.dialog = nullptr;
}

namespace {

DialogState ReadDialogOnce(HWND dialog) {
    DialogState state;
    state.title = WindowText(dialog);
    state.status = WindowText(GetDlgItem(dialog, IDC_STATUS));
    state.detail = WindowText(GetDlgItem(dialog, IDC_DETAIL));
    HWND button = GetDlgItem(dialog, IDC_ACTION);
    state.caption = WindowText(button);
    state.buttonEnabled = button != nullptr && IsWindowEnabled(button);
    DWORD_PTR position = 0;
    if (SendMessageTimeoutW(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG,
                            5000, &position)) {
        state.progress = static_cast<int>(position);
    }
    return state;
}

}  // namespace

DialogState ReadDialog(HWND dialog) {
    // The controls are read one after another while the worker may be changing them: only a
    // reading that two passes agree on is one consistent state.
    DialogState state = ReadDialogOnce(dialog);
    for (int attempt = 0; attempt < 50; ++attempt) {
        DialogState again = ReadDialogOnce(dialog);
        if (again == state) break;
        state = again;
    }
    return state;
}

bool WaitForDialog(HWND dialog, const std::function<bool(const DialogState&)>& done,
                   std::vector<DialogState>& history, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (!IsWindow(dialog)) return false;
        DialogState state = ReadDialog(dialog);
        if (history.empty() || !(history.back() == state)) history.push_back(state);
        if (done(state)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void ClickActionButton(HWND dialog) {
    SendMessageTimeoutW(GetDlgItem(dialog, IDC_ACTION), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000,
                        nullptr);
}

void SendActionCommand(HWND dialog) {
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDC_ACTION, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ACTION)), SMTO_ABORTIFHUNG,
                        5000, nullptr);
}

std::wstring WindowsPathFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') return std::wstring();
    return WindowsPath(FromUtf8(value));
}

bool SaveScreenshot(const std::string& name) {
    const char* artifacts = std::getenv("INSTALLER_TEST_ARTIFACTS");
    if (artifacts == nullptr) return false;
    const std::string unixPath = std::string(artifacts) + "/" + name + ".png";
    std::wstring folder = WindowsPathFromEnvironment("INSTALLER_TEST_ARTIFACTS");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring windowsPath = folder + L"\\" + FromUtf8(name) + L".png";
    DeleteFileW(windowsPath.c_str());
    // Wine starts Unix programs given by a Z: path; ImageMagick reads the X display directly.
    // Through env: ImageMagick 7 (Debian 13) picks its tool by the name it was started under, and
    // Wine would start it as "\usr\bin\import", which it does not know.
    std::wstring commandLine =
        L"Z:\\usr\\bin\\env /usr/bin/import -window root " + FromUtf8(unixPath);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    const ProcessHandles owned = OwnProcess(process);
    // The Unix child's handle cannot be waited on: wait until the file stops growing.
    long long lastSize = -1;
    for (int round = 0; round < 300; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(windowsPath.c_str(), GetFileExInfoStandard, &data)) continue;
        long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size > 0 && size == lastSize) return true;
        lastSize = size;
    }
    return false;
}

namespace {

struct ScreenDcRelease {
    void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct MemoryDcDelete {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDelete {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcRelease>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDelete>;
using GdiBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDelete>;

}  // namespace

bool CaptureWindowToBmp(HWND window, const std::wstring& bmpPath) {
    RECT area{};
    if (!GetWindowRect(window, &area)) return false;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    ScreenDc screen(GetDC(nullptr));
    if (screen == nullptr) return false;
    MemoryDc memory(CreateCompatibleDC(screen.get()));
    GdiBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    if (memory == nullptr || bitmap == nullptr) return false;
    HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    const bool copied =
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    SelectObject(memory.get(), previous);
    if (!copied) return false;

    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;  // bottom-up, as BMP files store rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(static_cast<size_t>(stride) * height, '\0');
    if (!GetDIBits(memory.get(), bitmap.get(), 0, height, pixels.data(),
                   reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS)) {
        return false;
    }
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    bytes += pixels;
    return WriteFileBytes(bmpPath, bytes);
}

bool RunEnded(const DialogState& state) {
    return state.buttonEnabled && (state.caption == L"重新安装" || state.caption == L"打开程序");
}
