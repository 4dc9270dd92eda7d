#include "source_tree.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// O_PATH reaches folders the daemon may search but not list; where it is
// missing (macOS) a plain read-only open stands in.
#ifdef O_PATH
constexpr int kLookupFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int kLookupFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd()
{
    if (fd_ >= 0)
        close(fd_);
}

int UniqueFd::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool SourceTree::Open(const std::string& root, std::string* error)
{
    root_ = root;
    while (root_.size() > 1 && root_.back() == '/')
        root_.pop_back();
    // The root itself may be reached through a link: the user named it.
    rootFd_ = UniqueFd(open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!rootFd_.Valid()) {
        *error = "cannot open the folder '" + root + "': " + std::strerror(errno);
        return false;
    }
    if (root_ == "/")
        root_.clear();
    return true;
}

int SourceTree::OpenFolder(const std::string& path) const
{
    int current = dup(rootFd_.Get());
    if (current < 0)
        return -errno;
    UniqueFd held(current);
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start) {
            const std::string name = path.substr(start, end - start);
            if (name == "." || name == "..")
                return -ENOENT;
            const int next = openat(held.Get(), name.c_str(), kLookupFlags);
            if (next < 0)
                return errno == ELOOP ? -ENOTDIR : -errno;
            held = UniqueFd(next);
        }
        start = end + 1;
    }
    return held.Release();
}

void SplitMountPath(const std::string& path, std::string* folder, std::string* name)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        *folder = "/";
        *name = path;
        return;
    }
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
}

bool ReadAt(int fd, void* buffer, size_t count, uint64_t offset)
{
    auto* at = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t n = pread(fd, at, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        at += n;
        count -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}
