// What the operations of one mount share: the source, its folder views, the
// decoded data, the readers of containers and the files open for writing.
// Internal to the mount's operations.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>

#include "container_reader.h"
#include "container_view.h"
#include "decoded_cache.h"
#include "mount_operations.h"
#include "source_tree.h"

struct fuse_file_info;

// A file open for writing: its bytes live in a temporary file of its folder
// until they are stored, on every close, as a container (or, for a file
// that is not a container in the source, as that plain file again).
struct PendingWrite {
    std::mutex mutex;
    std::string folderPath;
    std::string name;           // as the mount shows it
    std::string storedName;     // what the source calls the stored result
    std::string tempName;
    UniqueFd temp;
    bool asContainer = false;
    ContainerHeader header{};   // attributes and creation time to keep
    bool dirty = false;
    int handles = 0;            // guarded by MountFileSystem::writesMutex
};

struct OpenFile {
    UniqueFd fd;
    std::shared_ptr<ContainerReader> reader;  // null for a file shown as it is
    std::shared_ptr<PendingWrite> write;      // set while the file is open for writing
    std::string sourcePath;
};

using FileKey = std::tuple<dev_t, ino_t, off_t, int64_t, int64_t>;

struct MountFileSystem {
    explicit MountFileSystem(const MountSettings& settings);

    // One line on stderr for each damaged container, once.
    void Report(const std::string& path, const std::string& why);
    std::shared_ptr<ContainerReader> ReaderFor(const struct stat& st, const ContainerHeader& header);
    std::shared_ptr<PendingWrite> PendingFor(const std::string& path);

    const bool readOnly;
    SourceTree tree;
    FolderViews views;
    DecodedCache cache;
    std::mutex reportMutex;
    std::set<std::string> reported;
    std::mutex readersMutex;
    std::map<FileKey, std::shared_ptr<ContainerReader>> readers;
    uint64_t lastReaderId = 0;
    std::mutex writesMutex;
    std::map<std::string, std::shared_ptr<PendingWrite>> writes;  // by mount path
};

MountFileSystem& Self();

// The folder that holds a mount path's last component, and what that name
// stands for there. status is 0 or -errno (with folder and folderPath still
// set when only the name is missing).
struct ResolvedPath {
    UniqueFd folder;
    ViewEntry entry;
    std::string folderPath;
    int status = 0;
};
[[nodiscard]] ResolvedPath Resolve(const char* path);

[[nodiscard]] struct timespec FromFileTime(uint64_t fileTime);
[[nodiscard]] uint64_t ToFileTime(const struct timespec& time);

// The write operations, added to ops where the mount is not read-only.
void AddWriteOperations(fuse_operations* ops);
// Opens path for writing (or for reading while it is being written).
[[nodiscard]] int OpenForWriting(const char* path, fuse_file_info* info);
// The last step of a handle of OpenForWriting: stores what it wrote.
void CloseWriting(OpenFile& file);
