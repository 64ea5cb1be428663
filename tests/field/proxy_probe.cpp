// Fetches one URL through the system's proxy settings, as a network build of the installer does,
// and prints the HTTP status and the body's length: proxy-probe URL. Exit code 0 once a body was
// read to its end, 1 when the URL could not be opened.
#include <windows.h>
#include <wininet.h>

#include <cstdio>

#include "handles/handles.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: proxy-probe URL\n");
        return 2;
    }
    const InternetHandle session(
        InternetOpenW(L"Installer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.get()) {
        std::fprintf(stderr, "proxy-probe: InternetOpenW failed (%lu)\n", GetLastError());
        return 1;
    }
    const InternetHandle request(
        InternetOpenUrlW(session.get(), argv[1], nullptr, 0,
                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request.get()) {
        std::fprintf(stderr, "proxy-probe: InternetOpenUrlW failed (%lu)\n", GetLastError());
        return 1;
    }
    DWORD status = 0;
    DWORD status_size = sizeof(status);
    HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                   &status_size, nullptr);
    char buffer[4096];
    unsigned long total = 0;
    DWORD read = 0;
    while (InternetReadFile(request.get(), buffer, sizeof(buffer), &read) && read > 0) {
        total += read;
    }
    std::printf("status %lu bytes %lu\n", status, total);
    return 0;
}
