// config-check [--strict] [--public-key PEM]... [--package ZIP] FILE|-
// config-check [--strict] [--public-key PEM]... --live https://HOST[:PORT] [--ca-file PEM]
// Reads a configuration document (and a package, or both from a deployment) as the installer
// would and prints what it reads, as JSON, with its errors and warnings; with public keys, checks
// the publisher's signature as an installer built with them would. Exit 0: the release
// installs as meant (under --strict: without warnings either); 1: it would not (or warns);
// 2: bad usage or a local file that cannot be read.

#ifndef _WIN32
#include <pthread.h>
#endif
#include <clocale>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "tools/config-check/check.h"
#include "tools/config-check/live.h"
#include "tools/config-check/package.h"
#include "names/utf8.h"
#include "tools/config-check/signature_check.h"

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

std::string Narrow(const std::basic_string<Arg>& text) {
#ifdef _WIN32
    return EncodeUtf8(text);
#else
    return text;
#endif
}

struct Invocation {
    bool strict = false;
    std::filesystem::path document;  // empty with --live
    bool fromStandardInput = false;
    std::filesystem::path package;
    std::string live;
    std::filesystem::path caFile;
    std::vector<std::filesystem::path> publicKeys;
};

// The invocation argv asks for; false when it is not one of the two forms.
bool ParseArguments(int argc, Arg** argv, Invocation& invocation) {
    using Text = std::basic_string<Arg>;
    const auto is = [](const Text& arg, const char* option) {
        return arg == Text(option, option + std::char_traits<char>::length(option));
    };
    bool haveDocument = false, havePackage = false, haveLive = false, haveCaFile = false;
    for (int i = 1; i < argc; ++i) {
        const Text arg = argv[i];
        const bool takesValue = is(arg, "--package") || is(arg, "--live") || is(arg, "--ca-file") ||
                                is(arg, "--public-key");
        if (takesValue && i + 1 == argc) return false;
        if (is(arg, "--strict")) {
            invocation.strict = true;
        } else if (is(arg, "--public-key")) {
            invocation.publicKeys.push_back(argv[++i]);
        } else if (is(arg, "--package") && !havePackage) {
            invocation.package = argv[++i];
            havePackage = true;
        } else if (is(arg, "--live") && !haveLive) {
            invocation.live = Narrow(argv[++i]);
            haveLive = true;
        } else if (is(arg, "--ca-file") && !haveCaFile) {
            invocation.caFile = argv[++i];
            haveCaFile = true;
        } else if ((arg.empty() || arg[0] != Arg('-') || is(arg, "-")) && !haveDocument) {
            invocation.fromStandardInput = is(arg, "-");
            invocation.document = arg;
            haveDocument = true;
        } else {
            return false;
        }
    }
    if (haveLive) return !invocation.live.empty() && !haveDocument && !havePackage;
    return haveDocument && !haveCaFile;
}

int Run(int argc, Arg** argv) {
    const std::string usage =
        "usage: config-check [--strict] [--public-key PEM]... [--package ZIP] FILE (or - for "
        "standard input)\n"
        "       config-check [--strict] [--public-key PEM]... --live https://HOST[:PORT] "
        "[--ca-file PEM]";
    Invocation invocation;
    if (!ParseArguments(argc, argv, invocation)) return Fail(usage);

    ConfigCheck check;
    std::string failure;
    for (const std::filesystem::path& path : invocation.publicKeys) {
        PackageKey key;
        if (!ReadPublicKeyFile(path, key, failure)) return Fail(failure);
        check.publicKeys.push_back(key);
    }
    if (!invocation.live.empty()) {
        if (!CheckLiveDeployment(invocation.live, invocation.caFile, check, failure))
            return Fail(failure);
    } else {
        std::string bytes;
        if (invocation.fromStandardInput) {
#ifdef _WIN32
            _setmode(_fileno(stdin), _O_BINARY);
#endif
            if (!ReadAll(std::cin, bytes)) return Fail("cannot read standard input");
        } else {
            const std::filesystem::path& path = invocation.document;
            std::error_code error;
            if (std::filesystem::is_directory(path, error))
                return Fail(Printable(path) + " is a folder");
            std::ifstream file(path, std::ios::binary);
            if (!file || !ReadAll(file, bytes)) return Fail("cannot read " + Printable(path));
        }
        check = CheckConfigDocument(bytes, check.publicKeys);
        if (!invocation.package.empty() && !CheckPackageFile(invocation.package, check, failure))
            return Fail(failure);
    }

    const std::string report = FormatCheckReport(check);
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() ||
        std::fflush(stdout) != 0) {
        return Fail("cannot write the report");
    }
    return CheckExitCode(check, invocation.strict);
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

struct ThreadStart {
    int argc;
    char** argv;
    int result;
};

void* RunInvocation(void* parameter) {
    auto* invocation = static_cast<ThreadStart*>(parameter);
    try {
        invocation->result = Run(invocation->argc, invocation->argv);
    } catch (const std::exception& error) {
        invocation->result = Fail(error.what());
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // Names from packages come out of libarchive as UTF-8, and letter case folds beyond ASCII.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    // The reader's regular-expression engine recurses once per character it matches: give it
    // at least the room the installer's worker has (more where a sanitizer inflates frames).
    constexpr std::size_t StackBytes = std::size_t{256} << 20;
    ThreadStart invocation{argc, argv, 2};
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
