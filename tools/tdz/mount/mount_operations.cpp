#define FUSE_USE_VERSION 31
#include "mount_operations.h"

#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <memory>

#include "mount_file_system.h"

namespace {

constexpr uint32_t kReadOnlyAttribute = 0x1;

void ShowContainerAs(const ContainerHeader& header, struct stat* st)
{
    st->st_size = static_cast<off_t>(header.sourceSize);
    if ((header.attributes & kReadOnlyAttribute) != 0)
        st->st_mode &= ~mode_t(0222);
    const struct timespec written = FromFileTime(header.lastWriteTime);
#ifdef __APPLE__
    st->st_mtimespec = written;
    st->st_birthtimespec = FromFileTime(header.creationTime);
#else
    st->st_mtim = written;
#endif
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*)
{
    MountFileSystem& fs = Self();
    if (std::strcmp(path, "/") == 0)
        return fstat(fs.tree.RootFd(), st) == 0 ? 0 : -errno;
    if (const auto pending = fs.PendingFor(path))
        return fstat(pending->temp.Get(), st) == 0 ? 0 : -errno;
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result != 0)
        return result;
    if (fstatat(folder.Get(), entry.sourceName.c_str(), st, AT_SYMLINK_NOFOLLOW) != 0)
        return -errno;
    if (entry.restored) {
        if (!S_ISREG(st->st_mode))
            return -ENOENT;
        ShowContainerAs(entry.header, st);
    }
    return 0;
}

int ReadLink(const char* path, char* buffer, size_t size)
{
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result != 0)
        return result;
    if (size == 0)
        return -EINVAL;
    // The link's own text: the kernel resolves it in the mount, never the
    // daemon in the source.
    const ssize_t n = readlinkat(folder.Get(), entry.sourceName.c_str(), buffer, size - 1);
    if (n < 0)
        return -errno;
    buffer[n] = '\0';
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    MountFileSystem& fs = Self();
    const int fd = fs.tree.OpenFolder(path);
    if (fd < 0)
        return fd;
    UniqueFd folder(fd);
    std::vector<std::string> names;
    const int result = fs.views.List(fd, path, &names);
    if (result != 0)
        return result;
    {
        // Files being written that the source does not show yet.
        std::lock_guard<std::mutex> lock(fs.writesMutex);
        for (const auto& write : fs.writes) {
            if (write.second->folderPath == path &&
                std::find(names.begin(), names.end(), write.second->name) == names.end())
                names.push_back(write.second->name);
        }
    }
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags(0));
    for (const std::string& name : names) {
        if (fill(buffer, name.c_str(), nullptr, 0, fuse_fill_dir_flags(0)) != 0)
            break;
    }
    return 0;
}

int Open(const char* path, fuse_file_info* info)
{
    MountFileSystem& fs = Self();
    if ((info->flags & O_ACCMODE) != O_RDONLY || fs.PendingFor(path))
        return fs.readOnly ? -EROFS : OpenForWriting(path, info);
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result != 0)
        return result;
    auto file = std::make_unique<OpenFile>();
    file->sourcePath = fs.tree.Describe(folderPath == "/" ? "/" + entry.sourceName
                                                          : folderPath + "/" + entry.sourceName);
    file->fd = UniqueFd(openat(folder.Get(), entry.sourceName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file->fd.Valid())
        return -errno;
    struct stat st;
    if (fstat(file->fd.Get(), &st) != 0)
        return -errno;
    if (!S_ISREG(st.st_mode))
        return -EACCES;  // devices and pipes of the source are not passed on
    if (entry.restored) {
        // The header again, from the file now open: it may have changed
        // since the folder was listed.
        ContainerHeader header;
        std::string why;
        if (!CheckContainerHeader(file->fd.Get(), uint64_t(st.st_size), &header, &why)) {
            fs.Report(file->sourcePath, why);
            return -EIO;
        }
        file->reader = fs.ReaderFor(st, header);
        std::string damage;
        result = file->reader->Index(file->fd.Get(), &damage);
        if (!damage.empty())
            fs.Report(file->sourcePath, damage);
        if (result != 0)
            return result;
    }
    info->fh = reinterpret_cast<uint64_t>(file.release());
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info)
{
    OpenFile& file = *reinterpret_cast<OpenFile*>(info->fh);
    if (offset < 0)
        return -EINVAL;
    if (!file.reader) {
        const int fd = file.write ? file.write->temp.Get() : file.fd.Get();
        for (;;) {
            const ssize_t n = pread(fd, buffer, size, offset);
            if (n >= 0 || errno != EINTR)
                return n >= 0 ? int(n) : -errno;
        }
    }
    MountFileSystem& fs = Self();
    std::string damage;
    const ssize_t n = file.reader->Read(file.fd.Get(), uint64_t(offset), reinterpret_cast<uint8_t*>(buffer), size,
                                        fs.cache, &damage);
    if (!damage.empty())
        fs.Report(file.sourcePath, damage);
    return int(n);
}

int Release(const char*, fuse_file_info* info)
{
    std::unique_ptr<OpenFile> file(reinterpret_cast<OpenFile*>(info->fh));
    if (file->write)
        CloseWriting(*file);
    return 0;
}

int StatFs(const char*, struct statvfs* st)
{
    return fstatvfs(Self().tree.RootFd(), st) == 0 ? 0 : -errno;
}

void* Init(fuse_conn_info* connection, fuse_config* config)
{
    // Larger requests of a sequential reader: fewer round trips through the
    // kernel per decoded segment.
    connection->max_readahead = 1u << 20;
    config->entry_timeout = 1;
    config->attr_timeout = 1;
    config->negative_timeout = 0;
    // The kernel keeps decoded pages across opens, and drops them when the
    // size or time shown changes.
    config->auto_cache = 1;
    // The daemon's handles keep a deleted file readable; no hidden renames.
    config->hard_remove = 1;
    return fuse_get_context()->private_data;
}

fuse_operations MakeOperations(bool readOnly)
{
    fuse_operations ops{};
    if (!readOnly)
        AddWriteOperations(&ops);
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.readlink = ReadLink;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    ops.release = Release;
    ops.statfs = StatFs;
    return ops;
}

}  // namespace

const fuse_operations& MountOperations(bool readOnly)
{
    static const fuse_operations readOnlyOps = MakeOperations(true);
    static const fuse_operations writingOps = MakeOperations(false);
    return readOnly ? readOnlyOps : writingOps;
}

MountFileSystem* NewMountFileSystem(const MountSettings& settings, std::string* error)
{
    auto fs = std::make_unique<MountFileSystem>(settings);
    if (!fs->tree.Open(settings.source, error))
        return nullptr;
    return fs.release();
}

void DeleteMountFileSystem(MountFileSystem* fileSystem)
{
    delete fileSystem;
}
