// Stores a file written through the mount as a container beside it: the
// container is written under a temporary name, flushed, and only then
// renamed to its own name, so that a run ended at any moment leaves either
// the earlier file or the complete new container under that name.
#pragma once

#include <cstdint>
#include <string>

#include "container/container_header.h"

// Packs the size (> 0) bytes of the file open as plainFd into the folder
// open as folderFd under containerName, with header's attributes and times
// (its size is set here). 0 or -errno, with *error saying what failed.
[[nodiscard]] int StoreAsContainer(int folderFd, int plainFd, uint64_t size, ContainerHeader header,
                                   const std::string& containerName, std::string* error);

// A name for a temporary file in a folder: a dot, the base, and a number
// unique within this process.
[[nodiscard]] std::string TemporaryName(const std::string& base);
