// config-check FILE|-: reads a configuration document as the installer would and prints what it
// reads, as JSON, with a warning for each pitfall. Exit 0: the installer would go on; 1: it would
// stop with its format error; 2: bad usage or unreadable input.

#ifndef _WIN32
#include <pthread.h>
#endif
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>

#include "tools/config-check/utf8.h"
#include "tools/config-check/check.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
using Arg = wchar_t;
#else
using Arg = char;
#endif

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "config-check: %s\n", message.c_str());
    return 2;
}

std::string Printable(const std::filesystem::path& path) {
#ifdef _WIN32
    return EncodeUtf8(path.wstring());
#else
    return path.string();
#endif
}

// The whole of the input, or false when it cannot be read.
bool ReadAll(std::istream& in, std::string& bytes) {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int Run(int argc, Arg** argv) {
    const std::string usage = "usage: config-check FILE (or - for standard input)";
    if (argc != 2) return Fail(usage);
    const std::basic_string<Arg> arg = argv[1];
    std::string bytes;
    if (arg == std::basic_string<Arg>(1, Arg('-'))) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        if (!ReadAll(std::cin, bytes)) return Fail("cannot read standard input");
    } else {
        const std::filesystem::path path(arg);
        std::error_code error;
        if (std::filesystem::is_directory(path, error))
            return Fail(Printable(path) + " is a folder");
        std::ifstream file(path, std::ios::binary);
        if (!file || !ReadAll(file, bytes)) return Fail("cannot read " + Printable(path));
    }

    const ConfigCheck check = CheckConfigDocument(bytes);
    const std::string report = FormatCheckReport(check);
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() ||
        std::fflush(stdout) != 0) {
        return Fail("cannot write the report");
    }
    return CheckExitCode(check);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // The program's stack reserve is the installer worker's (see CMakeLists.txt).
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}
#else
namespace {

struct Invocation {
    int argc;
    char** argv;
    int result;
};

void* RunInvocation(void* parameter) {
    auto* invocation = static_cast<Invocation*>(parameter);
    try {
        invocation->result = Run(invocation->argc, invocation->argv);
    } catch (const std::exception& error) {
        invocation->result = Fail(error.what());
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // The reader's regular-expression engine recurses once per character it matches: give it
    // at least the room the installer's worker has (more where a sanitizer inflates frames).
    constexpr std::size_t StackBytes = std::size_t{256} << 20;
    Invocation invocation{argc, argv, 2};
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) != 0) return Fail("cannot start");
    const bool started = pthread_attr_setstacksize(&attributes, StackBytes) == 0 &&
                         pthread_create(&thread, &attributes, RunInvocation, &invocation) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) return Fail("cannot start a thread for the reader");
    pthread_join(thread, nullptr);
    return invocation.result;
}
#endif
