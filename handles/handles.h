#pragma once
// Owners of operating-system handles and COM pointers: one type per kind of handle, with the
// kind's invalid value part of the type. An owner releases what it holds when it goes out of
// scope, so owners declared in the order of acquisition release in the reverse order.
// This header includes nothing of the installer's own.

#include <windows.h>
#include <objbase.h>
#include <wininet.h>

#include <utility>

template <typename Value, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Value value) : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    // False while the owner holds the kind's invalid value.
    explicit operator bool() const { return value_ != Traits::Invalid(); }
    Value get() const { return value_; }
    // For COM pointers: calls go to the interface.
    Value operator->() const { return value_; }
    // Releases what is held and hands out the address for a function that fills it.
    Value* put() {
        reset();
        return &value_;
    }
    // Gives up ownership without releasing; the owner then holds the invalid value.
    Value release() { return std::exchange(value_, Traits::Invalid()); }
    // Releases what is held (if valid) and takes value.
    void reset(Value value = Traits::Invalid()) {
        const Value old = std::exchange(value_, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    Value value_ = Traits::Invalid();
};

struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { FindClose(handle); }
};
struct InternetHandleTraits {
    static HINTERNET Invalid() { return nullptr; }
    static void Close(HINTERNET handle) { InternetCloseHandle(handle); }
};
template <typename Interface>
struct ComPointerTraits {
    static Interface* Invalid() { return nullptr; }
    static void Close(Interface* object) { object->Release(); }
};
struct TaskMemStringTraits {
    static wchar_t* Invalid() { return nullptr; }
    static void Close(wchar_t* text) { CoTaskMemFree(text); }
};

// Processes, threads, jobs, events, mutexes: null when invalid (CloseHandle).
using KernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
// CreateFileW results: INVALID_HANDLE_VALUE when invalid (CloseHandle).
using FileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
// FindFirstFileW results: INVALID_HANDLE_VALUE when invalid (FindClose).
using FindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
// WinINet sessions and requests: null when invalid (InternetCloseHandle).
using InternetHandle = UniqueHandle<HINTERNET, InternetHandleTraits>;
// A COM interface pointer: null when invalid (Release).
template <typename Interface>
using ComPointer = UniqueHandle<Interface*, ComPointerTraits<Interface>>;
// A string from the COM task allocator: null when invalid (CoTaskMemFree).
using TaskMemString = UniqueHandle<wchar_t*, TaskMemStringTraits>;

// A started process's two handles, in the order they are released: the process first.
struct ProcessHandles {
    KernelHandle thread;
    KernelHandle process;
};
// Takes ownership of what CreateProcessW filled in.
inline ProcessHandles OwnProcess(const PROCESS_INFORMATION& started) {
    return ProcessHandles{KernelHandle(started.hThread), KernelHandle(started.hProcess)};
}
