// The folder a mount shows, reached only through descriptors opened one
// component at a time without following symbolic links: a link inside the
// source, or one swapped in while mounted, never leads the daemon out of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Owns one file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();

private:
    int fd_ = -1;
};

class SourceTree {
public:
    // On failure *error says why.
    [[nodiscard]] bool Open(const std::string& root, std::string* error);

    // The folder at path ("/" or "/a/b", as the mount names it; folders keep
    // their names), opened for lookups. Returns a descriptor or -errno.
    [[nodiscard]] int OpenFolder(const std::string& path) const;

    // The source's own path of a mount path, for messages.
    std::string Describe(const std::string& path) const { return root_ + path; }
    int RootFd() const { return rootFd_.Get(); }

private:

    std::string root_;
    UniqueFd rootFd_;
};

// "/a/b/c" -> folder "/a/b", name "c"; "/c" -> "/", "c".
void SplitMountPath(const std::string& path, std::string* folder, std::string* name);

// Reads exactly count bytes at offset; false on an error or a short file
// (errno is then EIO when the file was short).
[[nodiscard]] bool ReadAt(int fd, void* buffer, size_t count, uint64_t offset);
