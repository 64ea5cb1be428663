#pragma once
// What every WinINet transfer of the installer reads from a response, shared by the default
// build's transfers and the network build's.

#include <windows.h>
#include <wininet.h>

#include <climits>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// The read buffer of every transfer.
constexpr DWORD ChunkBufferBytes = 4096;
// MultiByteToWideChar counts in int: a longer text cannot be decoded in one call.
constexpr unsigned long long MaxTextBytes = INT_MAX;
// The body reaches the file in blocks of this size rather than chunk by chunk. Measured under
// Wine on a 256 MiB download: 4 KiB writes 3.38 s, 256 KiB blocks 3.13 s, 1 MiB blocks 3.93 s
// (a single write of 1 MiB costs six times as much per byte there).
constexpr size_t FileBlockBytes = 256 * 1024;

// The advice a failed download leaves in the detail text, in either build.
constexpr wchar_t SessionAdvice[] = L"请检查网络连接";
constexpr wchar_t NetworkAdvice[] = L"请检查网络连接和下载地址";
constexpr wchar_t FileOpenAdvice[] = L"文件打开失败，请检查目录权限";
constexpr wchar_t WriteAdvice[] = L"文件写入失败，请检查磁盘空间";

// False for handles of other schemes than HTTP(S), which carry no status and no headers.
bool IsHttpRequest(HINTERNET request);
// The response's status; 0 when it cannot be read.
unsigned long ResponseStatus(HINTERNET request);
// The length the server announced; none for other schemes and for bodies that run to the
// end of the connection or come in chunks.
std::optional<unsigned long long> AnnouncedLength(HINTERNET request);
// The value of one response header (HTTP_QUERY_*); empty when the response has none.
std::wstring ResponseHeader(HINTERNET request, DWORD query);
// A connection closed cleanly before the announced length ends the reads just like a complete
// body does: true when no length was announced or received is that length.
bool ReceivedAnnouncedLength(HINTERNET request, unsigned long long received);

// How a body copy ended: ReadFailed also for a body short of its announced length.
enum class Transfer { Complete, ReadFailed, WriteFailed };
// Where the body's blocks go; false when the file takes a block not all.
using BlockSink = std::function<bool(const char* bytes, std::size_t count)>;
// Reads the body to its end in chunks of ChunkBufferBytes and hands it to sink in blocks of
// FileBlockBytes, earlier whenever writeNow (if given) says so; what arrived before a failed read
// is handed on too.
Transfer CopyBody(HINTERNET request, const BlockSink& sink,
                  const std::function<bool()>& writeNow = nullptr);

// Writes all count bytes to file at its position; false when it takes them not all.
bool WriteAll(HANDLE file, const char* bytes, std::size_t count);
// bytes decoded from UTF-8; empty when they cannot be decoded.
std::wstring WideFromUtf8(const std::string& bytes);
