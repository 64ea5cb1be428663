// Times ParseInstallConfig (native build) on generated configuration documents:
//   bench-parser [RUNS]
// Documents: ordinary ones of about 10 KiB, 1 MiB and 10 MiB (many members of ordinary length,
// the fields the installer reads at the end, so every search runs through the whole text),
// and compact ones whose "sign" value is 500,000 and 5,000,000 characters long, which the
// regular-expression search refuses and the plain fallback reads. One line per document:
//   name=N chars=C seconds=S per_mib=S fallback=0|1 ok=0|1
// (the median of RUNS runs after one untimed run; ok: every field came out as written). The
// standard library's
// matcher recurses per character, so each parse runs on a thread with a 256 MiB stack.
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "status/status_memory.h"
#include "config/config.h"

namespace {

constexpr std::size_t ParseStackBytes = std::size_t{256} << 20;
const std::wstring FallbackDetail = L"JSON解析失败：正则表达式错误";

void* RunWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return nullptr;
}

bool RunOnLargeStack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attributes, ParseStackBytes) == 0 &&
                         pthread_create(&thread, &attributes, RunWork,
                                        const_cast<std::function<void()>*>(&work)) == 0;
    pthread_attr_destroy(&attributes);
    if (started) pthread_join(thread, nullptr);
    return started;
}

InstallConfig Expected(const std::wstring& sign) {
    InstallConfig config;
    config.package_name = L"LumaDesk";
    config.application_name = L"LumaDesk.exe";
    config.desktop_shortcut = L"LumaDesk";
    config.version = L"2.4.1";
    config.url = L"https://downloads.example.com/packages/lumadesk-2.4.1.zip";
    config.sign = sign;
    return config;
}

bool SameConfig(const InstallConfig& a, const InstallConfig& b) {
    return a.package_name == b.package_name && a.application_name == b.application_name &&
           a.desktop_shortcut == b.desktop_shortcut && a.version == b.version && a.url == b.url &&
           a.sign == b.sign;
}

// Pretty-printed members of ordinary length (a release-notes style text, an object now and
// then) up to about targetChars, then the members the installer reads.
std::wstring OrdinaryDocument(std::size_t targetChars, const InstallConfig& config) {
    std::wstring text = L"{\n";
    for (std::size_t i = 0; text.size() < targetChars; ++i) {
        const std::wstring n = std::to_wstring(i);
        if (i % 10 == 9) {
            text += L"  \"build_" + n + L"\": {\"os\": \"windows\", \"arch\": \"x64\", \"size\": " +
                    n + L", \"tags\": [\"stable\", \"signed\"]},\n";
        } else {
            text +=
                L"  \"note_" + n + L"\": \"Release " + n +
                L" fixes the start-up window on high-DPI screens and updates translations.\",\n";
        }
    }
    text += L"  \"package_name\": \"" + config.package_name + L"\",\n  \"windows\": {\n" +
            L"    \"application_name\": \"" + config.application_name + L"\",\n" +
            L"    \"desktop_shortcut\": \"" + config.desktop_shortcut + L"\",\n" +
            L"    \"version\": \"" + config.version + L"\",\n    \"url\": \"" + config.url +
            L"\",\n    \"sign\": \"" + config.sign + L"\"\n  }\n}\n";
    return text;
}

// The compact form (what the fallback understands), with a long sign value.
std::wstring CompactDocument(const InstallConfig& config) {
    return L"{\"package_name\":\"" + config.package_name + L"\",\"windows\":{" +
           L"\"application_name\":\"" + config.application_name + L"\",\"desktop_shortcut\":\"" +
           config.desktop_shortcut + L"\",\"version\":\"" + config.version + L"\",\"url\":\"" +
           config.url + L"\",\"sign\":\"" + config.sign + L"\"}}";
}

struct Case {
    std::string name;
    std::wstring text;
    InstallConfig expected;
};

void Measure(const Case& bench, int runs) {
    std::vector<double> times;
    bool ok = true;
    bool fallback = false;
    // One untimed parse first: the allocator then has the big blocks at hand, as it would for
    // every later parse, and the timed runs see the parser's own cost.
    for (int run = -1; run < runs; ++run) {
        ResetRecordedStatus();
        InstallConfig parsed;
        double seconds = 0;
        const bool started = RunOnLargeStack([&] {
            const auto start = std::chrono::steady_clock::now();
            parsed = ParseInstallConfig(bench.text);
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
        const RecordedStatus status = ReadRecordedStatus();
        fallback = std::find(status.detailTexts.begin(), status.detailTexts.end(),
                             FallbackDetail) != status.detailTexts.end();
        ok = ok && started && SameConfig(parsed, bench.expected);
        if (run >= 0) times.push_back(seconds);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    // Every character here is ASCII: characters are the document's bytes in UTF-8.
    const double mib = static_cast<double>(bench.text.size()) / (1 << 20);
    std::printf("name=%s chars=%zu seconds=%.6f per_mib=%.6f fallback=%d ok=%d\n",
                bench.name.c_str(), bench.text.size(), median, median / mib, fallback ? 1 : 0,
                ok ? 1 : 0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const InstallConfig plain = Expected(L"3f2a9c");
    std::vector<Case> cases = {
        {"ordinary-10KiB", OrdinaryDocument(10 << 10, plain), plain},
        {"ordinary-1MiB", OrdinaryDocument(1 << 20, plain), plain},
        {"ordinary-10MiB", OrdinaryDocument(10 << 20, plain), plain},
    };
    for (std::size_t length : {std::size_t{500000}, std::size_t{5000000}}) {
        const InstallConfig config = Expected(std::wstring(length, L'A'));
        cases.push_back(
            {"value-" + std::to_string(length) + "chars", CompactDocument(config), config});
    }
    for (const Case& bench : cases) Measure(bench, runs);
    return 0;
}
