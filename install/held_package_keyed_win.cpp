// A keyed build's package file: written through a handle of its own that shares reading only,
// so that from the moment its SHA-256 is final until the unpack has ended nobody else can write,
// rename or delete it (either needs a sharing the handle does not grant). The hash is taken from
// the blocks as they are written, on a thread of its own: Wine's SHA-256 alone would add about a
// second to a 256 MiB download.
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "install/package_signature_check.h"
#include "net/net.h"
#include "signature/verify.h"

namespace {

// Blocks waiting for the hash (256 KiB each): the download waits rather than hold more.
constexpr std::size_t QueuedBlocksLimit = 8;

struct BlockHasher {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<char>> blocks;  // an empty block: the file starts over
    bool ended = false;
    Sha256Stream stream;
};

void HashOrRestart(BlockHasher& hasher, const std::vector<char>& block) {
    if (block.empty()) {
        hasher.stream = StartSha256();
    } else {
        AddToSha256(hasher.stream, block.data(), block.size());
    }
}

void HashQueuedBlocks(BlockHasher& hasher) {
    for (;;) {
        std::vector<char> block;
        {
            std::unique_lock<std::mutex> guard(hasher.lock);
            hasher.changed.wait(guard,
                                [&hasher] { return !hasher.blocks.empty() || hasher.ended; });
            if (hasher.blocks.empty()) return;
            block = std::move(hasher.blocks.front());
            hasher.blocks.pop_front();
        }
        hasher.changed.notify_all();
        HashOrRestart(hasher, block);
    }
}

// Without a thread of its own, the hash runs on the download's.
void Hash(BlockHasher& hasher, const std::optional<std::thread>& thread, std::vector<char> block) {
    if (!thread) {
        HashOrRestart(hasher, block);
        return;
    }
    {
        std::unique_lock<std::mutex> guard(hasher.lock);
        hasher.changed.wait(guard, [&hasher] { return hasher.blocks.size() < QueuedBlocksLimit; });
        hasher.blocks.push_back(std::move(block));
    }
    hasher.changed.notify_all();
}

void EndHashing(BlockHasher& hasher, std::optional<std::thread>& thread) {
    if (!thread) return;
    {
        const std::lock_guard<std::mutex> guard(hasher.lock);
        hasher.ended = true;
    }
    hasher.changed.notify_all();
    thread->join();
}

// No DELETE access: tar opens the archive (msvcrt's _wopen) sharing reading and writing but not
// deleting, so a handle that may delete would lock it out. Not sharing deletion is what keeps
// others from deleting or renaming it.
HANDLE OpenForWriting(const std::wstring& path, HeldPackage& package) {
    package.writer.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return package.writer.get();
}

}  // namespace

std::wstring DownloadPackage(const std::wstring& url, const std::wstring& packagePath,
                             HeldPackage& package) {
    BlockHasher hasher;
    hasher.stream = StartSha256();
    std::optional<std::thread> thread;
    try {
        thread.emplace(HashQueuedBlocks, std::ref(hasher));
    } catch (const std::system_error&) {
        // No thread to spare: the blocks are hashed on the download's own.
    }
    HeldDownload held;
    held.open = [&package](const std::wstring& path) { return OpenForWriting(path, package); };
    held.restart = [&hasher, &thread] { Hash(hasher, thread, {}); };
    held.written = [&hasher, &thread](const char* bytes, std::size_t count) {
        if (count > 0) Hash(hasher, thread, std::vector<char>(bytes, bytes + count));
    };
    held.discard = [&package, &packagePath] {
        package.writer.reset();
        DeleteFileW(packagePath.c_str());
    };
    std::wstring downloaded;
    try {
        downloaded = DownloadToHeldFile(url, packagePath, held);
    } catch (...) {
        EndHashing(hasher, thread);
        throw;
    }
    EndHashing(hasher, thread);
    if (!downloaded.empty()) package.sha256 = FinishSha256(hasher.stream);
    return downloaded;
}

bool PrepareReadSharingUnpack(const std::wstring& packagePath, HeldPackage& package) {
    if (!package.writer || !package.sha256) return false;
    // A handle that wrote can never exclude writers: a reader takes over. The bridge keeps the
    // file from being renamed or deleted while the writer goes (it must share writing while the
    // writer exists); the reader then opens only when nobody else holds write access, and the
    // bytes it reads must still be those verified.
    FileHandle bridge(CreateFileW(packagePath.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!bridge) return false;
    package.writer.reset();
    package.reader.reset(CreateFileW(packagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    bridge.reset();
    if (!package.reader) return false;
    const std::optional<Sha256Digest> reread = Sha256OfOpenFile(package.reader.get());
    return reread && *reread == *package.sha256;
}
