// The FUSE file-system operations of a view of a source folder: containers
// as the files they hold, everything else as it is; read-only, or with
// files written through it stored as containers.
#pragma once

#include <cstdint>
#include <string>

struct fuse_operations;

struct MountSettings {
    std::string source;
    uint64_t cacheBytes = 0;
    bool readOnly = true;
};

// The operations table; its private data (fuse_get_context()->private_data)
// must be the MountFileSystem made by NewMountFileSystem.
const fuse_operations& MountOperations(bool readOnly);

struct MountFileSystem;
// Opens the source; nullptr with *error set when it cannot.
[[nodiscard]] MountFileSystem* NewMountFileSystem(const MountSettings& settings, std::string* error);
void DeleteMountFileSystem(MountFileSystem* fileSystem);
