#pragma once
// Owners of operating-system handles and COM pointers: one type per kind of handle, with the
// kind's invalid value part of the type. An owner releases what it holds when it goes out of
// scope, so owners declared in the order of acquisition release in the reverse order.
// This header includes nothing of the installer's own.

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <wininet.h>

#include <utility>

// What an owner does with its value: each kind names its invalid value and how it is released.
template <typename Value>
Value NullValue() {
    return nullptr;
}
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void CloseFindHandle(HANDLE handle) { FindClose(handle); }
inline void CloseInternetHandle(HINTERNET handle) { InternetCloseHandle(handle); }
inline void FreeTaskMemString(wchar_t* text) { CoTaskMemFree(text); }
inline void CloseCngAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
}
inline void DestroyCngHash(BCRYPT_HASH_HANDLE hash) { BCryptDestroyHash(hash); }
inline void DestroyCngKey(BCRYPT_KEY_HANDLE key) { BCryptDestroyKey(key); }
template <typename Interface>
void ReleaseComPointer(Interface* object) {
    object->Release();
}

template <typename Value, Value (*Invalid)(), void (*Close)(Value)>
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
    explicit operator bool() const { return value_ != Invalid(); }
    Value get() const { return value_; }
    // For COM pointers: calls go to the interface.
    Value operator->() const { return value_; }
    // Releases what is held and hands out the address for a function that fills it.
    Value* put() {
        reset();
        return &value_;
    }
    // Gives up ownership without releasing; the owner then holds the invalid value.
    Value release() { return std::exchange(value_, Invalid()); }
    // Releases what is held (if valid) and takes value.
    void reset(Value value = Invalid()) {
        const Value old = std::exchange(value_, value);
        if (old != Invalid()) Close(old);
    }

private:
    Value value_ = Invalid();
};

// Processes, threads, jobs, events, mutexes: null when invalid (CloseHandle).
using KernelHandle = UniqueHandle<HANDLE, NullValue<HANDLE>, CloseKernelHandle>;
// CreateFileW results: INVALID_HANDLE_VALUE when invalid (CloseHandle).
using FileHandle = UniqueHandle<HANDLE, InvalidHandleValue, CloseKernelHandle>;
// FindFirstFileW results: INVALID_HANDLE_VALUE when invalid (FindClose).
using FindHandle = UniqueHandle<HANDLE, InvalidHandleValue, CloseFindHandle>;
// WinINet sessions and requests: null when invalid (InternetCloseHandle).
using InternetHandle = UniqueHandle<HINTERNET, NullValue<HINTERNET>, CloseInternetHandle>;
// A COM interface pointer: null when invalid (Release).
template <typename Interface>
using ComPointer = UniqueHandle<Interface*, NullValue<Interface*>, ReleaseComPointer<Interface>>;
// A string from the COM task allocator: null when invalid (CoTaskMemFree).
using TaskMemString = UniqueHandle<wchar_t*, NullValue<wchar_t*>, FreeTaskMemString>;
// CNG algorithm providers: null when invalid (BCryptCloseAlgorithmProvider).
using CngAlgorithmHandle =
    UniqueHandle<BCRYPT_ALG_HANDLE, NullValue<BCRYPT_ALG_HANDLE>, CloseCngAlgorithm>;
// CNG hash objects: null when invalid (BCryptDestroyHash).
using CngHashHandle =
    UniqueHandle<BCRYPT_HASH_HANDLE, NullValue<BCRYPT_HASH_HANDLE>, DestroyCngHash>;
// CNG keys: null when invalid (BCryptDestroyKey).
using CngKeyHandle = UniqueHandle<BCRYPT_KEY_HANDLE, NullValue<BCRYPT_KEY_HANDLE>, DestroyCngKey>;

// A started process's two handles, in the order they are released: the process first.
struct ProcessHandles {
    KernelHandle thread;
    KernelHandle process;
};
// Takes ownership of what CreateProcessW filled in.
inline ProcessHandles OwnProcess(const PROCESS_INFORMATION& started) {
    return ProcessHandles{KernelHandle(started.hThread), KernelHandle(started.hProcess)};
}
