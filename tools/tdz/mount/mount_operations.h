// The FUSE file-system operations of a read-only view of a source folder:
// containers as the files they hold, everything else as it is.
#pragma once

#include <cstdint>
#include <string>

struct fuse_operations;

struct MountSettings {
    std::string source;
    uint64_t cacheBytes = 0;
};

// The operations table; its private data (fuse_get_context()->private_data)
// must be the MountFileSystem made by NewMountFileSystem.
const fuse_operations& MountOperations();

struct MountFileSystem;
// Opens the source; nullptr with *error set when it cannot.
[[nodiscard]] MountFileSystem* NewMountFileSystem(const MountSettings& settings, std::string* error);
void DeleteMountFileSystem(MountFileSystem* fileSystem);
