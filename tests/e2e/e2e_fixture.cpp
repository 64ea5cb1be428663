#include "tests/e2e/e2e_fixture.h"

bool PublishSample(const PublishedPackage& package) {
    return PublishSamplePackage() &&
           PublishConfig(ConfigDocument(package.package_name, package.application_name,
                                        package.desktop_shortcut, package.version,
                                        TestServerUrl("/packages/sample.zip"), package.sign));
}

std::string SignatureEntry(const char* key) {
    std::string entry;
    const std::wstring folder = WindowsPathFromEnvironment("INSTALLER_PACKAGE_KEYS_DIR");
    if (!ReadFileBytes(folder + L"\\" + FromUtf8(key) + L".entry", entry)) return {};
    while (!entry.empty() && entry.back() == '\n') entry.pop_back();
    return entry;
}

std::vector<DialogState> RunToTheEnd(const RunningInstaller& installer) {
    std::vector<DialogState> history;
    if (installer.dialog == nullptr) return history;
    ClickActionButton(installer.dialog);
    WaitForDialog(installer.dialog, RunEnded, history, std::chrono::minutes(3));
    return history;
}

bool StartFileHolder(const std::wstring& program, const std::wstring& file,
                     const std::wstring& sharing, ProcessHandles& holder) {
    const wchar_t ready[] = L"Local\\InstallerFileHolderReady";
    const KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, ready));
    std::wstring commandLine = L"\"" + program + L"\" " + ready;
    if (!file.empty()) commandLine += L" \"" + file + L"\" " + sharing;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!event || !CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                  nullptr, nullptr, &startup, &started)) {
        return false;
    }
    holder = OwnProcess(started);
    const HANDLE waits[] = {event.get(), holder.process.get()};
    return WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0;
}

void EndFileHolder(ProcessHandles& holder) {
    if (!holder.process) return;
    TerminateProcess(holder.process.get(), 1);
    WaitForSingleObject(holder.process.get(), 10000);
    holder = ProcessHandles{};
}
