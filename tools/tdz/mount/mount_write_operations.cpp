// Writing through the mount. A file opened for writing gets a private copy
// of its bytes in a temporary file of its folder; every close stores that
// copy, and the source changes only by renames of complete files:
//   - a file with bytes becomes NAME.tdz, written under a temporary name and
//     renamed over the earlier container; a plain NAME it replaces is
//     deleted only once the container is in place;
//   - an empty file stays a plain NAME (relc has no stream for 0 bytes), as
//     does a file whose NAME.tdz is taken by an entry the mount shows under
//     its own name, which is never overwritten.
// Times and the read-only attribute of a container are changed in its
// header.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

#include "container_writer.h"
#include "mount_file_system.h"

namespace {

constexpr uint32_t kReadOnlyAttribute = 0x1;
constexpr uint32_t kArchiveAttribute = 0x20;
constexpr char kExtension[] = ".tdz";
constexpr size_t kCopyChunk = 1 << 20;

struct timespec WrittenAt(const struct stat& st)
{
#ifdef __APPLE__
    return st.st_mtimespec;
#else
    return st.st_mtim;
#endif
}

std::string NameOf(const char* path)
{
    std::string folder;
    std::string name;
    SplitMountPath(path, &folder, &name);
    return name;
}

bool WriteAllAt(int fd, const uint8_t* bytes, size_t count, uint64_t offset)
{
    while (count > 0) {
        const ssize_t n = pwrite(fd, bytes, count, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        count -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

// Copies the bytes entry stands for into temp. 0 or -errno.
int CopyCurrent(MountFileSystem& fs, int folderFd, const ViewEntry& entry, int temp)
{
    UniqueFd source(openat(folderFd, entry.sourceName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!source.Valid() || fstat(source.Get(), &st) != 0)
        return -errno;
    if (!S_ISREG(st.st_mode))
        return -EACCES;
    std::shared_ptr<ContainerReader> reader;
    if (entry.restored) {
        ContainerHeader header;
        std::string why;
        if (!CheckContainerHeader(source.Get(), uint64_t(st.st_size), &header, &why))
            return -EIO;
        reader = fs.ReaderFor(st, header);
        std::string damage;
        const int indexed = reader->Index(source.Get(), &damage);
        if (indexed != 0)
            return indexed;
    }
    std::vector<uint8_t> chunk(kCopyChunk);
    for (uint64_t offset = 0;;) {
        std::string damage;
        const ssize_t n = reader ? reader->Read(source.Get(), offset, chunk.data(), chunk.size(), fs.cache, &damage)
                                 : pread(source.Get(), chunk.data(), chunk.size(), off_t(offset));
        if (n < 0)
            return reader ? int(n) : -errno;
        if (n == 0)
            return 0;
        if (!WriteAllAt(temp, chunk.data(), size_t(n), offset))
            return -errno;
        offset += uint64_t(n);
    }
}

// Puts the bytes of temp under name in the folder, through a temporary name.
int StorePlain(int folderFd, int temp, const std::string& name)
{
    struct stat st;
    if (fstat(temp, &st) != 0)
        return -errno;
    const std::string tempName = TemporaryName(name);
    UniqueFd out(openat(folderFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.Valid())
        return -errno;
    std::vector<uint8_t> chunk(kCopyChunk);
    int error = 0;
    for (uint64_t offset = 0; error == 0 && offset < uint64_t(st.st_size);) {
        const ssize_t n = pread(temp, chunk.data(), chunk.size(), off_t(offset));
        if (n <= 0 || !WriteAllAt(out.Get(), chunk.data(), size_t(n), offset))
            error = n == 0 ? EIO : errno;
        else
            offset += uint64_t(n);
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, WrittenAt(st)};
    if (error == 0 && (futimens(out.Get(), times) != 0 || fsync(out.Get()) != 0 ||
                       renameat(folderFd, tempName.c_str(), folderFd, name.c_str()) != 0))
        error = errno;
    if (error != 0) {
        unlinkat(folderFd, tempName.c_str(), 0);
        return -error;
    }
    return 0;
}

bool IsRegularFile(int folderFd, const std::string& name)
{
    struct stat st;
    return fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// Stores what pending holds, when it changed. With pending->mutex held.
int Store(MountFileSystem& fs, PendingWrite& pending)
{
    if (!pending.dirty)
        return 0;
    struct stat st;
    if (fstat(pending.temp.Get(), &st) != 0)
        return -errno;
    const int fd = fs.tree.OpenFolder(pending.folderPath);
    if (fd < 0)
        return fd;
    UniqueFd folder(fd);
    int result = 0;
    std::string error;
    if (pending.asContainer && st.st_size > 0) {
        ContainerHeader header = pending.header;
        header.lastWriteTime = ToFileTime(WrittenAt(st));
        result = StoreAsContainer(folder.Get(), pending.temp.Get(), uint64_t(st.st_size), header,
                                  pending.storedName, &error);
        // The plain file it replaces, or an empty one stored before.
        if (result == 0 && IsRegularFile(folder.Get(), pending.name))
            unlinkat(folder.Get(), pending.name.c_str(), 0);
    } else {
        result = StorePlain(folder.Get(), pending.temp.Get(), pending.name);
        if (result == 0 && pending.asContainer && IsRegularFile(folder.Get(), pending.storedName))
            unlinkat(folder.Get(), pending.storedName.c_str(), 0);
    }
    fs.views.Forget(pending.folderPath);
    if (result != 0) {
        fs.Report(fs.tree.Describe(pending.folderPath == "/" ? "/" + pending.name
                                                              : pending.folderPath + "/" + pending.name),
                  error.empty() ? std::string("cannot store: ") + std::strerror(-result) : error);
        return result;
    }
    pending.dirty = false;
    return 0;
}

// The pending write of path: joined when there is one, else begun with the
// file's present bytes (none when truncate, or for a new file).
int BeginWriting(const char* path, bool truncate, std::shared_ptr<PendingWrite>* out)
{
    MountFileSystem& fs = Self();
    std::lock_guard<std::mutex> lock(fs.writesMutex);
    const auto known = fs.writes.find(path);
    if (known != fs.writes.end()) {
        PendingWrite& pending = *known->second;
        if (truncate) {
            std::lock_guard<std::mutex> hold(pending.mutex);
            if (ftruncate(pending.temp.Get(), 0) != 0)
                return -errno;
            pending.dirty = true;
        }
        ++pending.handles;
        *out = known->second;
        return 0;
    }
    auto [folder, entry, folderPath, found] = Resolve(path);
    if (found != 0 && (found != -ENOENT || !folder.Valid()))
        return found;
    auto pending = std::make_shared<PendingWrite>();
    pending->folderPath = folderPath;
    pending->name = NameOf(path);
    pending->header = NewContainerHeader();
    pending->header.attributes = kArchiveAttribute;
    struct timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    pending->header.creationTime = ToFileTime(now);
    if (found == 0) {
        struct stat st;
        if (fstatat(folder.Get(), entry.sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return -errno;
        if (S_ISDIR(st.st_mode))
            return -EISDIR;
        if (!S_ISREG(st.st_mode))
            return -EACCES;
    }
    if (found == 0 && entry.restored) {
        pending->asContainer = true;
        pending->storedName = entry.sourceName;
        pending->header = entry.header;
    } else {
        // NAME.tdz taken by something shown under its own name: NAME stays
        // a plain file rather than overwrite it.
        pending->storedName = pending->name + kExtension;
        struct stat st;
        pending->asContainer = fstatat(folder.Get(), pending->storedName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0;
    }
    pending->tempName = TemporaryName(pending->name);
    pending->temp =
        UniqueFd(openat(folder.Get(), pending->tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!pending->temp.Valid())
        return -errno;
    if (found == 0 && !truncate) {
        const int copied = CopyCurrent(fs, folder.Get(), entry, pending->temp.Get());
        if (copied != 0) {
            unlinkat(folder.Get(), pending->tempName.c_str(), 0);
            return copied;
        }
    }
    pending->dirty = found != 0 || truncate;
    pending->handles = 1;
    fs.writes[path] = pending;
    *out = pending;
    return 0;
}

// One handle fewer; the last one takes the temporary file away.
void EndWriting(MountFileSystem& fs, const std::shared_ptr<PendingWrite>& pending)
{
    std::lock_guard<std::mutex> lock(fs.writesMutex);
    if (--pending->handles > 0)
        return;
    const std::string path =
        pending->folderPath == "/" ? "/" + pending->name : pending->folderPath + "/" + pending->name;
    fs.writes.erase(path);
    const int folder = fs.tree.OpenFolder(pending->folderPath);
    if (folder >= 0) {
        unlinkat(folder, pending->tempName.c_str(), 0);
        close(folder);
    }
}

PendingWrite* WriteOf(fuse_file_info* info)
{
    return info == nullptr ? nullptr : reinterpret_cast<OpenFile*>(info->fh)->write.get();
}

int Create(const char* path, mode_t, fuse_file_info* info)
{
    info->flags |= O_TRUNC;
    return OpenForWriting(path, info);
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info)
{
    PendingWrite* pending = WriteOf(info);
    if (pending == nullptr)
        return -EBADF;
    std::lock_guard<std::mutex> lock(pending->mutex);
    if (!WriteAllAt(pending->temp.Get(), reinterpret_cast<const uint8_t*>(buffer), size, uint64_t(offset)))
        return -errno;
    pending->dirty = true;
    return int(size);
}

int Flush(const char*, fuse_file_info* info)
{
    PendingWrite* pending = WriteOf(info);
    if (pending == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(pending->mutex);
    return Store(Self(), *pending);
}

int Fsync(const char* path, int, fuse_file_info* info)
{
    return Flush(path, info);
}

int Truncate(const char* path, off_t size, fuse_file_info* info)
{
    MountFileSystem& fs = Self();
    std::shared_ptr<PendingWrite> pending;
    const int begun = BeginWriting(path, size == 0, &pending);
    if (begun != 0)
        return begun;
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(pending->mutex);
        if (ftruncate(pending->temp.Get(), size) != 0)
            result = -errno;
        else
            pending->dirty = true;
        // Held open elsewhere: its close stores it.
        if (result == 0 && WriteOf(info) == nullptr && pending->handles == 1)
            result = Store(fs, *pending);
    }
    EndWriting(fs, pending);
    return result;
}

// Rewrites a container's header in place: 56 bytes at the start of the file.
int EditHeader(int folderFd, const std::string& name, const std::function<void(ContainerHeader&)>& change)
{
    UniqueFd fd(openat(folderFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    uint8_t bytes[kContainerHeaderSize];
    if (!fd.Valid() || !ReadAt(fd.Get(), bytes, sizeof bytes, 0))
        return -errno;
    ContainerHeader header = DecodeContainerHeader(bytes);
    if (!HasContainerMagic(header))
        return -EIO;
    change(header);
    EncodeContainerHeader(header, bytes);
    if (!WriteAllAt(fd.Get(), bytes, sizeof bytes, 0) || fsync(fd.Get()) != 0)
        return -errno;
    return 0;
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info*)
{
    MountFileSystem& fs = Self();
    if (const auto pending = fs.PendingFor(path)) {
        std::lock_guard<std::mutex> lock(pending->mutex);
        pending->header.attributes = (mode & 0222) == 0 ? pending->header.attributes | kReadOnlyAttribute
                                                        : pending->header.attributes & ~kReadOnlyAttribute;
        return 0;
    }
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result != 0)
        return result;
    if (entry.restored) {
        result = EditHeader(folder.Get(), entry.sourceName, [mode](ContainerHeader& header) {
            header.attributes = (mode & 0222) == 0 ? header.attributes | kReadOnlyAttribute
                                                   : header.attributes & ~kReadOnlyAttribute;
        });
    } else {
        struct stat st;
        if (fstatat(folder.Get(), entry.sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return -errno;
        if (S_ISLNK(st.st_mode))
            return -EPERM;
        result = fchmodat(folder.Get(), entry.sourceName.c_str(), mode & 07777, 0) == 0 ? 0 : -errno;
    }
    fs.views.Forget(folderPath);
    return result;
}

int ChangeTimes(const char* path, const struct timespec times[2], fuse_file_info*)
{
    MountFileSystem& fs = Self();
    if (const auto pending = fs.PendingFor(path)) {
        std::lock_guard<std::mutex> lock(pending->mutex);
        return futimens(pending->temp.Get(), times) == 0 ? 0 : -errno;
    }
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result != 0)
        return result;
    if (entry.restored) {
        struct timespec written = times[1];
        if (written.tv_nsec == UTIME_OMIT)
            return 0;
        if (written.tv_nsec == UTIME_NOW)
            clock_gettime(CLOCK_REALTIME, &written);
        result = EditHeader(folder.Get(), entry.sourceName,
                            [written](ContainerHeader& header) { header.lastWriteTime = ToFileTime(written); });
    } else {
        result = utimensat(folder.Get(), entry.sourceName.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
    }
    fs.views.Forget(folderPath);
    return result;
}

int Unlink(const char* path)
{
    MountFileSystem& fs = Self();
    if (fs.PendingFor(path))
        return -EBUSY;
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result != 0)
        return result;
    fs.views.Forget(folderPath);
    return unlinkat(folder.Get(), entry.sourceName.c_str(), 0) == 0 ? 0 : -errno;
}

int MakeFolder(const char* path, mode_t mode)
{
    MountFileSystem& fs = Self();
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result == 0)
        return -EEXIST;
    if (result != -ENOENT || !folder.Valid())
        return result;
    fs.views.Forget(folderPath);
    return mkdirat(folder.Get(), NameOf(path).c_str(), mode) == 0 ? 0 : -errno;
}

int RemoveFolder(const char* path)
{
    MountFileSystem& fs = Self();
    auto [folder, entry, folderPath, result] = Resolve(path);
    if (result != 0)
        return result;
    fs.views.Forget(folderPath);
    return unlinkat(folder.Get(), entry.sourceName.c_str(), AT_REMOVEDIR) == 0 ? 0 : -errno;
}

int Rename(const char* from, const char* to, unsigned int flags)
{
    MountFileSystem& fs = Self();
    if (flags != 0)
        return -EINVAL;
    if (fs.PendingFor(from) || fs.PendingFor(to))
        return -EBUSY;
    auto [fromFolder, source, fromPath, result] = Resolve(from);
    if (result != 0)
        return result;
    auto [toFolder, target, toPath, targetFound] = Resolve(to);
    if (targetFound != 0 && (targetFound != -ENOENT || !toFolder.Valid()))
        return targetFound;
    const std::string toName = NameOf(to);
    fs.views.Forget(fromPath);
    fs.views.Forget(toPath);
    if (!source.restored) {
        // A plain entry takes the name; a container shown under it goes.
        if (renameat(fromFolder.Get(), source.sourceName.c_str(), toFolder.Get(), toName.c_str()) != 0)
            return -errno;
        if (targetFound == 0 && target.restored)
            unlinkat(toFolder.Get(), target.sourceName.c_str(), 0);
        return 0;
    }
    // A container moves as NAME.tdz, never over an entry shown as itself.
    const std::string containerName =
        targetFound == 0 && target.restored ? target.sourceName : toName + kExtension;
    struct stat st;
    if ((targetFound != 0 || !target.restored) &&
        fstatat(toFolder.Get(), containerName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return -EEXIST;
    if (targetFound == 0 && !target.restored) {
        if (fstatat(toFolder.Get(), target.sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return -errno;
        if (S_ISDIR(st.st_mode))
            return -EISDIR;
    }
    if (renameat(fromFolder.Get(), source.sourceName.c_str(), toFolder.Get(), containerName.c_str()) != 0)
        return -errno;
    if (targetFound == 0 && !target.restored)
        unlinkat(toFolder.Get(), target.sourceName.c_str(), 0);
    return 0;
}

}  // namespace

int OpenForWriting(const char* path, fuse_file_info* info)
{
    MountFileSystem& fs = Self();
    auto file = std::make_unique<OpenFile>();
    const int begun = BeginWriting(path, (info->flags & O_TRUNC) != 0, &file->write);
    if (begun != 0)
        return begun;
    file->sourcePath = fs.tree.Describe(path);
    info->fh = reinterpret_cast<uint64_t>(file.release());
    return 0;
}

void CloseWriting(OpenFile& file)
{
    MountFileSystem& fs = Self();
    {
        std::lock_guard<std::mutex> lock(file.write->mutex);
        (void)Store(fs, *file.write);  // reported; the close itself was flushed before
    }
    EndWriting(fs, file.write);
}

void AddWriteOperations(fuse_operations* ops)
{
    ops->create = Create;
    ops->write = Write;
    ops->flush = Flush;
    ops->fsync = Fsync;
    ops->truncate = Truncate;
    ops->chmod = ChangeMode;
    ops->utimens = ChangeTimes;
    ops->unlink = Unlink;
    ops->mkdir = MakeFolder;
    ops->rmdir = RemoveFolder;
    ops->rename = Rename;
}
