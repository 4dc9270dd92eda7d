// Move-only owners for kernel handles. Files use INVALID_HANDLE_VALUE for
// "none", events and most other objects use null; the policy says which.
#pragma once

#include <windows.h>

template <typename Policy>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    [[nodiscard]] bool Valid() const { return handle_ != Policy::Invalid(); }
    [[nodiscard]] HANDLE Get() const { return handle_; }
    [[nodiscard]] HANDLE Detach()
    {
        HANDLE handle = handle_;
        handle_ = Policy::Invalid();
        return handle;
    }
    void Reset(HANDLE handle = Policy::Invalid())
    {
        if (Valid())
            CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = Policy::Invalid();
};

struct FileHandlePolicy {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};
struct ObjectHandlePolicy {
    static HANDLE Invalid() { return nullptr; }
};

using FileHandle = UniqueHandle<FileHandlePolicy>;
using EventHandle = UniqueHandle<ObjectHandlePolicy>;
using ThreadHandle = UniqueHandle<ObjectHandlePolicy>;
