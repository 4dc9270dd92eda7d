// Move-only owners for the handles of the Windows API, one template with
// the "none" value and the close call in a policy: files and find handles
// use INVALID_HANDLE_VALUE, everything else null.
#pragma once

#include <windows.h>

template <typename T, typename Policy>
class UniqueOwner {
public:
    UniqueOwner() = default;
    explicit UniqueOwner(T handle) : handle_(handle) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : handle_(other.Detach()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    ~UniqueOwner() { Reset(); }

    [[nodiscard]] bool Valid() const { return handle_ != Policy::Invalid(); }
    [[nodiscard]] T Get() const { return handle_; }
    [[nodiscard]] T Detach()
    {
        T handle = handle_;
        handle_ = Policy::Invalid();
        return handle;
    }
    void Reset(T handle = Policy::Invalid())
    {
        if (Valid())
            Policy::Close(handle_);
        handle_ = handle;
    }
    // For calls that return a handle through a pointer; frees the old one.
    T* Receive()
    {
        Reset();
        return &handle_;
    }

private:
    T handle_ = Policy::Invalid();
};

struct FileHandlePolicy {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
struct ObjectHandlePolicy {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
struct FindHandlePolicy {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { ::FindClose(handle); }
};
struct RegKeyPolicy {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY key) { ::RegCloseKey(key); }
};
struct MenuPolicy {
    static HMENU Invalid() { return nullptr; }
    static void Close(HMENU menu) { ::DestroyMenu(menu); }
};
struct IconPolicy {
    static HICON Invalid() { return nullptr; }
    static void Close(HICON icon) { ::DestroyIcon(icon); }
};

template <typename Policy>
using UniqueHandle = UniqueOwner<HANDLE, Policy>;

using FileHandle = UniqueHandle<FileHandlePolicy>;
using EventHandle = UniqueHandle<ObjectHandlePolicy>;
using ThreadHandle = UniqueHandle<ObjectHandlePolicy>;
using ProcessHandle = UniqueHandle<ObjectHandlePolicy>;
using MutexHandle = UniqueHandle<ObjectHandlePolicy>;
using FindHandle = UniqueHandle<FindHandlePolicy>;
using RegKey = UniqueOwner<HKEY, RegKeyPolicy>;
using MenuHandle = UniqueOwner<HMENU, MenuPolicy>;
using IconHandle = UniqueOwner<HICON, IconPolicy>;
