#define FUSE_USE_VERSION 31
#include "mount_file_system.h"

#include <fuse.h>

#include <cstdio>

namespace {

constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ull;
constexpr int64_t kTicksPerSecond = 10000000;
// Readers of closed containers kept for their history; beyond this many the
// unused ones go.
constexpr size_t kKeptReaders = 64;

FileKey KeyOf(const struct stat& st)
{
    return FileKey{st.st_dev, st.st_ino, st.st_size, ModificationNs(st), ChangeNs(st)};
}

}  // namespace

MountFileSystem::MountFileSystem(const MountSettings& settings)
    : readOnly(settings.readOnly),
      views(settings.source, [this](const std::string& path, const std::string& why) { Report(path, why); }),
      cache(settings.cacheBytes)
{
}

void MountFileSystem::Report(const std::string& path, const std::string& why)
{
    std::lock_guard<std::mutex> lock(reportMutex);
    if (!reported.insert(path + '\n' + why).second)
        return;
    std::fprintf(stderr, "tdz: mount: '%s': %s\n", path.c_str(), why.c_str());
    std::fflush(stderr);
}

std::shared_ptr<ContainerReader> MountFileSystem::ReaderFor(const struct stat& st, const ContainerHeader& header)
{
    std::lock_guard<std::mutex> lock(readersMutex);
    const FileKey key = KeyOf(st);
    auto& slot = readers[key];
    if (!slot) {
        slot = std::make_shared<ContainerReader>(++lastReaderId, header, uint64_t(st.st_size));
        if (readers.size() > kKeptReaders) {
            for (auto it = readers.begin(); it != readers.end();)
                it = it->second.use_count() == 1 && it->first != key ? readers.erase(it) : std::next(it);
        }
    }
    return slot;
}

std::shared_ptr<PendingWrite> MountFileSystem::PendingFor(const std::string& path)
{
    std::lock_guard<std::mutex> lock(writesMutex);
    const auto it = writes.find(path);
    return it == writes.end() ? nullptr : it->second;
}

MountFileSystem& Self()
{
    return *static_cast<MountFileSystem*>(fuse_get_context()->private_data);
}

ResolvedPath Resolve(const char* path)
{
    MountFileSystem& fs = Self();
    ResolvedPath resolved;
    std::string name;
    SplitMountPath(path, &resolved.folderPath, &name);
    const int fd = fs.tree.OpenFolder(resolved.folderPath);
    if (fd < 0) {
        resolved.status = fd;
        return resolved;
    }
    resolved.folder = UniqueFd(fd);
    resolved.status = fs.views.Lookup(fd, resolved.folderPath, name, &resolved.entry);
    return resolved;
}

struct timespec FromFileTime(uint64_t fileTime)
{
    const int64_t ticks = int64_t(fileTime - kUnixEpochInFileTime);
    int64_t seconds = ticks / kTicksPerSecond;
    int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --seconds;
    }
    struct timespec time{};
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(rest * 100);
    return time;
}

uint64_t ToFileTime(const struct timespec& time)
{
    return kUnixEpochInFileTime + uint64_t(int64_t(time.tv_sec) * kTicksPerSecond + time.tv_nsec / 100);
}
