#include "container_view.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/container_name.h"
#include "codec/relc_block.h"
#include "source_tree.h"

namespace {

constexpr char kExtension[] = ".tdz";
constexpr size_t kExtensionLength = sizeof kExtension - 1;
constexpr int64_t kViewLifetimeNs = 1000000000;
// Header checks remembered; past this many the memory starts over.
constexpr size_t kMaxRememberedChecks = 65536;
constexpr size_t kMaxViews = 4096;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string Join(const std::string& folderPath, const std::string& name)
{
    return folderPath == "/" ? "/" + name : folderPath + "/" + name;
}

}  // namespace

int64_t ModificationNs(const struct stat& st)
{
#ifdef __APPLE__
    return int64_t(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
}

int64_t ChangeNs(const struct stat& st)
{
#ifdef __APPLE__
    return int64_t(st.st_ctimespec.tv_sec) * 1000000000 + st.st_ctimespec.tv_nsec;
#else
    return int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
#endif
}

bool HasContainerExtension(const std::string& name)
{
    // The project's one name rule, less the extension alone.
    return name.size() > kExtensionLength && HasContainerExtension(name.c_str());
}

bool CheckContainerHeader(int fd, uint64_t fileSize, ContainerHeader* header, std::string* why)
{
    uint8_t bytes[kContainerHeaderSize];
    if (fileSize < kContainerHeaderSize) {
        *why = "not a container: fewer than 56 bytes";
        return false;
    }
    if (!ReadAt(fd, bytes, sizeof bytes, 0)) {
        *why = std::string("cannot read the header: ") + std::strerror(errno);
        return false;
    }
    *header = DecodeContainerHeader(bytes);
    if (!HasContainerMagic(*header)) {
        *why = "not a container: the first 16 bytes are not \"" + std::string(kContainerMagic) + "\"";
        return false;
    }
    if (fileSize < kContainerOverhead) {
        *why = "damaged container: no room for the checksum";
        return false;
    }
    if (header->sourceSize == 0) {
        *why = "damaged container: the header gives a size of 0 bytes";
        return false;
    }
    // Each block takes at least its 2-byte header and one byte, and codes
    // at most 32768 bytes; the end marker takes 2.
    const uint64_t streamLength = fileSize - kContainerOverhead;
    const uint64_t blocks = RelcBlockCount(header->sourceSize);
    if (blocks > (streamLength - 2) / 3 || streamLength > blocks * RELC_STAGING_SIZE + 2) {
        *why = "damaged container: a stream of " + std::to_string(streamLength) + " bytes cannot hold the " +
               std::to_string(header->sourceSize) + " bytes its header gives";
        return false;
    }
    return true;
}

FolderViews::HeaderCheck FolderViews::CheckOnce(int folderFd, const std::string& name, const struct stat& st,
                                                const std::string& sourcePath)
{
    const FileKey key{st.st_dev, st.st_ino, st.st_size, ModificationNs(st), ChangeNs(st)};
    const auto known = checks_.find(key);
    if (known != checks_.end())
        return known->second;
    HeaderCheck check;
    std::string why;
    UniqueFd fd(openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened;
    if (!fd.Valid() || fstat(fd.Get(), &opened) != 0) {
        why = std::string("cannot open: ") + std::strerror(errno);
    } else if (opened.st_ino != st.st_ino || opened.st_dev != st.st_dev || !S_ISREG(opened.st_mode)) {
        // Replaced between the listing and the open: judged next time.
        return check;
    } else {
        check.ok = CheckContainerHeader(fd.Get(), uint64_t(opened.st_size), &check.header, &why);
    }
    if (!check.ok && fd.Valid())
        report_(sourcePath, why);
    if (!fd.Valid())
        return check;  // an unreadable file is not remembered as damaged
    if (checks_.size() >= kMaxRememberedChecks)
        checks_.clear();
    checks_[key] = check;
    return check;
}

int FolderViews::Build(int folderFd, const std::string& folderPath, View* view)
{
    const int listingFd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listingFd < 0)
        return -errno;
    DIR* dir = fdopendir(listingFd);
    if (dir == nullptr) {
        const int error = errno;
        close(listingFd);
        return -error;
    }
    struct Found {
        std::string name;
        struct stat st;
    };
    std::vector<Found> found;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        Found f{name, {}};
        if (fstatat(folderFd, name.c_str(), &f.st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone since the listing
        found.push_back(std::move(f));
    }
    const int listError = errno;
    closedir(dir);
    if (listError != 0)
        return -listError;

    std::set<std::string> realNames;
    for (const Found& f : found)
        realNames.insert(f.name);
    // A restored name that more than one container claims stays with none.
    std::map<std::string, int> claims;
    std::map<std::string, HeaderCheck> containers;
    for (const Found& f : found) {
        if (!S_ISREG(f.st.st_mode) || !HasContainerExtension(f.name))
            continue;
        const HeaderCheck check = CheckOnce(folderFd, f.name, f.st, sourceRoot_ + Join(folderPath, f.name));
        if (!check.ok)
            continue;
        containers[f.name] = check;
        ++claims[f.name.substr(0, f.name.size() - kExtensionLength)];
    }
    view->entries.clear();
    for (const Found& f : found) {
        ViewEntry entry;
        entry.sourceName = f.name;
        std::string shown = f.name;
        const auto container = containers.find(f.name);
        if (container != containers.end()) {
            const std::string restored = f.name.substr(0, f.name.size() - kExtensionLength);
            if (realNames.count(restored) == 0 && claims[restored] == 1) {
                shown = restored;
                entry.restored = true;
                entry.header = container->second.header;
            }
        }
        view->entries[shown] = entry;
    }
    return 0;
}

int FolderViews::Current(int folderFd, const std::string& folderPath, View** view)
{
    struct stat st;
    if (fstat(folderFd, &st) != 0)
        return -errno;
    if (views_.size() >= kMaxViews && views_.count(folderPath) == 0)
        views_.clear();
    View& cached = views_[folderPath];
    const int64_t now = NowNs();
    const int64_t change = ModificationNs(st) ^ ChangeNs(st);
    if (cached.device != st.st_dev || cached.inode != st.st_ino || cached.changeNs != change ||
        now - cached.builtAtNs > kViewLifetimeNs) {
        cached.device = 0;  // incomplete until Build succeeds
        const int result = Build(folderFd, folderPath, &cached);
        if (result != 0) {
            views_.erase(folderPath);
            return result;
        }
        cached.device = st.st_dev;
        cached.inode = st.st_ino;
        cached.changeNs = change;
        cached.builtAtNs = now;
    }
    *view = &cached;
    return 0;
}

int FolderViews::Lookup(int folderFd, const std::string& folderPath, const std::string& name, ViewEntry* entry)
{
    std::lock_guard<std::mutex> lock(mutex_);
    View* view = nullptr;
    const int result = Current(folderFd, folderPath, &view);
    if (result != 0)
        return result;
    const auto it = view->entries.find(name);
    if (it == view->entries.end())
        return -ENOENT;
    *entry = it->second;
    return 0;
}

int FolderViews::List(int folderFd, const std::string& folderPath, std::vector<std::string>* names)
{
    std::lock_guard<std::mutex> lock(mutex_);
    View* view = nullptr;
    const int result = Current(folderFd, folderPath, &view);
    if (result != 0)
        return result;
    names->clear();
    for (const auto& entry : view->entries)
        names->push_back(entry.first);
    return 0;
}

void FolderViews::Forget(const std::string& folderPath)
{
    std::lock_guard<std::mutex> lock(mutex_);
    views_.erase(folderPath);
}
